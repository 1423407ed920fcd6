#pragma once
// The running program's end of the local socket that `quillbeck send` and
// `quillbeck show` talk to. Only the user's own processes are heard; nothing a
// client does or fails to do can block the program: every socket is
// non-blocking, a request has a size limit and a deadline.
#include "send/Protocol.h"

#include <QObject>
#include <QString>

#include <functional>
#include <sys/types.h>

class QLocalServer;
class QLocalSocket;

namespace qb {

// What the program does with the requests; the server only carries them.
class SendHandler {
public:
    virtual ~SendHandler() = default;
    // `items`: every item sent, each with its outcome and why.
    using Finished =
        std::function<void(SendResult, const QString& message, const QList<SentItem>& items)>;
    // Takes the files of `request`. Returns an empty text when the job was
    // accepted, and then calls `finished` once when it ends; else returns why
    // it was refused and never calls `finished`.
    virtual QString send(const SendRequest& request, Finished finished) = 0;
    // Brings the board where the user sees it.
    virtual void show() = 0;
};

// Where the socket lives: beside the single-instance lock at `lockPath`.
QString sendSocketPath(const QString& lockPath);

class SendServer : public QObject {
public:
    struct Limits {
        qint64 maxMessage = kSendMaxMessage;
        int requestTimeoutMs = 5000; // from the connection to the whole request
        int maxClients = 256;
    };

    explicit SendServer(SendHandler& handler, QObject* parent = nullptr);
    ~SendServer() override;

    // Listens at `path` (mode 0600), replacing a socket a dead instance left
    // there; the caller holds the single-instance lock, so no live one listens.
    bool listen(const QString& path);
    QString path() const;

    void setLimits(const Limits& limits) { limits_ = limits; }
    // The user whose processes are heard; the program's own by default (tests).
    void setAllowedUid(uid_t uid) { allowedUid_ = uid; }
    int clientCount() const { return clients_; }

private:
    void accept();
    void read(QLocalSocket* socket);
    void handle(QLocalSocket* socket, const SendRequest& request);
    void refuse(QLocalSocket* socket, const QString& why);

    SendHandler& handler_;
    QLocalServer* server_;
    Limits limits_;
    uid_t allowedUid_;
    int clients_ = 0;
};

} // namespace qb
