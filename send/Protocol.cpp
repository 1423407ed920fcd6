#include "send/Protocol.h"

#include <QtCore/QtEndian>

namespace qb {

namespace {

constexpr char kMagic[] = "quillbeck-send";

void putLength(QByteArray& out, qsizetype n) {
    char bytes[4];
    qToBigEndian(static_cast<quint32>(n), bytes);
    out.append(bytes, 4);
}

void putField(QByteArray& out, const QByteArray& field) {
    putLength(out, field.size());
    out.append(field);
}

QByteArray frame(const QList<QByteArray>& fields) {
    QByteArray body;
    for (const QByteArray& f : fields)
        putField(body, f);
    QByteArray out;
    putLength(out, body.size());
    return out + body;
}

QList<QByteArray> header(const char* kind) {
    return {kMagic, QByteArray::number(kSendProtocolVersion), kind};
}

// The body's fields, or nullopt when a length runs past its end.
std::optional<QList<QByteArray>> splitFields(const QByteArray& body) {
    QList<QByteArray> fields;
    qsizetype at = 0;
    while (at < body.size()) {
        if (body.size() - at < 4) return std::nullopt;
        const quint32 n = qFromBigEndian<quint32>(body.constData() + at);
        at += 4;
        if (n > static_cast<quint64>(body.size() - at)) return std::nullopt;
        fields << body.mid(at, static_cast<qsizetype>(n));
        at += static_cast<qsizetype>(n);
    }
    return fields;
}

// The key and value pairs after the header of `kind`.
std::optional<QList<QByteArray>> pairsOf(const QByteArray& body, QByteArray* kind, QString* why) {
    const auto fields = splitFields(body);
    const auto fail = [why](const char* text) {
        if (why) *why = QString::fromLatin1(text);
        return std::nullopt;
    };
    if (!fields) return fail("a field runs past the end of the message");
    if (fields->size() < 3 || fields->at(0) != kMagic) return fail("not a message of this program");
    if (fields->at(1) != QByteArray::number(kSendProtocolVersion))
        return fail("unsupported protocol version");
    if (fields->size() % 2 == 0) return fail("a key without a value");
    *kind = fields->at(2);
    return fields->mid(3);
}

bool parseNumber(const QByteArray& text, int low, int high, int& out) {
    bool ok = false;
    const int n = text.toInt(&ok);
    // Digits only: no sign, blank or leading zero to read two ways.
    if (!ok || text.isEmpty() || text.front() == '0' || text.front() == '+') return false;
    if (n < low || n > high) return false;
    out = n;
    return true;
}

} // namespace

QByteArray encodeRequest(const SendRequest& r) {
    if (r.command == SendCommand::Show) return frame(header("show"));
    if (r.command == SendCommand::Ping) return frame(header("ping"));
    QList<QByteArray> f = header("send");
    if (r.mode != SendMode::Board) f << "mode" << (r.mode == SendMode::Move ? "move" : "copy");
    if (r.group)
        f << "slot" << QByteArray::number(r.group) + ':' + QByteArray::number(r.row);
    else
        f << "name" << r.name.toUtf8();
    if (r.wait)
        f << "wait"
          << "1";
    for (const QByteArray& file : r.files)
        f << "file" << file;
    return frame(f);
}

QByteArray encodeReply(const SendReply& r) {
    if (r.kind == SendReply::Kind::Accepted) return frame(header("accepted"));
    QList<QByteArray> f = header("finished");
    f << "result" << resultName(r.result) << "message" << r.message.toUtf8();
    for (const SentItem& item : r.items)
        f << "item" << item.outcome + '\0' + item.path + '\0' + item.reason.toUtf8();
    return frame(f);
}

FrameState takeFrame(QByteArray& buffer, QByteArray& body, qint64 maxBody) {
    if (buffer.size() < 4) return FrameState::NeedMore;
    const quint32 n = qFromBigEndian<quint32>(buffer.constData());
    if (n > maxBody) return FrameState::TooLarge;
    if (buffer.size() - 4 < static_cast<qint64>(n)) return FrameState::NeedMore;
    body = buffer.mid(4, static_cast<qsizetype>(n));
    buffer.remove(0, 4 + static_cast<qsizetype>(n));
    return FrameState::Complete;
}

std::optional<SendRequest> decodeRequest(const QByteArray& body, QString* why) {
    QByteArray kind;
    const auto pairs = pairsOf(body, &kind, why);
    if (!pairs) return std::nullopt;
    const auto fail = [why](const QString& text) {
        if (why) *why = text;
        return std::nullopt;
    };
    SendRequest r;
    if (kind == "show" || kind == "ping") {
        if (!pairs->isEmpty()) return fail(QStringLiteral("show and ping take nothing"));
        r.command = kind == "show" ? SendCommand::Show : SendCommand::Ping;
        return r;
    }
    if (kind != "send") return fail(QStringLiteral("unknown request"));
    bool hasMode = false, hasSlot = false, hasName = false, hasWait = false;
    for (qsizetype i = 0; i < pairs->size(); i += 2) {
        const QByteArray& key = pairs->at(i);
        const QByteArray& value = pairs->at(i + 1);
        if (key == "file") {
            // Absolute, and nothing a C string would cut short.
            if (!value.startsWith('/') || value.contains('\0'))
                return fail(QStringLiteral("a file is no absolute path"));
            r.files << value;
            continue;
        }
        bool* seen = key == "mode"   ? &hasMode
                     : key == "slot" ? &hasSlot
                     : key == "name" ? &hasName
                     : key == "wait" ? &hasWait
                                     : nullptr;
        if (!seen) return fail(QStringLiteral("unknown key ") + QString::fromLatin1(key.toHex()));
        if (*seen) return fail(QStringLiteral("a key given twice"));
        *seen = true;
        if (key == "mode") {
            if (value != "copy" && value != "move") return fail(QStringLiteral("unknown mode"));
            r.mode = value == "move" ? SendMode::Move : SendMode::Copy;
        } else if (key == "slot") {
            const QList<QByteArray> parts = value.split(':');
            if (parts.size() != 2 || !parseNumber(parts[0], 1, kSendGroups, r.group) ||
                !parseNumber(parts[1], 1, kSendRows, r.row))
                return fail(QStringLiteral("no such slot"));
        } else if (key == "name") {
            r.name = QString::fromUtf8(value);
            if (r.name.isEmpty() || r.name.toUtf8() != value)
                return fail(QStringLiteral("a name that is empty or no UTF-8"));
        } else if (value == "1" || value == "0") {
            r.wait = value == "1";
        } else {
            return fail(QStringLiteral("wait is 0 or 1"));
        }
    }
    if (hasSlot == hasName) return fail(QStringLiteral("a slot or a name, one of them"));
    if (r.files.isEmpty()) return fail(QStringLiteral("no files"));
    return r;
}

std::optional<SendReply> decodeReply(const QByteArray& body, QString* why) {
    QByteArray kind;
    const auto pairs = pairsOf(body, &kind, why);
    if (!pairs) return std::nullopt;
    SendReply r;
    if (kind == "accepted" && pairs->isEmpty()) return r;
    if (kind == "finished" && pairs->size() >= 4 && pairs->at(0) == "result" &&
        pairs->at(2) == "message") {
        r.kind = SendReply::Kind::Finished;
        for (qsizetype i = 4; i < pairs->size(); i += 2) {
            const QList<QByteArray> parts = pairs->at(i + 1).split('\0');
            if (pairs->at(i) != "item" || parts.size() != 3) {
                if (why) *why = QStringLiteral("unknown reply");
                return std::nullopt;
            }
            r.items << SentItem{parts[0], parts[1], QString::fromUtf8(parts[2])};
        }
        for (SendResult s : {SendResult::Done, SendResult::Failed, SendResult::Cancelled,
                             SendResult::Refused, SendResult::Skipped}) {
            if (pairs->at(1) == resultName(s)) {
                r.result = s;
                r.message = QString::fromUtf8(pairs->at(3));
                return r;
            }
        }
    }
    if (why) *why = QStringLiteral("unknown reply");
    return std::nullopt;
}

const char* resultName(SendResult result) {
    switch (result) {
    case SendResult::Done:
        return "done";
    case SendResult::Failed:
        return "failed";
    case SendResult::Cancelled:
        return "cancelled";
    case SendResult::Skipped:
        return "skipped";
    case SendResult::Refused:
        break;
    }
    return "refused";
}

} // namespace qb
