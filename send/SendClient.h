#pragma once
// The sender's end of the socket: plain blocking calls with deadlines, for a
// command-line process that has nothing else to do meanwhile.
#include "send/Protocol.h"

#include <QByteArray>

#include <optional>

namespace qb {

class SendClient {
public:
    SendClient() = default;
    ~SendClient();
    SendClient(const SendClient&) = delete;
    SendClient& operator=(const SendClient&) = delete;

    // False when nothing listens at `socketPath` (errno tells why).
    bool connectTo(const QByteArray& socketPath);
    bool sendRequest(const SendRequest& request, int timeoutMs = 10000);
    // The next reply; nullopt when the program closed the connection without
    // one, sent something unreadable, or `timeoutMs` (< 0: no limit) passed.
    std::optional<SendReply> readReply(int timeoutMs);

private:
    bool waitFor(short events, int timeoutMs);

    int fd_ = -1;
    QByteArray buffer_;
};

} // namespace qb
