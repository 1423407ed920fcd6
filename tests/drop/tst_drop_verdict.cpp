// The verdict of a drop on file systems the test makes and mounts (ext4 on a loop
// device, FAT and exFAT through FUSE, a full one, a read-only one, a drive taken
// away from its mount point), and drops that cannot work: refused, nothing written.
#include "board/Accounts.h"
#include "board/Board.h"
#include "drop/DropController.h"
#include "drop/DropVerdict.h"
#include "operation/FileOperation.h"
#include "platform/Handler.h"
#include "tests/support/Command.h"
#include "tests/support/DropFixture.h"
#include "tests/support/FakeBoardView.h"
#include "tests/support/Files.h"

#include <QDirIterator>
#include <QStandardPaths>
#include <QTest>

#include <map>
#include <memory>
#include <unistd.h>

using namespace qb::test;
using qb::Choice;
using qb::verdict::Reason;

namespace {

QString tool(const QString& name) {
    return QStandardPaths::findExecutable(
        name, {"/usr/local/sbin", "/usr/local/bin", "/usr/sbin", "/usr/bin", "/sbin"});
}

// Every entry below `dir` with its size: what a refused drop must leave as it was.
QStringList listing(const QString& dir) {
    QStringList out;
    QDirIterator it(dir, QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden | QDir::System,
                    QDirIterator::Subdirectories);
    while (it.hasNext()) {
        it.next();
        out << it.filePath() + u' ' + QString::number(it.fileInfo().size());
    }
    out.sort();
    return out;
}

// The view, the board and the drop controller, with the real file operation.
struct Desk : DropFixture {
    Desk() : DropFixture(false) {
        view.board = &board;
        qb::runHandler(&view.window, [this] { board.loadCurrentAccount(); });
    }
    ~Desk() { drops.reset(); }

    // Hovers `paths` over row r until their count is done; the move's answer.
    bool hover(int r, const QStringList& paths) {
        carry(mime, paths);
        view.under = view.pathFields[r];
        const Qt::DropActions offered = Qt::CopyAction | Qt::MoveAction;
        QDragEnterEvent enter(QPoint(5, 5), offered, &mime, Qt::LeftButton, Qt::NoModifier);
        qb::runHandler(&view.window, [&] { drops->hoverDrag(&enter, QPoint(5, 5), true); });
        if (!QTest::qWaitFor([&] { return drops->verdicts().counting().snapshot().finished(); }))
            qFatal("count not finished");
        QDragMoveEvent move(QPoint(5, 5), offered, &mime, Qt::LeftButton, Qt::NoModifier);
        qb::runHandler(&view.window, [&] { drops->hoverDrag(&move, QPoint(5, 5), false); });
        return move.isAccepted();
    }
    void dropHovered() {
        QDropEvent dropped(QPointF(5, 5), Qt::CopyAction | Qt::MoveAction, &mime, Qt::LeftButton,
                           Qt::NoModifier);
        qb::runHandler(&view.window, [&] { drops->takeDrop(&dropped, QPoint(5, 5)); });
        if (!QTest::qWaitFor([this] { return !drops->inProgress(); }, 10000))
            qFatal("drop not finished");
    }
    void configure(int r, const QString& folder) {
        view.click(Choice::Set);
        hover(r, {folder});
        dropHovered();
    }

    QMimeData mime;
    FakeBoardView view;
    qb::Board board{view};
    std::unique_ptr<qb::DropController> drops = std::make_unique<qb::DropController>(view, board);
};

} // namespace

class TestDropVerdict : public QObject {
    Q_OBJECT
    QTemporaryDir tmp;
    QStringList mounted, loops;
    std::map<QString, QString> at; // mount name -> its mount point
    QString src;

    // Makes an image of `size` MiB and mounts it at <tmp>/<name>; false where this
    // machine cannot.
    bool mount(const QString& name, const QStringList& mkfs, const QString& kind, int size) {
        // A blank in the mount point, as the mount table escapes it.
        const QString image = tmp.filePath(name + ".img"), point = tmp.filePath(name + " 盘");
        QDir().mkpath(point);
        QFile img(image);
        if (!img.open(QIODevice::WriteOnly) || !img.resize(qint64(size) << 20)) return false;
        img.close();
        QString out;
        if (tool(mkfs.first()).isEmpty() || !command(mkfs + QStringList{image}, &out)) {
            qWarning("%s: %s", qPrintable(mkfs.first()), qPrintable(out));
            return false;
        }
        QStringList argv;
        if (kind == "ext4" || kind == "ext4-ro") {
            argv = {"mount", "-o", kind == "ext4" ? "loop" : "loop,ro", image, point};
        } else if (kind == "vfat") {
            argv = {tool("fusefat"), "-o", "rw+", image, point};
        } else {
            QString loop;
            if (!command({"losetup", "--find", "--show", image}, &loop)) return false;
            loops << loop;
            argv = {tool("mount.exfat-fuse"), loop, point};
        }
        if (argv.first().isEmpty() || !command(argv, &out)) {
            qWarning("%s: %s", qPrintable(argv.first()), qPrintable(out));
            return false;
        }
        mounted << point;
        at[name] = point;
        return true;
    }
    void unmount(const QString& point) {
        if (!command({"umount", point})) command({"umount", "-l", point});
        mounted.removeAll(point);
    }

private slots:
    void initTestCase() {
        QVERIFY(tmp.isValid());
        if (::geteuid() != 0 || !QFile::exists("/dev/fuse"))
            QSKIP("mounting file systems needs root and /dev/fuse");
        if (!mount("ext4", {"mkfs.ext4", "-q", "-F", "-m", "0"}, "ext4", 32) ||
            !mount("full", {"mkfs.ext4", "-q", "-F", "-m", "0"}, "ext4", 8) ||
            !mount("readonly", {"mkfs.ext4", "-q", "-F"}, "ext4-ro", 8) ||
            !mount("vfat", {"mkfs.fat"}, "vfat", 32) ||
            !mount("exfat", {"mkfs.exfat"}, "exfat", 32) ||
            !mount("gone", {"mkfs.exfat"}, "exfat", 8))
            QSKIP("cannot mount the test's file systems here");
        // The full one: filled until it takes no more.
        command({"dd", "if=/dev/zero", "of=" + at["full"] + "/fill", "bs=64k"});
        src = tmp.filePath("src");
        writeFile(src + "/small.txt", QByteArray(100000, 's'));
        writeFile(src + "/a:b?.txt");
        writeFile(src + "/dotted.");
        writeFile(src + "/pair/Readme");
        writeFile(src + "/pair/README");
        writeFile(src + "/big.iso"); // sparse: 5 GiB that take no room
        QVERIFY(QFile::resize(src + "/big.iso", qint64(5) << 30));
        writeFile(at["ext4"] + "/here.txt", "on the disk already");
    }
    void cleanupTestCase() {
        for (const QString& point : QStringList(mounted))
            unmount(point);
        for (const QString& loop : loops)
            command({"losetup", "-d", loop});
    }

    // Each row: the destination (a mount's name), what is dragged, the op, and what
    // a drop there would do.
    void verdicts_data() {
        QTest::addColumn<QString>("dest");
        QTest::addColumn<QStringList>("items");
        QTest::addColumn<bool>("move");
        QTest::addColumn<int>("reason");
        QTest::addColumn<QString>("text");
        const auto row = [](const char* tag, const QString& dest, const QStringList& items,
                            bool move, Reason reason, const QString& text) {
            QTest::addRow("%s", tag) << dest << items << move << int(reason) << text;
        };
        row("ext4 copy", "ext4", {"small.txt"}, false, Reason::None, "复制 97.7 kB 到 ext4 盘");
        row("ext4 move across disks", "ext4", {"small.txt"}, true, Reason::None,
            "移动 97.7 kB 到 ext4 盘");
        row("ext4 takes any name", "ext4", {"a:b?.txt", "dotted.", "pair"}, false, Reason::None,
            {});
        row("FAT: reserved characters", "vfat", {"small.txt", "a:b?.txt"}, false, Reason::FatName,
            "无法放入：目标磁盘无法保存名称“a:b?.txt”");
        row("FAT: a trailing dot", "vfat", {"dotted."}, true, Reason::FatName, {});
        row("FAT: 4 GiB at most", "vfat", {"big.iso"}, false, Reason::TooLarge,
            "无法放入：文件过大（5.0 GB），目标磁盘的文件系统无法保存");
        row("exFAT: case only", "exfat", {"pair"}, false, Reason::CaseClash,
            "无法放入：目标磁盘不区分大小写，“Readme”与另一名称冲突");
        row("exFAT: no 4 GiB limit, but no room", "exfat", {"big.iso"}, false, Reason::NoSpace, {});
        row("full", "full", {"small.txt"}, false, Reason::NoSpace, {});
        row("read-only", "readonly", {"small.txt"}, false, Reason::ReadOnly,
            "无法放入：目标位置只读");
    }
    void verdicts() {
        QFETCH(QString, dest);
        QFETCH(QStringList, items);
        QFETCH(bool, move);
        QFETCH(int, reason);
        QFETCH(QString, text);
        Desk b;
        b.view.click(move ? Choice::Move : Choice::Copy);
        QStringList paths;
        for (const QString& i : items)
            paths << src + u'/' + i;
        const QString folder = at[dest];
        b.view.click(Choice::Set);
        b.view.applyPathText(3, folder);
        b.view.click(move ? Choice::Move : Choice::Copy);
        const QStringList before = listing(folder), sources = listing(src);
        b.view.status = "状态：之前";
        QCOMPARE(b.hover(3, paths), reason == int(Reason::None));
        if (!text.isEmpty()) QCOMPARE(b.view.status, text);
        const qb::Verdict v =
            b.drops->verdicts()
                .planDrop(qb::DropWay::Drag, b.drops->verdicts().counting().items(), {0, 3, {}})
                .verdict;
        QCOMPARE(int(v.reason), reason);
        if (reason == int(Reason::None)) return;
        // Dropped all the same (a drop that raced the answer): refused, and nothing written.
        b.dropHovered();
        QVERIFY2(b.view.status.startsWith("状态：无法放入："), qPrintable(b.view.status));
        QCOMPARE(listing(folder), before);
        QCOMPARE(listing(src), sources);
    }

    // Names as FAT and exFAT compare and refuse them, beyond ASCII too.
    void namesOnCaseInsensitiveDisks() {
        using namespace qb::verdict;
        QCOMPARE(caseClashAmong({"Ärger.txt", "b", "ärger.TXT"}), std::string("ärger.TXT"));
        QCOMPARE(caseClashAmong({"Файл", "файл"}), std::string("файл"));
        QCOMPARE(caseClashAmong({"Łódź", "łódź", "x"}), std::string("łódź"));
        QCOMPARE(caseClashAmong({"a", "b", "文件", "文件夹", "\xff\xfe"}), std::string());
        QVERIFY(fatForbidden("a|b") && fatForbidden("tab\there") && fatForbidden("end "));
        QVERIFY(!fatForbidden("报告 (2).txt") && !fatForbidden(".hidden"));
    }

    // Verify after copy is on by default where the drive comes and goes: FAT and
    // exFAT through FUSE; not on a fixed disk's ext4 (a loop device) or in /tmp.
    void removableDrives() {
        for (const auto& [name, removable] :
             {std::pair{"vfat", true}, {"exfat", true}, {"ext4", false}})
            QVERIFY2(qb::verdict::probe(QFile::encodeName(at[name]).toStdString()).removable ==
                         removable,
                     name);
        QVERIFY(!qb::verdict::probe(QFile::encodeName(src).toStdString()).removable);
    }

    // Within one disk a move renames; the hover says so before any count.
    void moveWithinADisk() {
        Desk b;
        writeFile(at["ext4"] + "/inner/file.txt", "x");
        b.view.click(Choice::Set);
        b.view.applyPathText(2, at["ext4"]);
        b.view.click(Choice::Move);
        QVERIFY(b.hover(2, {at["ext4"] + "/inner/file.txt"}));
        QCOMPARE(b.view.status, QStringLiteral("移动（同一磁盘，瞬间完成）"));
        // A slot of its own action copies in move mode, and the hover says so.
        qb::runHandler(&b.view.window, [&] { b.board.storeSlotAction(2, qb::SlotAction::Copy); });
        b.drops->leaveDrag();
        QVERIFY(b.hover(2, {at["ext4"] + "/inner/file.txt"}));
        QVERIFY2(b.view.status.startsWith("复制 ") && b.view.status.endsWith("（本槽位设定）"),
                 qPrintable(b.view.status));
        b.dropHovered();
        QCOMPARE(b.view.status, QStringLiteral("状态：复制成功！"));
        QCOMPARE(bytesOf(at["ext4"] + "/inner/file.txt"), QByteArray("x"));
        QCOMPARE(bytesOf(at["ext4"] + "/file.txt"), QByteArray("x"));
        // The leave gives the status line back.
        b.view.status = "状态：之前";
        b.hover(2, {src + "/small.txt"});
        b.drops->leaveDrag();
        QCOMPARE(b.view.status, QStringLiteral("状态：之前"));
    }

    // A slot set on a drive that is then taken away: its empty mount point is no
    // longer the drive, and a drop there is refused.
    void driveNotConnected() {
        Desk b;
        const QString point = at["gone"];
        b.configure(4, point);
        QCOMPARE(b.view.paths[4], point);
        b.view.click(Choice::Copy);
        QVERIFY(b.hover(4, {src + "/small.txt"}));
        b.drops->leaveDrag();
        unmount(point);
        QVERIFY(QFileInfo(point).isDir());
        QVERIFY(!b.hover(4, {src + "/small.txt"}));
        QCOMPARE(b.view.status, QStringLiteral("无法放入：文件夹所在的磁盘未连接"));
        b.dropHovered();
        QCOMPARE(b.view.status, QStringLiteral("状态：无法放入：文件夹所在的磁盘未连接"));
        QCOMPARE(listing(point), QStringList());
        // Another slot on the same folder, never tied to a disk, takes the drop.
        b.view.click(Choice::Set);
        b.view.applyPathText(5, point);
        b.view.click(Choice::Copy);
        QVERIFY(b.hover(5, {src + "/small.txt"}));
    }
};

QTEST_MAIN(TestDropVerdict)
#include "tst_drop_verdict.moc"
