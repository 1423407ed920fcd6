#include "send/SendServer.h"

#include "send/Log.h"

#include <QFile>
#include <QLocalServer>
#include <QLocalSocket>
#include <QPointer>
#include <QTimer>
#include <QVariant>

#include <algorithm>
#include <memory>
#include <optional>

#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

namespace qb {

namespace {

// What a client has sent so far, kept on its socket.
constexpr char kBufferProperty[] = "qbSendBuffer";

// The uid of the process at the other end, or -1 when it cannot be told.
qint64 peerUid(const QLocalSocket& socket) {
    struct ucred cred {};
    socklen_t size = sizeof cred;
    const int fd = static_cast<int>(socket.socketDescriptor());
    if (fd < 0 || ::getsockopt(fd, SOL_SOCKET, SO_PEERCRED, &cred, &size) != 0) return -1;
    return static_cast<qint64>(cred.uid);
}

} // namespace

QString sendSocketPath(const QString& lockPath) {
    if (lockPath.isEmpty()) return {};
    QString path = lockPath;
    if (path.endsWith(QStringLiteral(".lock"))) path.chop(5);
    return path + QStringLiteral(".sock");
}

SendServer::SendServer(SendHandler& handler, QObject* parent)
    : QObject(parent), handler_(handler), server_(new QLocalServer(this)),
      allowedUid_(::geteuid()) {
    server_->setSocketOptions(QLocalServer::UserAccessOption);
    // Pending connections are taken at once and read without blocking; a long
    // queue only lets many senders wait their turn in the kernel.
    server_->setMaxPendingConnections(limits_.maxClients);
    server_->setListenBacklogSize(128);
    connect(server_, &QLocalServer::newConnection, this, [this] { accept(); });
}

SendServer::~SendServer() {
    const QString where = server_->fullServerName();
    server_->close();
    if (!where.isEmpty()) QFile::remove(where);
}

bool SendServer::listen(const QString& path) {
    if (path.isEmpty()) return false;
    QLocalServer::removeServer(path);
    if (!server_->listen(path)) {
        qCWarning(lcSend) << "cannot listen at" << path << server_->errorString();
        return false;
    }
    ::chmod(QFile::encodeName(path).constData(), 0600);
    qCInfo(lcSend) << "listening at" << path;
    return true;
}

QString SendServer::path() const {
    return server_->fullServerName();
}

void SendServer::accept() {
    while (QLocalSocket* socket = server_->nextPendingConnection()) {
        const qint64 uid = peerUid(*socket);
        if (uid != static_cast<qint64>(allowedUid_)) {
            qCWarning(lcSend) << "refused a connection from uid" << uid;
            socket->abort();
            socket->deleteLater();
            continue;
        }
        if (clients_ >= limits_.maxClients) {
            qCWarning(lcSend) << "refused a connection: already" << clients_ << "clients";
            socket->abort();
            socket->deleteLater();
            continue;
        }
        ++clients_;
        socket->setParent(this);
        connect(socket, &QLocalSocket::readyRead, this, [this, socket] { read(socket); });
        connect(socket, &QLocalSocket::disconnected, socket, &QObject::deleteLater);
        connect(socket, &QObject::destroyed, this, [this] { --clients_; });
        // A silent or slow client is cut off; one that sent its request stays
        // as long as its job runs.
        QPointer<QLocalSocket> guard(socket);
        QTimer::singleShot(limits_.requestTimeoutMs, this, [guard] {
            if (guard && !guard->property("qbAnswered").toBool()) {
                qCWarning(lcSend) << "a client sent no whole request in time";
                guard->abort();
            }
        });
        if (socket->bytesAvailable() > 0) read(socket);
    }
}

void SendServer::read(QLocalSocket* socket) {
    if (socket->property("qbAnswered").toBool()) {
        socket->readAll(); // nothing more is expected; not kept
        return;
    }
    QByteArray buffer = socket->property(kBufferProperty).toByteArray();
    // What is there, up to one byte past the limit: enough to tell it was passed.
    const qint64 room = limits_.maxMessage + 4 - buffer.size() + 1;
    buffer += socket->read(std::min(socket->bytesAvailable(), room));
    QByteArray body;
    switch (takeFrame(buffer, body, limits_.maxMessage)) {
    case FrameState::NeedMore:
        socket->setProperty(kBufferProperty, buffer);
        return;
    case FrameState::TooLarge:
        refuse(socket, QStringLiteral("the request is too large"));
        return;
    case FrameState::Complete:
        break;
    }
    socket->setProperty(kBufferProperty, QVariant());
    QString why;
    const std::optional<SendRequest> request = decodeRequest(body, &why);
    if (!request || !buffer.isEmpty()) {
        refuse(socket, QStringLiteral("malformed request: ") +
                           (request ? QStringLiteral("data after the request") : why));
        return;
    }
    handle(socket, *request);
}

void SendServer::handle(QLocalSocket* socket, const SendRequest& request) {
    socket->setProperty("qbAnswered", true);
    if (request.command != SendCommand::Send) {
        if (request.command == SendCommand::Show) handler_.show();
        socket->write(encodeReply({SendReply::Kind::Finished, SendResult::Done, {}, {}}));
        socket->disconnectFromServer();
        return;
    }
    // The end of a job may come before send() returns; it is told after "accepted".
    struct Job {
        QPointer<QLocalSocket> socket;
        bool wait = false;
        bool accepting = true;
        std::optional<SendReply> early;
    };
    auto job = std::make_shared<Job>(Job{socket, request.wait, true, {}});
    const auto tell = [](Job& j, const SendReply& reply) {
        // A sender that stopped waiting misses the end; the job is not affected.
        if (!j.socket || !j.wait) return;
        j.socket->write(encodeReply(reply));
        j.socket->disconnectFromServer();
    };
    const QString refusal =
        handler_.send(request, [job, tell](SendResult result, const QString& message,
                                           const QList<SentItem>& items) {
            const SendReply reply{SendReply::Kind::Finished, result, message, items};
            if (job->accepting)
                job->early = reply;
            else
                tell(*job, reply);
        });
    job->accepting = false;
    if (!job->socket) return;
    if (!refusal.isEmpty()) {
        qCInfo(lcSend) << "request refused:" << refusal;
        socket->write(encodeReply({SendReply::Kind::Finished, SendResult::Refused, refusal, {}}));
        socket->disconnectFromServer();
        return;
    }
    socket->write(encodeReply({}));
    if (!job->wait)
        socket->disconnectFromServer();
    else if (job->early)
        tell(*job, *job->early);
}

void SendServer::refuse(QLocalSocket* socket, const QString& why) {
    qCWarning(lcSend) << "refused a request:" << why;
    socket->setProperty("qbAnswered", true);
    socket->setProperty(kBufferProperty, QVariant());
    socket->write(encodeReply({SendReply::Kind::Finished, SendResult::Refused, why, {}}));
    socket->disconnectFromServer();
}

} // namespace qb
