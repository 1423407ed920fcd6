// A writer killed at random moments must never leave a broken settings file: after
// every SIGKILL the file is exactly what the writes and erases that had returned
// produced (or that plus the one in flight).
#include "store/IniFile.h"
#include "store/Settings.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QTest>

#include <csignal>
#include <cstdio>
#include <cstring>

namespace {

// Operation n of the endless sequence the child runs; the test replays it in memory.
struct Op {
    bool erase = false;
    QString section, key, value;
};

Op opAt(qint64 n) {
    Op op;
    op.section = QStringLiteral("节%1").arg(n % 5);
    if (n % 9 == 8) {
        op.erase = true;
        return op;
    }
    op.key = QString::number(n % 23 + 1);
    // Long enough that a write takes several system calls' worth of bytes.
    op.value = QStringLiteral("/home/用户/资料 %1 ").arg(n) + QString(int(n % 61), u'x');
    return op;
}

void apply(qb::ini::Document& doc, const Op& op) {
    if (op.erase)
        doc.eraseSection(op.section);
    else
        doc.setValue(op.section, op.key, op.value);
}

// The child: run the sequence from `first` on and report each finished operation.
int runChild(const QString& file, qint64 first) {
    for (qint64 n = first;; ++n) {
        const Op op = opAt(n);
        if (op.erase)
            qb::EraseSettingSection(file, op.section);
        else
            qb::WriteSetting(file, op.section, op.key, op.value);
        std::printf("%lld\n", static_cast<long long>(n));
        std::fflush(stdout);
    }
}

const QByteArray kStart = "; board kept by hand\r\n[节0]\r\n1=start\r\n";

} // namespace

class TestSettingsCrash : public QObject {
    Q_OBJECT

private slots:
    void killedWriterLeavesWholeFile() {
        QTemporaryDir dir;
        const QString file = dir.filePath("sys.ini");
        {
            QFile f(file);
            QVERIFY(f.open(QIODevice::WriteOnly));
            f.write(kStart);
        }
        // `expected` is the file after ops [0, done); `next` is op `done` applied too.
        qb::ini::Document expected = qb::ini::Document::parse(kStart);
        qint64 done = 0;
        QRandomGenerator random(20261209);
        int kills = 0, landedInFlight = 0;
        QElapsedTimer clock;
        clock.start();
        while (kills < 220) {
            QProcess child;
            child.start(QCoreApplication::applicationFilePath(),
                        {"--child", file, QString::number(done)});
            QVERIFY(child.waitForStarted());
            // Let it get going, then kill it at a random moment.
            QVERIFY(child.waitForReadyRead(20000));
            QTest::qSleep(int(random.bounded(1, 25)));
            QVERIFY(::kill(pid_t(child.processId()), SIGKILL) == 0);
            QVERIFY(child.waitForFinished(20000));
            QCOMPARE(child.exitStatus(), QProcess::CrashExit);
            ++kills;

            qint64 reported = done - 1;
            for (const QByteArray& line : child.readAllStandardOutput().split('\n'))
                if (!line.isEmpty()) reported = line.toLongLong();
            QVERIFY2(reported >= done, "the child finished no operation before the kill");
            for (; done <= reported; ++done)
                apply(expected, opAt(done));

            QFile f(file);
            QVERIFY(f.open(QIODevice::ReadOnly));
            const QByteArray onDisk = f.readAll();
            qb::ini::Document next = expected;
            apply(next, opAt(done));
            if (onDisk == next.serialize()) {
                // The operation in flight had finished but not yet been reported.
                expected = next;
                ++done;
                ++landedInFlight;
            } else {
                QVERIFY2(onDisk == expected.serialize(),
                         qPrintable(QStringLiteral("after kill %1 (op %2) the file is %3")
                                        .arg(kills)
                                        .arg(done)
                                        .arg(QString::fromLatin1(onDisk.toHex()))));
            }
            // And the store reads it: every value of the last section written is there.
            const Op last = opAt(done - 1);
            if (!last.erase)
                QCOMPARE(qb::ReadSetting(file, last.section, last.key, "?"), last.value);
        }
        // A kill between naming the finished temporary file and the rename may leave
        // it behind; it is never the settings file itself and is rare.
        const QStringList leftovers =
            QDir(dir.path()).entryList(QDir::Files | QDir::Hidden | QDir::NoDotAndDotDot);
        qInfo(
            "%d kills, %lld operations, %d finished in flight, %lld temporary files left, %lld ms",
            kills, done, landedInFlight, qint64(leftovers.size() - 1), qint64(clock.elapsed()));
        QVERIFY(leftovers.contains("sys.ini"));
        QVERIFY(leftovers.size() <= 1 + kills / 20);
        // The next write clears them away.
        qb::WriteSetting(file, "after", "k", "v");
        QCOMPARE(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden | QDir::NoDotAndDotDot),
                 QStringList{"sys.ini"});
    }
};

int main(int argc, char** argv) {
    if (argc == 4 && std::strcmp(argv[1], "--child") == 0)
        return runChild(QString::fromUtf8(argv[2]), QByteArray(argv[3]).toLongLong());
    QCoreApplication app(argc, argv);
    TestSettingsCrash test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_settings_crash.moc"
