// Copies, moves and replacements onto FUSE file systems that lack modes, owners,
// hard links or rename flags: exFAT, FAT and NTFS images the test makes and mounts.
#include "EngineTestUtil.h"
#include "tests/support/Command.h"

#include <QStandardPaths>
#include <QTemporaryDir>
#include <QtTest>

using namespace testutil;
using qb::Op;
using qb::Outcome;
using qb::Policy;
using qb::ReplaceAnswer;
using qb::test::command;

namespace {

// Every file under `dir` that holds `content`, the Trash's too.
int holding(const std::string& dir, const QByteArray& content) {
    int n = 0;
    QDirIterator it(QString::fromStdString(dir), QDir::Files | QDir::Hidden | QDir::System,
                    QDirIterator::Subdirectories);
    while (it.hasNext())
        n += readFile(S(it.next())) == content;
    return n;
}

} // namespace

class TestEngineFuse : public QObject {
    Q_OBJECT
    QTemporaryDir tmp;
    std::string homeTrash;

private slots:
    void initTestCase() {
        QVERIFY(tmp.isValid());
        homeTrash = useTestTrash(S(tmp.path()));
    }

    // Each row: the tools that make and mount the file system, whether it needs a
    // block device, and whether it keeps file modes.
    void fuseFileSystems_data() {
        QTest::addColumn<QStringList>("mkfs");
        QTest::addColumn<QStringList>("mount");
        QTest::addColumn<bool>("blockDevice");
        QTest::addColumn<bool>("keepsModes");
        QTest::addRow("exfat-fuse")
            << QStringList{"mkfs.exfat"} << QStringList{"mount.exfat-fuse"} << true << false;
        QTest::addRow("fusefat") << QStringList{"mkfs.fat"} << QStringList{"fusefat", "-o", "rw+"}
                                 << false << false;
        QTest::addRow("ntfs-3g") << QStringList{"mkntfs", "-F", "-Q"} << QStringList{"ntfs-3g"}
                                 << false << true;
    }
    void fuseFileSystems() {
        QFETCH(QStringList, mkfs);
        QFETCH(QStringList, mount);
        QFETCH(bool, blockDevice);
        QFETCH(bool, keepsModes);
        if (!exists("/dev/fuse")) QSKIP("no /dev/fuse: FUSE file systems cannot be mounted here");
        for (QString* tool : {&mkfs.first(), &mount.first()}) {
            const QString found = QStandardPaths::findExecutable(
                *tool, {"/usr/local/sbin", "/usr/local/bin", "/usr/sbin", "/usr/bin", "/sbin"});
            if (found.isEmpty())
                QSKIP(qPrintable(*tool + " is not installed (scripts/setup.sh test installs it)"));
            *tool = found;
        }
        const std::string base = S(tmp.path()) + "/" + QTest::currentDataTag();
        const std::string image = base + ".img", mnt = base + "-mnt", src = base + "-src";
        mkdirs(mnt);
        mkdirs(src);
        QFile img(QString::fromStdString(image));
        QVERIFY(img.open(QIODevice::WriteOnly) && img.resize(64 << 20));
        img.close();
        QString out;
        QVERIFY2(command(mkfs + QStringList{QString::fromStdString(image)}, &out), qPrintable(out));
        QString device = QString::fromStdString(image), loop;
        if (blockDevice) {
            if (!command({"losetup", "--find", "--show", device}, &loop))
                QSKIP(qPrintable("no loop device for " + mount.first() + ": " + loop));
            device = loop;
        }
        // Unmounted (and its loop device let go) however the checks below end.
        struct Unmount {
            std::string at;
            QString loop;
            bool mounted = false;
            ~Unmount() {
                if (mounted && !command({"fusermount", "-u", QString::fromStdString(at)}))
                    command({"umount", "-l", QString::fromStdString(at)});
                if (!loop.isEmpty()) command({"losetup", "-d", loop});
            }
        } unmount{mnt, loop};
        if (!command(mount + QStringList{device, QString::fromStdString(mnt)}, &out))
            QSKIP(qPrintable("cannot mount with " + mount.first() + " here: " + out));
        unmount.mounted = true;

        // A tree copied and another moved onto it: every byte there, the lack of
        // modes or links a warning, not a failure.
        mkdirs(src + "/t");
        mkdirs(src + "/t/sub");
        writeFile(src + "/t/run", pattern(300000, 1), 0755);
        writeFile(src + "/t/sub/b", pattern(5000, 2), 0600);
        QCOMPARE(::link((src + "/t/run").c_str(), (src + "/t/sub/run2").c_str()), 0);
        for (const Op op : {Op::Copy, Op::Move}) {
            const std::string to = mnt + (op == Op::Copy ? "/copied" : "/moved");
            mkdirs(to);
            ScriptedObserver obs;
            const qb::OperationResult r = runFull(op, Policy::AutoRename, src + "/t", to, obs);
            for (const qb::OpError& e : obs.errors)
                qWarning("%s: %s", e.path.c_str(), std::strerror(e.code));
            QCOMPARE(r.outcome, Outcome::Done);
            QCOMPARE(r.failures, 0u);
            QVERIFY(keepsModes || r.missing != 0);
            QCOMPARE(readFile(to + "/t/run"), pattern(300000, 1));
            QCOMPARE(readFile(to + "/t/sub/run2"), pattern(300000, 1));
            QCOMPARE(readFile(to + "/t/sub/b"), pattern(5000, 2));
            QCOMPARE(exists(src + "/t"), op == Op::Copy);
        }

        // Verified: read back through the daemon, whether or not it takes O_DIRECT, a
        // file of more than one range among them.
        mkdirs(src + "/v");
        writeFile(src + "/v/big", pattern(9 << 20, 3));
        writeFile(src + "/v/small", pattern(5000, 4));
        {
            ScriptedObserver obs;
            qb::OperationOptions verify;
            verify.verify = true;
            const qb::OperationResult r =
                runFull(Op::Copy, Policy::AutoRename, src + "/v", mnt, obs, verify);
            for (const qb::OpError& e : obs.errors)
                qWarning("%s: %d %s", e.path.c_str(), int(e.kind), std::strerror(e.code));
            QCOMPARE(r.outcome, Outcome::Done);
            QCOMPARE(r.verified, 2u);
            QCOMPARE(readFile(mnt + "/v/big"), pattern(9 << 20, 3));
            QCOMPARE(readFile(mnt + "/v/small"), pattern(5000, 4));
        }

        // A replacement, without asking and answered yes: the new file takes the name,
        // the old one goes to a Trash (or stays, reported); never are both gone.
        for (const Op op : {Op::Copy, Op::Move}) {
            for (const Policy policy : {Policy::AutoReplace, Policy::AskReplace}) {
                const QByteArray oldText = "old " + QByteArray::number(int(op) * 2 + int(policy)),
                                 newText = "new " + QByteArray::number(int(op) * 2 + int(policy));
                writeFile(mnt + "/report.txt", oldText);
                writeFile(src + "/report.txt", newText);
                ScriptedObserver obs;
                obs.answers = {ReplaceAnswer::Yes};
                const qb::OperationResult r = runFull(op, policy, src + "/report.txt", mnt, obs);
                const QString row = QStringLiteral("%1 %2").arg(int(op)).arg(int(policy));
                QCOMPARE(r.destroyed, 0u);
                QCOMPARE(holding(mnt, oldText) + holding(homeTrash, oldText), 1);
                if (r.outcome == Outcome::Done) {
                    QCOMPARE(r.trashed, 1u);
                    QCOMPARE(readFile(mnt + "/report.txt"), newText);
                    QCOMPARE(exists(src + "/report.txt"), op == Op::Copy);
                } else {
                    QVERIFY2(obs.errors.size() == 1 &&
                                 obs.errors[0].kind == qb::ErrorKind::NotReplaced,
                             qPrintable(row));
                    QCOMPARE(readFile(mnt + "/report.txt"), oldText);
                    QCOMPARE(readFile(src + "/report.txt"), newText);
                }
                for (const QString& n : list(mnt))
                    QVERIFY2(!n.startsWith(".qb-"), qPrintable(n)); // no temporary left
            }
        }
    }
};

QTEST_GUILESS_MAIN(TestEngineFuse)
#include "tst_engine_fuse.moc"
