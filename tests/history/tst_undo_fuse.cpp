// Undos on FUSE file systems whose rename refuses RENAME_NOREPLACE (EINVAL): a move
// within the drive, of a file and of a folder, and a replacement whose old file the
// drive's own Trash holds. exFAT, FAT and NTFS images the test makes and mounts.
#include "HistoryTestUtil.h"
#include "tests/support/Command.h"

#include <QStandardPaths>
#include <QTemporaryDir>
#include <QtTest>

using namespace histutil;
using namespace qb::history;
using qb::Op;
using qb::Policy;
using qb::test::command;

namespace {

// A FUSE file system on an image, unmounted (and its loop device let go) when it goes.
struct Mount {
    QString at, loop;
    bool mounted = false;
    ~Mount() {
        if (mounted && !command({"fusermount", "-u", at})) command({"umount", "-l", at});
        if (!loop.isEmpty()) command({"losetup", "-d", loop});
    }
    // Empty when mounted at `base`-mnt; else why it cannot be here.
    QString make(QStringList mkfs, QStringList mount, bool blockDevice, const std::string& base) {
        struct stat fuse;
        if (::stat("/dev/fuse", &fuse) != 0) return "no /dev/fuse here";
        for (QString* tool : {&mkfs.first(), &mount.first()}) {
            const QString found = QStandardPaths::findExecutable(
                *tool, {"/usr/local/sbin", "/usr/local/bin", "/usr/sbin", "/usr/bin", "/sbin"});
            if (found.isEmpty()) return *tool + " is not installed";
            *tool = found;
        }
        const QString image = QString::fromStdString(base + ".img");
        at = QString::fromStdString(base + "-mnt");
        ::mkdir(at.toLocal8Bit().constData(), 0755);
        QFile img(image);
        if (!img.open(QIODevice::WriteOnly) || !img.resize(32 << 20)) return "no room for an image";
        img.close();
        QString out, device = image;
        if (!command(mkfs + QStringList{image}, &out)) return "mkfs: " + out;
        if (blockDevice && !command({"losetup", "--find", "--show", image}, &loop))
            return "no loop device: " + std::exchange(loop, QString());
        if (blockDevice) device = loop;
        if (!command(mount + QStringList{device, at}, &out)) return "cannot mount here: " + out;
        mounted = true;
        return {};
    }
};

} // namespace

class TestUndoFuse : public QObject {
    Q_OBJECT
    QTemporaryDir tmp;

private slots:
    void initTestCase() {
        QVERIFY(tmp.isValid());
        ::setenv("XDG_DATA_HOME", (tmp.path().toStdString() + "/xdg").c_str(), 1);
    }

    void undoOnFuse_data() {
        QTest::addColumn<QStringList>("mkfs");
        QTest::addColumn<QStringList>("mount");
        QTest::addColumn<bool>("blockDevice");
        QTest::addRow("exfat-fuse")
            << QStringList{"mkfs.exfat"} << QStringList{"mount.exfat-fuse"} << true;
        QTest::addRow("fusefat") << QStringList{"mkfs.fat"} << QStringList{"fusefat", "-o", "rw+"}
                                 << false;
        QTest::addRow("ntfs-3g") << QStringList{"mkntfs", "-F", "-Q"} << QStringList{"ntfs-3g"}
                                 << false;
    }
    void undoOnFuse() {
        QFETCH(QStringList, mkfs);
        QFETCH(QStringList, mount);
        QFETCH(bool, blockDevice);
        const std::string base = tmp.path().toStdString() + "/" + QTest::currentDataTag();
        Mount m;
        const QString why = m.make(mkfs, mount, blockDevice, base);
        if (!why.isEmpty()) QSKIP(qPrintable(why));
        const std::string mnt = m.at.toStdString(), src = base + "-src";
        ::mkdir(src.c_str(), 0755);

        auto j = journalAt(base + "-state");
        for (const char* d : {"/a", "/b", "/a/dir"})
            QCOMPARE(::mkdir((mnt + d).c_str(), 0755), 0);
        write(mnt + "/a/f.txt", "moved within");
        write(mnt + "/a/dir/g.txt", "moved folder");
        const std::int64_t move = recordDrop(*j, Op::Move, Policy::AutoRename,
                                             {mnt + "/a/f.txt", mnt + "/a/dir"}, mnt + "/b");
        QCOMPARE(readAll(mnt + "/b/f.txt"), QByteArray("moved within"));
        const UndoResult back = undoNow(*j, move);
        QVERIFY2(back.failed.empty(), back.failed.empty() ? "" : back.failed[0].c_str());
        QCOMPARE(readAll(mnt + "/a/f.txt"), QByteArray("moved within"));
        QCOMPARE(readAll(mnt + "/a/dir/g.txt"), QByteArray("moved folder"));
        QVERIFY(back.finished);

        write(mnt + "/b/r.txt", "old");
        write(src + "/r.txt", "new");
        const std::int64_t replace =
            recordDrop(*j, Op::Copy, Policy::AutoReplace, {src + "/r.txt"}, mnt + "/b");
        if (readAll(mnt + "/b/r.txt") != "new") QSKIP("the drive's Trash cannot take entries");
        const UndoResult restored = undoNow(*j, replace);
        QVERIFY2(restored.failed.empty(),
                 restored.failed.empty() ? "" : restored.failed[0].c_str());
        QCOMPARE(readAll(mnt + "/b/r.txt"), QByteArray("old"));
        QCOMPARE(restored.restored, 1);
        QCOMPARE(j->lastUndoable(), std::int64_t(0));
    }
};

QTEST_GUILESS_MAIN(TestUndoFuse)
#include "tst_undo_fuse.moc"
