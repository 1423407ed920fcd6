#include "send/SendClient.h"

#include <QDeadlineTimer>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

namespace qb {

SendClient::~SendClient() {
    if (fd_ >= 0) ::close(fd_);
}

bool SendClient::connectTo(const QByteArray& socketPath) {
    if (fd_ >= 0) ::close(fd_);
    fd_ = -1;
    buffer_.clear();
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    if (socketPath.isEmpty() || static_cast<size_t>(socketPath.size()) >= sizeof address.sun_path) {
        errno = ENAMETOOLONG;
        return false;
    }
    std::memcpy(address.sun_path, socketPath.constData(), static_cast<size_t>(socketPath.size()));
    const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0) return false;
    int rc;
    do {
        rc = ::connect(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address);
    } while (rc != 0 && errno == EINTR);
    if (rc != 0) {
        const int saved = errno;
        ::close(fd);
        errno = saved;
        return false;
    }
    fd_ = fd;
    return true;
}

bool SendClient::waitFor(short events, int timeoutMs) {
    QDeadlineTimer deadline(timeoutMs < 0 ? QDeadlineTimer::Forever : QDeadlineTimer(timeoutMs));
    for (;;) {
        pollfd p{fd_, events, 0};
        const qint64 left = deadline.remainingTime();
        const int rc = ::poll(&p, 1, left < 0 ? -1 : static_cast<int>(left));
        if (rc > 0) return true;
        if (rc == 0 || errno != EINTR) return false;
    }
}

bool SendClient::sendRequest(const SendRequest& request, int timeoutMs) {
    const QByteArray bytes = encodeRequest(request);
    qsizetype at = 0;
    while (at < bytes.size()) {
        if (fd_ < 0 || !waitFor(POLLOUT, timeoutMs)) return false;
        const ssize_t n =
            ::send(fd_, bytes.constData() + at, static_cast<size_t>(bytes.size() - at),
                   MSG_NOSIGNAL | MSG_DONTWAIT);
        if (n < 0 && errno != EINTR && errno != EAGAIN) return false;
        if (n > 0) at += n;
    }
    return true;
}

std::optional<SendReply> SendClient::readReply(int timeoutMs) {
    for (;;) {
        QByteArray body;
        switch (takeFrame(buffer_, body)) {
        case FrameState::Complete:
            return decodeReply(body);
        case FrameState::TooLarge:
            return std::nullopt;
        case FrameState::NeedMore:
            break;
        }
        if (fd_ < 0 || !waitFor(POLLIN, timeoutMs)) return std::nullopt;
        char chunk[4096];
        const ssize_t n = ::recv(fd_, chunk, sizeof chunk, MSG_DONTWAIT);
        if (n == 0) return std::nullopt;
        if (n < 0) {
            if (errno == EINTR || errno == EAGAIN) continue;
            return std::nullopt;
        }
        buffer_.append(chunk, n);
    }
}

} // namespace qb
