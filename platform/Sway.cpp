#include "platform/Sway.h"

#include "platform/Log.h"

#include <QByteArray>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include <cstring>
#include <sys/socket.h>
#include <sys/time.h>
#include <sys/un.h>
#include <unistd.h>

namespace qb::sway {

namespace {

constexpr char kMagic[] = "i3-ipc";
constexpr std::size_t kMagicSize = sizeof kMagic - 1;
constexpr quint32 kRunCommand = 0;

bool sendAll(int fd, const char* data, std::size_t size) {
    while (size > 0) {
        const ssize_t n = ::send(fd, data, size, MSG_NOSIGNAL);
        if (n <= 0) return false;
        data += n;
        size -= std::size_t(n);
    }
    return true;
}

bool receiveAll(int fd, char* data, std::size_t size) {
    while (size > 0) {
        const ssize_t n = ::recv(fd, data, size, 0);
        if (n <= 0) return false;
        data += n;
        size -= std::size_t(n);
    }
    return true;
}

// One command over a fresh connection; the reply's success flags.
bool runCommand(const QByteArray& command) {
    const QByteArray path = qgetenv("SWAYSOCK");
    sockaddr_un addr{};
    if (path.isEmpty() || std::size_t(path.size()) >= sizeof addr.sun_path) return false;
    addr.sun_family = AF_UNIX;
    std::memcpy(addr.sun_path, path.constData(), std::size_t(path.size()));
    const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0) return false;
    // A compositor that does not answer must not freeze the program.
    const timeval timeout{0, 500000};
    ::setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &timeout, sizeof timeout);
    ::setsockopt(fd, SOL_SOCKET, SO_SNDTIMEO, &timeout, sizeof timeout);
    bool ok = ::connect(fd, reinterpret_cast<const sockaddr*>(&addr), sizeof addr) == 0;
    QByteArray message(kMagic, kMagicSize);
    const quint32 header[2] = {quint32(command.size()), kRunCommand};
    message.append(reinterpret_cast<const char*>(header), sizeof header);
    message.append(command);
    ok = ok && sendAll(fd, message.constData(), std::size_t(message.size()));
    char replyHeader[kMagicSize + sizeof header];
    ok = ok && receiveAll(fd, replyHeader, sizeof replyHeader) &&
         std::memcmp(replyHeader, kMagic, kMagicSize) == 0;
    QByteArray reply;
    if (ok) {
        quint32 size = 0;
        std::memcpy(&size, replyHeader + kMagicSize, sizeof size);
        ok = size <= 65536;
        if (ok) {
            reply.resize(qsizetype(size));
            ok = receiveAll(fd, reply.data(), size);
        }
    }
    ::close(fd);
    if (!ok) return false;
    const QJsonArray results = QJsonDocument::fromJson(reply).array();
    if (results.isEmpty()) return false;
    for (const QJsonValue& r : results)
        if (!r.toObject().value(QStringLiteral("success")).toBool()) {
            qCInfo(lcPlatform).noquote() << "sway refused" << command
                                         << r.toObject().value(QStringLiteral("error")).toString();
            return false;
        }
    return true;
}

} // namespace

bool moveWindow(quint64 xid, QPoint p) {
    return runCommand(QStringLiteral("[id=%1] move absolute position %2 px %3 px")
                          .arg(xid)
                          .arg(p.x())
                          .arg(p.y())
                          .toUtf8());
}

} // namespace qb::sway
