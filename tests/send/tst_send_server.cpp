// The local socket between `quillbeck send` and the running program: the
// messages both ways, and a server that only its own user reaches and that no
// client can hold up.
#include "send/SendClient.h"
#include "send/SendServer.h"

#include <QElapsedTimer>
#include <QLocalSocket>
#include <QTemporaryDir>
#include <QTest>
#include <QtCore/QtEndian>

#include <atomic>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

using namespace qb;
Q_DECLARE_METATYPE(SendRequest)

namespace {

QByteArray field(const QByteArray& f) {
    char n[4];
    qToBigEndian(static_cast<quint32>(f.size()), n);
    return QByteArray(n, 4) + f;
}
QByteArray body(const QList<QByteArray>& fields) {
    QByteArray b;
    for (const QByteArray& f : fields)
        b += field(f);
    return b;
}
QByteArray framed(const QByteArray& b) {
    return field(b);
}

// Answers from a script: a refusal, or accepted and finished when told.
class FakeHandler : public SendHandler {
public:
    QString refusal;
    QList<SendRequest> requests;
    QList<Finished> running;
    int shows = 0;
    QString send(const SendRequest& request, Finished finished) override {
        requests << request;
        if (refusal.isEmpty()) running << std::move(finished);
        return refusal;
    }
    void show() override { ++shows; }
};

// A client in a thread of its own, since the server answers in this one's loop.
struct Exchange {
    std::optional<SendReply> first;
    std::optional<SendReply> second;
    std::atomic<bool> done = false;
};
void exchange(const QByteArray& path, const SendRequest& request, Exchange& out) {
    SendClient client;
    if (client.connectTo(path) && client.sendRequest(request)) {
        out.first = client.readReply(10000);
        if (out.first && out.first->kind == SendReply::Kind::Accepted && request.wait)
            out.second = client.readReply(10000);
    }
    out.done = true;
}

// A raw connection that sends `bytes` and reads until the server closes.
int rawConnect(const QByteArray& path) {
    sockaddr_un a{};
    a.sun_family = AF_UNIX;
    std::memcpy(a.sun_path, path.constData(), static_cast<size_t>(path.size()));
    const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (::connect(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0) {
        ::close(fd);
        return -1;
    }
    return fd;
}

SendRequest sendTo(int g, int r, QList<QByteArray> files, bool wait = false) {
    SendRequest q;
    q.group = g;
    q.row = r;
    q.files = std::move(files);
    q.wait = wait;
    return q;
}

} // namespace

class TestSendServer : public QObject {
    Q_OBJECT

    QTemporaryDir dir;
    QByteArray socketPath() const {
        return QFile::encodeName(dir.filePath(QStringLiteral("s.sock")));
    }

    // Runs the event loop until `closed` reads end of file on `fd` (the server hung up).
    static bool serverClosed(int fd, QByteArray* received, int timeoutMs) {
        QElapsedTimer t;
        t.start();
        while (t.elapsed() < timeoutMs) {
            QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
            char buf[4096];
            const ssize_t n = ::recv(fd, buf, sizeof buf, MSG_DONTWAIT);
            if (n == 0) return true;
            if (n > 0) received->append(buf, n);
        }
        return false;
    }

private slots:
    void messagesRoundTrip() {
        SendRequest q = sendTo(10, 20, {"/a", QByteArray("/b\nc\xff d", 7)}, true);
        q.mode = SendMode::Move;
        SendRequest byName;
        byName.name = QStringLiteral("文档");
        byName.files = {"/x"};
        SendRequest show, ping;
        show.command = SendCommand::Show;
        ping.command = SendCommand::Ping;
        for (const SendRequest& r : {q, byName, show, ping}) {
            QByteArray buffer = encodeRequest(r) + "tail";
            QByteArray b;
            QCOMPARE(takeFrame(buffer, b), FrameState::Complete);
            QCOMPARE(buffer, QByteArray("tail"));
            QString why;
            const auto back = decodeRequest(b, &why);
            QVERIFY2(back, qPrintable(why));
            QVERIFY(*back == r);
        }
        for (const SendReply& r :
             {SendReply{}, SendReply{SendReply::Kind::Finished, SendResult::Cancelled, "取消"}}) {
            QByteArray buffer = encodeReply(r), b;
            QCOMPARE(takeFrame(buffer, b), FrameState::Complete);
            QVERIFY(decodeReply(b) == r);
        }
        // A frame arrives in pieces.
        QByteArray whole = encodeRequest(q), b, part;
        for (char c : whole) {
            part += c;
            const FrameState s = takeFrame(part, b);
            QCOMPARE(s, part.isEmpty() ? FrameState::Complete : FrameState::NeedMore);
        }
    }

    void malformedRequests_data() {
        QTest::addColumn<QByteArray>("message");
        const QByteArray m = "quillbeck-send", v = "1";
        QTest::newRow("other program") << body({"x", v, "send", "slot", "1:1", "file", "/a"});
        QTest::newRow("other version") << body({m, "2", "send", "slot", "1:1", "file", "/a"});
        QTest::newRow("key without value") << body({m, v, "send", "slot", "1:1", "file"});
        QTest::newRow("unknown key") << body({m, v, "send", "slot", "1:1", "x", "1", "file", "/a"});
        QTest::newRow("unknown kind") << body({m, v, "delete", "slot", "1:1", "file", "/a"});
        QTest::newRow("group 0") << body({m, v, "send", "slot", "0:1", "file", "/a"});
        QTest::newRow("group 11") << body({m, v, "send", "slot", "11:1", "file", "/a"});
        QTest::newRow("row 21") << body({m, v, "send", "slot", "1:21", "file", "/a"});
        QTest::newRow("leading zero") << body({m, v, "send", "slot", "01:1", "file", "/a"});
        QTest::newRow("slot and name")
            << body({m, v, "send", "slot", "1:1", "name", "a", "file", "/a"});
        QTest::newRow("neither") << body({m, v, "send", "file", "/a"});
        QTest::newRow("slot twice")
            << body({m, v, "send", "slot", "1:1", "slot", "1:2", "file", "/a"});
        QTest::newRow("no files") << body({m, v, "send", "slot", "1:1"});
        QTest::newRow("relative file") << body({m, v, "send", "slot", "1:1", "file", "a"});
        QTest::newRow("nul in file")
            << body({m, v, "send", "slot", "1:1", "file", QByteArray("/a\0b", 4)});
        QTest::newRow("bad mode") << body(
            {m, v, "send", "mode", "link", "slot", "1:1", "file", "/a"});
        QTest::newRow("name not UTF-8") << body({m, v, "send", "name", "\xff", "file", "/a"});
        QTest::newRow("show with more") << body({m, v, "show", "slot", "1:1"});
        QTest::newRow("field past the end") << body({m, v, "send"}) + QByteArray("\0\0\0\x09/a", 6);
    }
    // Each is refused with a reason, the handler never sees it, and the server goes on.
    void malformedRequests() {
        QFETCH(QByteArray, message);
        QString why;
        QVERIFY(!decodeRequest(message, &why));
        QVERIFY(!why.isEmpty());

        FakeHandler handler;
        SendServer server(handler);
        QVERIFY(server.listen(dir.filePath(QStringLiteral("s.sock"))));
        QTest::ignoreMessage(QtWarningMsg, QRegularExpression(QStringLiteral("refused a request")));
        const int fd = rawConnect(socketPath());
        QVERIFY(fd >= 0);
        const QByteArray bytes = framed(message);
        QCOMPARE(::send(fd, bytes.constData(), static_cast<size_t>(bytes.size()), MSG_NOSIGNAL),
                 static_cast<ssize_t>(bytes.size()));
        QByteArray got;
        QVERIFY(serverClosed(fd, &got, 5000));
        ::close(fd);
        QByteArray b;
        QCOMPARE(takeFrame(got, b), FrameState::Complete);
        const auto reply = decodeReply(b);
        QVERIFY(reply && reply->kind == SendReply::Kind::Finished);
        QCOMPARE(reply->result, SendResult::Refused);
        QCOMPARE(handler.requests.size(), 0);
    }

    void acceptedRefusedAndFinished() {
        FakeHandler handler;
        SendServer server(handler);
        QVERIFY(server.listen(dir.filePath(QStringLiteral("s.sock"))));
        QCOMPARE(QFileInfo(dir.filePath(QStringLiteral("s.sock"))).permissions() & 0x0077, 0);

        // Without waiting: accepted, and the connection ends.
        Exchange plain;
        std::thread t1(exchange, socketPath(), sendTo(2, 3, {"/a"}), std::ref(plain));
        QTRY_VERIFY(plain.done);
        t1.join();
        QVERIFY(plain.first && plain.first->kind == SendReply::Kind::Accepted);
        QCOMPARE(handler.requests.last().group, 2);

        // Waiting: accepted, then the job's end as the handler tells it.
        Exchange waiting;
        std::thread t2(exchange, socketPath(), sendTo(1, 1, {"/b"}, true), std::ref(waiting));
        QTRY_COMPARE(handler.running.size(), 2);
        const QList<SentItem> notDone = {{"failed", "/b", QStringLiteral("磁盘已满")},
                                         {"skipped", "/\xff\n", {}}};
        handler.running.last()(SendResult::Failed, QStringLiteral("状态：复制失败！"), notDone);
        QTRY_VERIFY(waiting.done);
        t2.join();
        QVERIFY(waiting.second);
        QCOMPARE(waiting.second->result, SendResult::Failed);
        QCOMPARE(waiting.second->message, QStringLiteral("状态：复制失败！"));
        QCOMPARE(waiting.second->items, notDone); // any bytes of a name, and why

        // Refused by the program: one reply, refused, with the reason.
        handler.refusal = QStringLiteral("busy");
        Exchange refused;
        std::thread t3(exchange, socketPath(), sendTo(1, 1, {"/c"}, true), std::ref(refused));
        QTRY_VERIFY(refused.done);
        t3.join();
        QVERIFY(refused.first && refused.first->result == SendResult::Refused);
        QCOMPARE(refused.first->message, QStringLiteral("busy"));

        // A job that ends after its sender went away harms nothing.
        handler.running.first()(SendResult::Done, {}, {});
    }

    // A client that says nothing, or stops half-way, neither blocks the next one
    // nor stays connected past the deadline; an oversized request is cut off at
    // its length, before its body arrives.
    void silentSlowAndOversizedClients() {
        FakeHandler handler;
        SendServer server(handler);
        server.setLimits({1024, 400, 256});
        QVERIFY(server.listen(dir.filePath(QStringLiteral("s.sock"))));
        QTest::ignoreMessage(QtWarningMsg, QRegularExpression(QStringLiteral("no whole request")));
        QTest::ignoreMessage(QtWarningMsg, QRegularExpression(QStringLiteral("no whole request")));
        QTest::ignoreMessage(QtWarningMsg, QRegularExpression(QStringLiteral("too large")));
        const int silent = rawConnect(socketPath());
        const int slow = rawConnect(socketPath());
        const QByteArray half = encodeRequest(sendTo(1, 1, {"/a"})).left(10);
        QVERIFY(::send(slow, half.constData(), static_cast<size_t>(half.size()), 0) > 0);

        QElapsedTimer t;
        t.start();
        Exchange other;
        std::thread th(exchange, socketPath(), sendTo(1, 2, {"/b"}), std::ref(other));
        QTRY_VERIFY(other.done);
        th.join();
        QVERIFY(other.first && other.first->kind == SendReply::Kind::Accepted);
        QVERIFY2(t.elapsed() < 300, "a silent client held up another");

        const int big = rawConnect(socketPath());
        char header[4];
        qToBigEndian<quint32>(4096, header);
        QCOMPARE(::send(big, header, 4, 0), ssize_t(4));
        QByteArray got;
        QVERIFY(serverClosed(big, &got, 300));
        QByteArray b;
        QCOMPARE(takeFrame(got, b), FrameState::Complete);
        QCOMPARE(decodeReply(b)->result, SendResult::Refused);

        QVERIFY(serverClosed(silent, &got, 2000));
        QVERIFY(serverClosed(slow, &got, 2000));
        for (int fd : {silent, slow, big})
            ::close(fd);
        QTRY_COMPARE(server.clientCount(), 0);
        QCOMPARE(handler.requests.size(), 1);
    }

    // A process of another user that reaches the socket (here: one the test made
    // its owner) is hung up on before anything it sends is read.
    void peerOfAnotherUidRefused() {
        if (::geteuid() != 0) QSKIP("needs root to run a client as another user");
        const uid_t other = 65534;
        QTemporaryDir open;
        ::chmod(QFile::encodeName(open.path()).constData(), 0755);
        const QString path = open.filePath(QStringLiteral("s.sock"));
        FakeHandler handler;
        SendServer server(handler);
        QVERIFY(server.listen(path));
        QVERIFY(::chown(QFile::encodeName(path).constData(), other, other) == 0);
        QTest::ignoreMessage(QtWarningMsg, QRegularExpression(QStringLiteral(
                                               "refused a connection from uid 65534")));

        const QByteArray native = QFile::encodeName(path);
        SendRequest show;
        show.command = SendCommand::Show;
        const QByteArray request = encodeRequest(show);
        const pid_t child = ::fork();
        if (child == 0) {
            // Exit 0: connected and hung up on without a reply; 1: answered; 2: no connection.
            if (::setgid(other) != 0 || ::setuid(other) != 0) ::_exit(3);
            const int fd = rawConnect(native);
            if (fd < 0) ::_exit(2);
            ::send(fd, request.constData(), static_cast<size_t>(request.size()), MSG_NOSIGNAL);
            char c;
            ::_exit(::recv(fd, &c, 1, 0) > 0 ? 1 : 0);
        }
        QVERIFY(child > 0);
        int status = -1;
        bool ended = false;
        QTRY_VERIFY_WITH_TIMEOUT(ended || (ended = ::waitpid(child, &status, WNOHANG) == child),
                                 10000);
        QVERIFY(WIFEXITED(status));
        QCOMPARE(WEXITSTATUS(status), 0);
        QCOMPARE(handler.shows, 0);
    }
};

QTEST_GUILESS_MAIN(TestSendServer)
#include "tst_send_server.moc"
