#pragma once
// The messages between `quillbeck send` and the running program. A message is a
// frame: its body's length (4 bytes, big-endian) and the body, a list of fields,
// each again a 4-byte length and its bytes. A body starts with the protocol's name
// and version and the message's kind; key and value fields follow in pairs. Paths
// travel as the file system's bytes, so no name is ever changed on the way.
#include <QByteArray>
#include <QList>
#include <QString>

#include <optional>

namespace qb {

inline constexpr int kSendProtocolVersion = 1;
// No message may be longer: a sender cannot make the program buffer without end.
inline constexpr qint64 kSendMaxMessage = 8 * 1024 * 1024;
inline constexpr int kSendGroups = 10;
inline constexpr int kSendRows = 20;

// Ping: answered at once, for a sender to tell that the program takes requests.
enum class SendCommand { Send, Show, Ping };
// Board: the mode the board shows.
enum class SendMode { Board, Copy, Move };
// Also the exit codes of `quillbeck send --wait`. Skipped: some items were not
// replaced as the user chose, none failed.
enum class SendResult { Done = 0, Failed = 1, Cancelled = 2, Refused = 3, Skipped = 4 };

// What became of one sent item, as `send --wait` lists it.
struct SentItem {
    QByteArray outcome; // "done", "skipped", "failed" or "cancelled"
    QByteArray path;    // as it was sent
    QString reason;
    bool operator==(const SentItem&) const = default;
};

struct SendRequest {
    SendCommand command = SendCommand::Send;
    SendMode mode = SendMode::Board;
    int group = 0; // with row: the slot; 0 when the name picks it
    int row = 0;
    QString name;
    bool wait = false;
    QList<QByteArray> files; // absolute paths
    bool operator==(const SendRequest&) const = default;
};

struct SendReply {
    enum class Kind { Accepted, Finished };
    Kind kind = Kind::Accepted;
    SendResult result = SendResult::Done; // for Finished
    QString message;
    QList<SentItem> items{}; // for Finished: every item sent, in order
    bool operator==(const SendReply&) const = default;
};

QByteArray encodeRequest(const SendRequest& request);
QByteArray encodeReply(const SendReply& reply);

enum class FrameState { NeedMore, TooLarge, Complete };
// Takes the first whole frame off `buffer` into `body`.
FrameState takeFrame(QByteArray& buffer, QByteArray& body, qint64 maxBody = kSendMaxMessage);

// Nullopt for anything but a well-formed message of this version; `why` says what is wrong.
std::optional<SendRequest> decodeRequest(const QByteArray& body, QString* why = nullptr);
std::optional<SendReply> decodeReply(const QByteArray& body, QString* why = nullptr);

const char* resultName(SendResult result);

} // namespace qb
