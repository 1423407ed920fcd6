// Real drags from another program onto the running window, under Xvfb and
// openbox: a GTK drag source offers files as a file manager does, and xdotool
// moves the mouse as a hand would.
#include "tests/support/E2e.h"
#include "tests/support/Gate.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <QScopeGuard>
#include <QTemporaryDir>
#include <QTest>

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <functional>
#include <memory>
#include <optional>

using namespace qb::e2e;

namespace {

// Names that are not valid text are written, read and listed as bytes.
void writeRaw(const QByteArray& path, const QByteArray& bytes) {
    const int fd = ::open(path.constData(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (fd < 0 || ::write(fd, bytes.constData(), static_cast<size_t>(bytes.size())) != bytes.size())
        qFatal("cannot write %s", path.constData());
    ::close(fd);
}

QByteArray readRaw(const QByteArray& path) {
    const int fd = ::open(path.constData(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) return "<missing>";
    QByteArray out;
    char buf[4096];
    for (ssize_t n; (n = ::read(fd, buf, sizeof buf)) > 0;)
        out.append(buf, n);
    ::close(fd);
    return out;
}

QList<QByteArray> namesIn(const QByteArray& dir) {
    QList<QByteArray> names;
    if (DIR* d = ::opendir(dir.constData())) {
        while (const dirent* e = ::readdir(d))
            if (qstrcmp(e->d_name, ".") != 0 && qstrcmp(e->d_name, "..") != 0) names << e->d_name;
        ::closedir(d);
    }
    return names;
}

// Removes byte-named entries, which QTemporaryDir cannot name, before it cleans up.
struct RawCleanup {
    QList<QByteArray> files, folders;
    ~RawCleanup() {
        for (const QByteArray& f : files)
            ::unlink(f.constData());
        for (const QByteArray& d : folders)
            ::rmdir(d.constData());
    }
};

const QString kAppTitle = QStringLiteral(" QuillbeckV9.6");
const QString kFolders = QStringLiteral("我的文件夹");

} // namespace

class TestDropE2e : public QObject {
    Q_OBJECT

    Desktop desk;
    QString sysIni;
    std::unique_ptr<Sandbox> box_;
    std::unique_ptr<Program> app_;
    std::optional<MainWindow> win_;

    // Starts the program with the given choices in its settings file and slot 5
    // set to `slot5`.
    void launch(const QString& operate, const QString& thesame, const QString& slot5) {
        app_.reset();
        box_ = std::make_unique<Sandbox>();
        QVERIFY2(box_->isValid(), qPrintable(box_->error()));
        for (auto v = env_.cbegin(); v != env_.cend(); ++v)
            box_->setVariable(v.key(), v.value());
        sysIni = box_->path(QStringLiteral("sys.ini"));
        const QString scheme = QStringLiteral("方案");
        QVERIFY(writeSetting(sysIni, scheme, QStringLiteral("operate"), operate));
        QVERIFY(writeSetting(sysIni, scheme, QStringLiteral("thesame"), thesame));
        if (!slot5.isEmpty())
            QVERIFY(writeSetting(sysIni, QStringLiteral("我的文件夹"), QStringLiteral("5"), slot5));
        for (auto slot = slots_.cbegin(); slot != slots_.cend(); ++slot)
            QVERIFY(writeSetting(sysIni, QStringLiteral("我的文件夹"), slot.key(), slot.value()));
        // The drop's log says where the operation windows' buttons are, and
        // which one answered.
        box_->setVariable(QStringLiteral("QT_LOGGING_RULES"),
                          QStringLiteral("quillbeck.drop.info=true"));
        app_ = std::make_unique<Program>(desk, *box_);
        QString err;
        win_ = app_->startToMainWindow(&err);
        QVERIFY2(win_, qPrintable(err));
    }

    // Drags `items` (text paths or raw byte paths) onto `control` of the running
    // program and waits until `reached` holds.
    template <typename Items>
    void drag(const Items& items, const QString& control, const std::function<bool()>& reached) {
        QString err;
        DragSource source(desk, items);
        QVERIFY2(source.waitReady(&err), qPrintable(err));
        QVERIFY2(source.dragTo(win_->point(control), &err), qPrintable(err + app_->output()));
        // The drop is handled once the source has its answer; the window must then
        // reach the expected state and still be running.
        const bool ok = waitUntil([&] { return !app_->isRunning() || reached(); }, 15000);
        QVERIFY2(app_->isRunning(), app_->output().constData());
        QVERIFY2(ok, qPrintable(QStringLiteral("expected state not reached\n") +
                                settingsLines(sysIni).join(u'\n') + u'\n' +
                                QString::fromUtf8(source.output() + app_->output())));
    }

    void run(const QString& operate, const QString& thesame, const QString& slot5,
             const QStringList& items, const QString& control) {
        launch(operate, thesame, slot5);
        if (QTest::currentTestFailed()) return;
        drag(items, control, condition_);
    }

    // Waits for a box of the program titled `title` and answers it with Enter.
    void answerBox(const QString& title) {
        QString err;
        const auto box = app_->waitForWindow(title, 15000, &err);
        QVERIFY2(box, qPrintable(err));
        QVERIFY(desk.key(*box, QStringLiteral("Return")));
        QVERIFY(waitUntil([&] { return !desk.windowsOf(app_->pid()).contains(*box); }, 5000));
    }

    // True once the program shows a box titled `title`.
    std::function<bool()> boxShown(const QString& title) {
        return [this, title] { return desk.windowsOf(app_->pid()).values().contains(title); };
    }

    std::function<bool()> condition_;
    QMap<QString, QString> env_;   // for the next launch
    QMap<QString, QString> slots_; // more slots' folders, by key, for the next launch

    // A window of the program titled `title` is whole on the screen, above and
    // beside the board, and takes the pointer everywhere on it.
    std::optional<unsigned long> expectInSight(const QString& title) {
        QString err;
        const auto id = app_->waitForWindow(title, 15000, &err);
        if (!id) {
            QTest::qFail(qPrintable(err), __FILE__, __LINE__);
            return std::nullopt;
        }
        sleepMs(300); // placed and raised
        const auto info = desk.windowInfo(*id);
        const QRect r = info ? info->geometry : QRect();
        const QList<unsigned long> order = desk.stacking();
        QStringList missed;
        if (!QRect(0, 0, 1280, 800).contains(r)) missed << QStringLiteral("not whole on screen");
        if (order.indexOf(*id) <= order.indexOf(win_->info.id))
            missed << QStringLiteral("not above the board");
        // Beside it: over the board it would hide the slots of the next drop.
        if (const auto board = desk.windowInfo(win_->info.id);
            board && r.intersects(board->geometry))
            missed << QStringLiteral("over the board");
        for (int i = 0; i < 4; ++i)
            for (int j = 0; j < 4; ++j) {
                const QPoint p(r.left() + 3 + (r.width() - 7) * i / 3,
                               r.top() + 3 + (r.height() - 7) * j / 3);
                if (!desk.pointerReaches(*id, p))
                    missed << QStringLiteral("(%1, %2) not reached").arg(p.x()).arg(p.y());
            }
        if (!missed.isEmpty()) {
            QTest::qFail(qPrintable(QStringLiteral("%1 at %2,%3 %4x%5: %6")
                                        .arg(title)
                                        .arg(r.x())
                                        .arg(r.y())
                                        .arg(r.width())
                                        .arg(r.height())
                                        .arg(missed.join(QStringLiteral(", ")))),
                         __FILE__, __LINE__);
            return std::nullopt;
        }
        return id;
    }

    // The buttons of window `name` as the program's log gives them, in window
    // coordinates, from the output after `from`.
    QMap<QString, QRect> buttonsOf(const QString& name, qsizetype from) const {
        return loggedButtons(QString::fromUtf8(app_->output().mid(from)), name);
    }

    // Clicks the centre of `button` of window `id` (logged as `name`) and checks
    // that this button answered and the window went.
    void clickButton(unsigned long id, const QString& name, const QString& button, qsizetype from) {
        press(id, name, button, from, true);
        if (QTest::currentTestFailed()) return;
        QVERIFY(waitUntil([&] { return !desk.windowsOf(app_->pid()).contains(id); }, 15000));
    }

    // Clicks the centre of `button` (or a list row) of window `id`, logged as
    // `name` after `from`; with `answers`, checks that this button answered.
    void press(unsigned long id, const QString& name, const QString& button, qsizetype from,
               bool answers) {
        QMap<QString, QRect> buttons;
        QVERIFY2(
            waitUntil([&] { return (buttons = buttonsOf(name, from)).contains(button); }, 5000),
            qPrintable(name + u' ' + button + u'\n' + QString::fromUtf8(app_->output())));
        const auto info = desk.windowInfo(id);
        QVERIFY(info);
        const QPoint centre = info->geometry.topLeft() + buttons.value(button).center();
        QVERIFY(desk.click(centre));
        if (!answers) return;
        const QString answer = QStringLiteral("answer of %1 %2").arg(name, button);
        QVERIFY2(
            waitUntil([&] { return QString::fromUtf8(app_->output().mid(from)).contains(answer); },
                      5000),
            qPrintable(QStringLiteral("no \"%1\" after a click at (%2, %3)\n%4")
                           .arg(answer)
                           .arg(centre.x())
                           .arg(centre.y())
                           .arg(QString::fromUtf8(app_->output().mid(from)))));
    }

    // True once the program's log after `from` holds `text`.
    std::function<bool()> logged(const QString& text, qsizetype from) {
        return [this, text, from] {
            return QString::fromUtf8(app_->output().mid(from)).contains(text);
        };
    }

    // Drags the board by its caption strip to the left edge.
    void boardToTheLeftEdge() {
        const QPoint grip = win_->captionStrip().center() - QPoint(20, 0);
        QVERIFY(desk.mouseDrag(grip, grip - QPoint(win_->info.geometry.x(), 0)));
        QVERIFY(waitUntil(
            [&] {
                win_->info = desk.windowInfo(win_->info.id).value_or(win_->info);
                return win_->info.geometry.x() <= win_->border();
            },
            5000));
    }

private slots:
    void initTestCase() {
        if (!QFileInfo::exists(QStringLiteral("/usr/bin/python3")))
            QSKIP("python3 with GTK 3 is needed for the drag source");
        QString err;
        QVERIFY2(desk.start(&err), qPrintable(err));
    }

    void cleanup() {
        app_.reset();
        box_.reset();
        env_.clear();
        slots_.clear();
    }

    // Two files moved onto the wrong slot come back with Ctrl+Z once the question
    // is answered, byte for byte and with their times; the history window lists
    // the drop and, above it, its undo.
    void ctrlZTakesBackAMoveOntoTheWrongSlot() {
        QTemporaryDir tmp;
        const QString wrong = madeFolder(tmp.filePath(QStringLiteral("错的 文件夹")));
        const QString src = tmp.filePath(QStringLiteral("源"));
        writeFile(src + QStringLiteral("/计划.txt"), "plan");
        writeFile(src + QStringLiteral("/b 2.bin"), QByteArray(300000, 'b'));
        const auto before = snapshot(src);
        condition_ = [&] { return snapshot(wrong) == before && snapshot(src).isEmpty(); };
        env_.insert(QStringLiteral("QT_LOGGING_RULES"), QStringLiteral("quillbeck.drop.info=true"));
        run(QStringLiteral("FileMove"), QStringLiteral("FileReplace"), wrong,
            {src + QStringLiteral("/计划.txt"), src + QStringLiteral("/b 2.bin")},
            QStringLiteral("Edit5"));
        if (QTest::currentTestFailed()) return;

        QVERIFY2(desk.key(win_->info.id, QStringLiteral("ctrl+z")), qPrintable(desk.lastError()));
        answerBox(kAppTitle + QStringLiteral(" - 撤销"));
        const bool back =
            waitUntil([&] { return snapshot(src) == before && snapshot(wrong).isEmpty(); }, 15000);
        QVERIFY2(back, qPrintable(diff(before, snapshot(src)).join(u'\n') + u'\n' +
                                  QString::fromUtf8(app_->output())));

        // The history window, from the slot's context menu: its last entry.
        // A busy machine may open the menu after the keys went by: close it and try
        // again, giving it longer each time.
        QString err;
        bool opened = false;
        for (int wait : {500, 1500, 4000}) {
            QVERIFY(desk.click(win_->point(QStringLiteral("Edit5")), 3));
            sleepMs(wait);
            QVERIFY(
                desk.tool(QStringLiteral("xdotool"),
                          {QStringLiteral("key"), QStringLiteral("Up"), QStringLiteral("Return")})
                    .ok());
            opened = app_->waitForWindow(QStringLiteral("历史记录"), 5000, &err).has_value();
            if (opened) break;
            desk.tool(QStringLiteral("xdotool"), {QStringLiteral("key"), QStringLiteral("Escape")});
        }
        QVERIFY2(opened, qPrintable(err + QString::fromUtf8(app_->output())));
        const QRegularExpression listed(
            QStringLiteral("history window lists 2 drops, newest first: #(\\d+) undo of #(\\d+), "
                           "#(\\d+) move of 2 items"));
        QVERIFY(waitUntil(
            [&] { return listed.match(QString::fromUtf8(app_->output())).hasMatch(); }, 5000));
        const auto m = listed.match(QString::fromUtf8(app_->output()));
        QCOMPARE(m.captured(2), m.captured(3));
    }

    // Configure mode: a dropped folder becomes slot 7's path and is written at once;
    // a dropped file gives its folder.
    void configureModeSetsTheSlot() {
        QTemporaryDir tmp;
        const QString folder = madeFolder(tmp.filePath(QStringLiteral("工作 目录")));
        condition_ = [&] {
            return readSetting(sysIni, QStringLiteral("我的文件夹"), QStringLiteral("7")) == folder;
        };
        run(QStringLiteral("Set"), QStringLiteral("FileReplace"), QString(), {folder},
            QStringLiteral("Ed7"));

        const QString file = folder + QStringLiteral("/计划 1.txt");
        writeFile(file, "plan");
        condition_ = [&] {
            return readSetting(sysIni, QStringLiteral("我的文件夹"), QStringLiteral("2")) ==
                   folder + u'/';
        };
        run(QStringLiteral("Set"), QStringLiteral("FileReplace"), QString(), {file},
            QStringLiteral("Edit2"));
    }

    // Copy mode: two files and a folder tree arrive whole; the sources stay.
    void copyModeCopiesFilesAndAFolder() {
        QTemporaryDir tmp;
        const QString dest = madeFolder(tmp.filePath(QStringLiteral("目标")));
        const QString src = tmp.filePath(QStringLiteral("源 files"));
        writeFile(src + QStringLiteral("/a 1.txt"), "one");
        writeFile(src + QStringLiteral("/b.bin"), QByteArray(300000, 'b'));
        writeFile(src + QStringLiteral("/树/sub/c.txt"), "three");
        const auto before = snapshot(src);
        condition_ = [&] { return snapshot(dest) == before; };
        run(QStringLiteral("FileCopy"), QStringLiteral("FileReplace"), dest,
            {src + QStringLiteral("/a 1.txt"), src + QStringLiteral("/b.bin"),
             src + QStringLiteral("/树")},
            QStringLiteral("Ed5"));
        QCOMPARE(diff(before, snapshot(src)), QStringList());
    }

    // Move mode: the same items leave their folder and arrive in the slot's.
    void moveModeMovesFilesAndAFolder() {
        QTemporaryDir tmp;
        const QString dest = madeFolder(tmp.filePath(QStringLiteral("目标")));
        const QString src = tmp.filePath(QStringLiteral("源"));
        writeFile(src + QStringLiteral("/a.txt"), "one");
        writeFile(src + QStringLiteral("/树/sub/c.txt"), "three");
        const auto before = snapshot(src);
        condition_ = [&] { return snapshot(dest) == before && snapshot(src).isEmpty(); };
        run(QStringLiteral("FileMove"), QStringLiteral("FileReplace"), dest,
            {src + QStringLiteral("/a.txt"), src + QStringLiteral("/树")}, QStringLiteral("Edit5"));
    }

    // A slot set to "移动" from its context menu moves in copy mode; the choice is kept.
    void slotOfItsOwnMovesInCopyMode() {
        QTemporaryDir tmp;
        const QString dest = madeFolder(tmp.filePath(QStringLiteral("目标")));
        const QString src = tmp.filePath(QStringLiteral("源"));
        writeFile(src + QStringLiteral("/a.txt"), "one");
        launch(QStringLiteral("FileCopy"), QStringLiteral("FileReplace"), dest);
        if (QTest::currentTestFailed()) return;
        // The menu ends "复制", "移动", "跟随模式", then "历史记录…". A busy machine may
        // open it after the keys went by: closed and tried again, given longer each time.
        const auto chosen = [&] {
            return readSetting(sysIni, QStringLiteral("槽位操作"), QStringLiteral("5")) ==
                   QStringLiteral("移动");
        };
        for (int wait : {500, 1500, 4000}) {
            QVERIFY(desk.click(win_->point(QStringLiteral("Edit5")), 3));
            sleepMs(wait);
            QVERIFY(desk.tool(QStringLiteral("xdotool"),
                              {QStringLiteral("key"), QStringLiteral("Up"), QStringLiteral("Up"),
                               QStringLiteral("Up"), QStringLiteral("Return")})
                        .ok());
            if (waitUntil(chosen, 3000)) break;
            desk.tool(QStringLiteral("xdotool"), {QStringLiteral("key"), QStringLiteral("Escape")});
        }
        QVERIFY2(chosen(), qPrintable(settingsLines(sysIni).join(u'\n')));
        const auto before = snapshot(src);
        drag(QStringList{src + QStringLiteral("/a.txt")}, QStringLiteral("Edit5"),
             [&] { return snapshot(dest) == before && snapshot(src).isEmpty(); });
    }

    // A slot set while its drive was mounted: with the drive gone, its empty mount
    // point takes nothing, and the window says why.
    void unmountedDriveIsRefused() {
        QTemporaryDir tmp;
        const QString image = tmp.filePath(QStringLiteral("drive.img")),
                      point = tmp.filePath(QStringLiteral("drive"));
        QDir().mkpath(point);
        QFile img(image);
        QVERIFY(img.open(QIODevice::WriteOnly) && img.resize(16 << 20));
        img.close();
        QProcess p;
        if (::geteuid() != 0 || p.execute(QStringLiteral("mkfs.fat"), {image}) != 0 ||
            p.execute(QStringLiteral("fusefat"),
                      {QStringLiteral("-o"), QStringLiteral("rw+"), image, point}) != 0)
            QSKIP("cannot mount a FAT image here (root and fusefat needed)");
        struct Unmount {
            QString at;
            bool done = false;
            ~Unmount() {
                if (!done)
                    QProcess::execute(QStringLiteral("fusermount"), {QStringLiteral("-u"), at});
            }
        } unmount{point};
        condition_ = [&] { return readSetting(sysIni, kFolders, QStringLiteral("5")) == point; };
        run(QStringLiteral("Set"), QStringLiteral("FileReplace"), QString(), {point},
            QStringLiteral("Edit5"));
        if (QTest::currentTestFailed()) return;
        QVERIFY(desk.click(win_->point(QStringLiteral("Copy"))));
        QVERIFY(waitUntil(
            [&] {
                return readSetting(sysIni, QStringLiteral("方案"), QStringLiteral("operate")) ==
                       QStringLiteral("FileCopy");
            },
            5000));
        // The program sees the mounts in a namespace of its own: the drive goes away there.
        QCOMPARE(QProcess::execute(QStringLiteral("nsenter"),
                                   {QStringLiteral("-t"), QString::number(app_->pid()),
                                    QStringLiteral("-m"), QStringLiteral("umount"), point}),
                 0);

        const QString file = tmp.filePath(QStringLiteral("a.txt"));
        writeFile(file, "one");
        const QByteArray said = "would say: 无法放入：文件夹所在的磁盘未连接";
        drag(QStringList{file}, QStringLiteral("Edit5"),
             [&] { return app_->output().contains(said); });
        // Sent from outside, the same slot is refused the same way, before anything is queued.
        Program sender(desk, *box_);
        QString err;
        QVERIFY2(sender.start(&err, {QStringLiteral("send"), QStringLiteral("--slot"),
                                     QStringLiteral("1:5"), QStringLiteral("--wait"), file}),
                 qPrintable(err));
        QVERIFY(sender.waitForExit(30000));
        QCOMPARE(sender.exitCode(), 3);
        QVERIFY2(sender.output().contains("无法放入：文件夹所在的磁盘未连接"),
                 sender.output().constData());
        sleepMs(500); // a drop that went through after all would be done by now
        QCOMPARE(bytesOf(file), QByteArray("one"));
        QCOMPARE(QProcess::execute(QStringLiteral("fusermount"), {QStringLiteral("-u"), point}), 0);
        unmount.done = true;
        QCOMPARE(QDir(point).entryList(QDir::AllEntries | QDir::NoDotAndDotDot), QStringList());
    }

    // A send gets the plan a drag gets: the slot's own "复制" keeps the source while
    // the board moves, and "否" to the only question is a skipped item, not a copy.
    void sendTakesTheSlotsOwnPlan() {
        QTemporaryDir tmp;
        const QString slot = tmp.filePath(QStringLiteral("dest"));
        const QString item = tmp.filePath(QStringLiteral("src/a.txt"));
        QVERIFY(QDir().mkpath(slot));
        writeFile(item, "new");
        launch(QStringLiteral("FileMove"), QStringLiteral("FileReplace"), slot);
        if (QTest::currentTestFailed()) return;
        QVERIFY(writeSetting(sysIni, QStringLiteral("槽位操作"), QStringLiteral("5"),
                             QStringLiteral("复制")));
        const QStringList args = {QStringLiteral("send"), QStringLiteral("--slot"),
                                  QStringLiteral("1:5"), QStringLiteral("--wait"), item};
        QString err;
        Program copy(desk, *box_);
        QVERIFY2(copy.start(&err, args), qPrintable(err));
        QVERIFY(copy.waitForExit(30000));
        QVERIFY2(copy.exitCode() == 0, copy.output().constData());
        QCOMPARE(bytesOf(item), QByteArray("new"));
        QCOMPARE(bytesOf(slot + QStringLiteral("/a.txt")), QByteArray("new"));

        writeFile(item, "newer");
        const qsizetype from = app_->output().size();
        Program declined(desk, *box_);
        QVERIFY2(declined.start(&err, args), qPrintable(err));
        const QString title = kAppTitle + QStringLiteral(" - 替换文件");
        QVERIFY2(waitUntil(boxShown(title), 15000), declined.output().constData());
        const auto id = expectInSight(title);
        if (!id) return;
        clickButton(*id, QStringLiteral("replaceQuestion"), QStringLiteral("否"), from);
        if (QTest::currentTestFailed()) return;
        QVERIFY(declined.waitForExit(30000));
        QVERIFY2(declined.exitCode() == 4, declined.output().constData());
        QVERIFY2(declined.output().contains("skipped\t" + item.toUtf8()),
                 declined.output().constData());
        QCOMPARE(bytesOf(slot + QStringLiteral("/a.txt")), QByteArray("new"));
        QCOMPARE(bytesOf(item), QByteArray("newer"));
    }

    // A name clash: auto-rename keeps both, auto-replace keeps the dropped one.
    void clashUnderAutoRenameAndAutoReplace() {
        QTemporaryDir tmp;
        const QString dest = tmp.filePath(QStringLiteral("dest"));
        const QString incoming = tmp.filePath(QStringLiteral("src/报告.txt"));
        writeFile(incoming, "new");
        writeFile(dest + QStringLiteral("/报告.txt"), "old");
        condition_ = [&] {
            const QStringList names = QDir(dest).entryList(QDir::Files, QDir::Name);
            return names.size() == 2 && bytesOf(dest + QStringLiteral("/报告.txt")) == "old" &&
                   bytesOf(dest + u'/' + names[names[0] == QStringLiteral("报告.txt") ? 1 : 0]) ==
                       "new";
        };
        run(QStringLiteral("FileCopy"), QStringLiteral("FileRename"), dest, {incoming},
            QStringLiteral("Ed5"));

        const QString other = tmp.filePath(QStringLiteral("dest2"));
        writeFile(other + QStringLiteral("/报告.txt"), "old");
        condition_ = [&] {
            return QDir(other).entryList(QDir::Files).size() == 1 &&
                   bytesOf(other + QStringLiteral("/报告.txt")) == "new";
        };
        run(QStringLiteral("FileCopy"), QStringLiteral("FileReplaceAoto"), other, {incoming},
            QStringLiteral("Ed5"));
        QCOMPARE(bytesOf(incoming), QByteArray("new"));
    }
    // Drops that would destroy what they carry are refused with a box, under
    // auto-replace, and leave every byte and every time stamp as it was: a folder
    // dropped onto the slot of a folder whose same-named subfolder holds it, and a
    // link dropped onto the folder of the file it points to.
    void selfDestroyingDropsAreRefused_data() {
        QTest::addColumn<QString>("operate");
        QTest::addColumn<bool>("link");
        QTest::newRow("nested same-named folders, move") << QStringLiteral("FileMove") << false;
        QTest::newRow("nested same-named folders, copy") << QStringLiteral("FileCopy") << false;
        QTest::newRow("link onto its target's folder, copy") << QStringLiteral("FileCopy") << true;
        QTest::newRow("link onto its target's folder, move") << QStringLiteral("FileMove") << true;
    }
    void selfDestroyingDropsAreRefused() {
        QFETCH(QString, operate);
        QFETCH(bool, link);
        QTemporaryDir tmp;
        const QString root = tmp.path();
        QString slot, item;
        if (link) {
            writeFile(root + QStringLiteral("/b/r.txt"), "only copy");
            QDir().mkpath(root + QStringLiteral("/a"));
            QVERIFY(
                QFile::link(root + QStringLiteral("/b/r.txt"), root + QStringLiteral("/a/r.txt")));
            slot = root + QStringLiteral("/b");
            item = root + QStringLiteral("/a/r.txt");
        } else {
            writeFile(root + QStringLiteral("/x/A/f"), "outer");
            writeFile(root + QStringLiteral("/x/A/A/f"), "inner");
            writeFile(root + QStringLiteral("/x/A/A/A/f"), "innermost");
            slot = root + QStringLiteral("/x");
            item = root + QStringLiteral("/x/A/A");
        }
        const auto before = snapshot(root);
        launch(operate, QStringLiteral("FileReplaceAoto"), slot);
        if (QTest::currentTestFailed()) return;
        drag(QStringList{item}, QStringLiteral("Ed5"), boxShown(kAppTitle));
        if (QTest::currentTestFailed()) return;
        answerBox(kAppTitle);
        QCOMPARE(diff(before, snapshot(root)), QStringList());
        if (link) {
            QVERIFY(!QFileInfo(root + QStringLiteral("/b/r.txt")).isSymLink());
            QCOMPARE(bytesOf(root + QStringLiteral("/b/r.txt")), QByteArray("only copy"));
        }
        QCOMPARE(snapshot(box_->dataHome() + QStringLiteral("/Trash")).size(), 0);
    }

    // The replace question of a drop comes up whole and above the board, with the
    // board centred and at the left edge.
    // The replace question, the error box and the progress window of a drop
    // come up whole and above the board, with the board centred and at the left
    // edge, and a click at the centre of each of their buttons reaches that button.
    void operationWindowsInSight_data() {
        QTest::addColumn<bool>("atLeftEdge");
        QTest::addColumn<QString>("window");
        QTest::addColumn<QStringList>("buttons");
        const QStringList replace = {QStringLiteral("是"),       QStringLiteral("全部是"),
                                     QStringLiteral("否"),       QStringLiteral("全部否"),
                                     QStringLiteral("保留两者"), QStringLiteral("全部保留两者"),
                                     QStringLiteral("取消")};
        for (bool edge : {false, true}) {
            const char* where = edge ? "board at the left edge" : "board centred";
            QTest::addRow("replace question, %s", where)
                << edge << QStringLiteral("replaceQuestion") << replace;
            QTest::addRow("error box, %s", where)
                << edge << QStringLiteral("operationError") << QStringList{QStringLiteral("确定")};
            QTest::addRow("progress window, %s", where)
                << edge << QStringLiteral("progressDialog") << QStringList{QStringLiteral("取消")};
        }
    }
    void operationWindowsInSight() {
        QFETCH(bool, atLeftEdge);
        QFETCH(QString, window);
        QFETCH(QStringList, buttons);
        QTemporaryDir tmp;
        const QString root = tmp.path();
        const bool question = window == QLatin1String("replaceQuestion");
        QString slot, item;
        GatedFolder gate;
        if (question) {
            slot = root + QStringLiteral("/dest");
            item = root + QStringLiteral("/src/a.txt");
            writeFile(item, "new");
        } else if (window == QLatin1String("progressDialog")) {
            // A tree shown through a gate: the copy waits at its first file until
            // the window has been clicked.
            slot = root + QStringLiteral("/dest");
            item = root + QStringLiteral("/tree");
            QVERIFY(QDir().mkpath(slot) && QDir().mkpath(item));
            for (int i = 0; i < 50; ++i)
                writeFile(root + QStringLiteral("/back/%1/f").arg(i), "f");
            QString why;
            if (!gate.mount(root + QStringLiteral("/back"), item, &why)) QSKIP(qPrintable(why));
        } else {
            // Moving a folder into a same-named folder inside it is refused.
            writeFile(root + QStringLiteral("/x/A/A/f"), "inner");
            slot = root + QStringLiteral("/x");
            item = root + QStringLiteral("/x/A/A");
        }
        launch(window == QLatin1String("progressDialog") ? QStringLiteral("FileCopy")
                                                         : QStringLiteral("FileMove"),
               question ? QStringLiteral("FileReplace") : QStringLiteral("FileReplaceAoto"), slot);
        if (QTest::currentTestFailed()) return;
        if (atLeftEdge) boardToTheLeftEdge();
        if (QTest::currentTestFailed()) return;
        const QString title = question ? kAppTitle + QStringLiteral(" - 替换文件") : kAppTitle;
        for (const QString& button : buttons) {
            if (question) {
                writeFile(slot + QStringLiteral("/a.txt"), "old");
                writeFile(item, "new");
            }
            const qsizetype from = app_->output().size();
            drag(QStringList{item}, QStringLiteral("Ed5"), boxShown(title));
            if (QTest::currentTestFailed()) return;
            const auto id = expectInSight(title);
            if (!id) return;
            press(*id, window, button, from, true);
            if (QTest::currentTestFailed()) return;
            gate.open();
            QVERIFY(waitUntil([&] { return !desk.windowsOf(app_->pid()).contains(*id); }, 15000));
            if (!button.endsWith(QStringLiteral("保留两者"))) continue;
            // Kept both: the old file as it was, the moved one beside it.
            const QString beside = slot + QStringLiteral("/a (2).txt");
            QVERIFY2(waitUntil([&] { return bytesOf(beside) == "new"; }, 15000),
                     app_->output().constData());
            QCOMPARE(bytesOf(slot + QStringLiteral("/a.txt")), QByteArray("old"));
            QVERIFY(waitUntil([&] { return !QFileInfo::exists(item); }, 5000));
            QVERIFY(QFile::remove(beside));
        }
    }

    // During a long move across disks further drops are taken: a move within one
    // disk runs beside it and lands first, drops across the same disks wait their
    // turn and land after it; the long one pauses and resumes, and a waiting job
    // taken out of the queue leaves its file where it was.
    void dropsQueueDuringALongMove() {
        QTemporaryDir tmp;
        QTemporaryDir shm(QStringLiteral("/dev/shm/qb-queue-XXXXXX"));
        QVERIFY(tmp.isValid() && shm.isValid());
        // The long move comes out of a gated folder: held at its first file until
        // the test has paused it, however fast this machine moves files.
        const QString shown = shm.filePath(QStringLiteral("mnt"));
        QVERIFY(QDir().mkpath(shown) && QDir().mkpath(shm.filePath(QStringLiteral("back"))));
        const int files = 300;
        for (int i = 0; i < files; ++i)
            writeFile(shm.filePath(QStringLiteral("back/树/%1/f").arg(i)), "f");
        GatedFolder gate;
        QString why;
        if (!gate.mount(shm.filePath(QStringLiteral("back")), shown, &why)) QSKIP(qPrintable(why));
        const QString tree = shown + QStringLiteral("/树");
        const QString longDest = tmp.filePath(QStringLiteral("长")),
                      quickDest = tmp.filePath(QStringLiteral("快")),
                      laterDest = tmp.filePath(QStringLiteral("后"));
        for (const QString& d : {longDest, quickDest, laterDest})
            QVERIFY(QDir().mkpath(d));
        const QString quick = tmp.filePath(QStringLiteral("src/快.txt"));
        const QString later = shm.filePath(QStringLiteral("后.txt"));
        const QString kept = shm.filePath(QStringLiteral("留.txt"));
        writeFile(quick, "quick");
        writeFile(later, "later");
        writeFile(kept, "kept");
        slots_.insert(QStringLiteral("6"), quickDest);
        slots_.insert(QStringLiteral("7"), laterDest);
        launch(QStringLiteral("FileMove"), QStringLiteral("FileReplaceAoto"), longDest);
        if (QTest::currentTestFailed()) return;
        const qsizetype from = app_->output().size();
        drag(QStringList{tree}, QStringLiteral("Ed5"), boxShown(kAppTitle));
        if (QTest::currentTestFailed()) return;
        QString err;
        const auto progress = app_->waitForWindow(kAppTitle, 15000, &err);
        QVERIFY2(progress, qPrintable(err));
        press(*progress, QStringLiteral("progressDialog"), QStringLiteral("暂停"), from, true);
        if (QTest::currentTestFailed()) return;
        gate.open();
        const auto arrived = [&] { return QDir(longDest + QStringLiteral("/树")).count(); };
        sleepMs(500);
        const auto held = arrived();
        sleepMs(1000);
        QCOMPARE(arrived(), held);
        QVERIFY2(held < files + 2, "the move ended before it was paused");
        // The window stands beside the board, so the next drags reach the slots as
        // it is; they come from a file manager left of the board, out of its way.
        const auto placed = desk.windowInfo(*progress), board = desk.windowInfo(win_->info.id);
        QVERIFY(placed && board);
        QVERIFY2(!placed->geometry.intersects(board->geometry) &&
                     QRect(0, 0, 1280, 800).contains(placed->geometry),
                 qPrintable(QStringLiteral("progress window at %1,%2 %3x%4, board at %5,%6 %7x%8")
                                .arg(placed->geometry.x())
                                .arg(placed->geometry.y())
                                .arg(placed->geometry.width())
                                .arg(placed->geometry.height())
                                .arg(board->geometry.x())
                                .arg(board->geometry.y())
                                .arg(board->geometry.width())
                                .arg(board->geometry.height())));
        qputenv("QB_DRAG_SOURCE_AT",
                QByteArray::number(std::max(0, board->geometry.x() - 300)) + ",300");
        const auto sourceBack = qScopeGuard([] { qunsetenv("QB_DRAG_SOURCE_AT"); });

        drag(QStringList{quick}, QStringLiteral("Ed6"), [&] {
            return bytesOf(quickDest + QStringLiteral("/快.txt")) == "quick" &&
                   !QFileInfo::exists(quick);
        });
        if (QTest::currentTestFailed()) return;
        drag(QStringList{kept}, QStringLiteral("Ed7"),
             logged(QStringLiteral("job 3 queued"), from));
        if (QTest::currentTestFailed()) return;
        drag(QStringList{later}, QStringLiteral("Ed7"),
             logged(QStringLiteral("job 4 queued"), from));
        if (QTest::currentTestFailed()) return;
        QCOMPARE(arrived(), held);

        // The list: the held job, then the two waiting ones.
        QVERIFY(waitUntil(
            [&] {
                return buttonsOf(QStringLiteral("progressDialog"), from)
                    .contains(QStringLiteral("row2"));
            },
            5000));
        press(*progress, QStringLiteral("progressDialog"), QStringLiteral("row1"), from, false);
        if (QTest::currentTestFailed()) return;
        sleepMs(300);
        press(*progress, QStringLiteral("progressDialog"), QStringLiteral("移出队列"), from, true);
        if (QTest::currentTestFailed()) return;
        QVERIFY(waitUntil(logged(QStringLiteral("job 3 removed from the queue"), from), 5000));

        press(*progress, QStringLiteral("progressDialog"), QStringLiteral("继续"), from, true);
        if (QTest::currentTestFailed()) return;
        // Until the last job ended: a move across disks lets go of its source last.
        const bool landed = waitUntil(
            [&] {
                return arrived() == uint(files + 2) &&
                       bytesOf(laterDest + QStringLiteral("/后.txt")) == "later" &&
                       logged(QStringLiteral("(job 4 ended)"), from)();
            },
            120000);
        QVERIFY2(landed, app_->output().constData());
        QVERIFY(!QFileInfo::exists(tree));
        QVERIFY(!QFileInfo::exists(later));
        QCOMPARE(bytesOf(kept), QByteArray("kept"));
        QCOMPARE(QDir(laterDest).entryList(QDir::AllEntries | QDir::NoDotAndDotDot),
                 QStringList{QStringLiteral("后.txt")});
        // The long move ended before the job queued behind it began.
        const QString log = QString::fromUtf8(app_->output().mid(from));
        const qsizetype longEnded = log.indexOf(QStringLiteral("(job 1 ended)"));
        QVERIFY2(longEnded > log.indexOf(QStringLiteral("(job 2 ended)")) &&
                     longEnded < log.indexOf(QStringLiteral("(job 4 started)")),
                 qPrintable(log));
    }

    // A replaced file is not destroyed: it lies in the home Trash with a
    // .trashinfo a file manager can restore it from.
    void replacedFileGoesToTheTrash_data() {
        QTest::addColumn<QString>("operate");
        QTest::addColumn<QString>("thesame");
        QTest::newRow("auto-replace, copy")
            << QStringLiteral("FileCopy") << QStringLiteral("FileReplaceAoto");
        QTest::newRow("replace answered yes, move")
            << QStringLiteral("FileMove") << QStringLiteral("FileReplace");
    }
    void replacedFileGoesToTheTrash() {
        QFETCH(QString, operate);
        QFETCH(QString, thesame);
        QTemporaryDir tmp;
        const QString name = QStringLiteral("报告 1.txt");
        const QString dest = tmp.filePath(QStringLiteral("收件 箱"));
        const QString old = dest + u'/' + name;
        const QString incoming = tmp.filePath(QStringLiteral("src/") + name);
        writeFile(incoming, "new");
        writeFile(old, "old");
        launch(operate, thesame, dest);
        if (QTest::currentTestFailed()) return;
        const QString trash = box_->dataHome() + QStringLiteral("/Trash");
        const auto replaced = [&] {
            return bytesOf(old) == "new" &&
                   bytesOf(trash + QStringLiteral("/files/") + name) == "old";
        };
        if (thesame == QStringLiteral("FileReplace")) {
            const QString question = kAppTitle + QStringLiteral(" - 替换文件");
            drag(QStringList{incoming}, QStringLiteral("Ed5"), boxShown(question));
            if (QTest::currentTestFailed()) return;
            answerBox(question); // Enter is "是"
            QVERIFY(waitUntil(replaced, 15000));
        } else {
            drag(QStringList{incoming}, QStringLiteral("Ed5"), replaced);
            if (QTest::currentTestFailed()) return;
        }
        QCOMPARE(QDir(dest).entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden),
                 QStringList{name});
        QCOMPARE(QFileInfo::exists(incoming), operate == QStringLiteral("FileCopy"));
        QCOMPARE(QDir(trash + QStringLiteral("/files"))
                     .entryList(QDir::AllEntries | QDir::NoDotAndDotDot),
                 QStringList{name});

        const QList<QByteArray> info =
            bytesOf(trash + QStringLiteral("/info/") + name + QStringLiteral(".trashinfo"))
                .trimmed()
                .split('\n');
        QCOMPARE(info.value(0), QByteArray("[Trash Info]"));
        QByteArray path, date;
        for (const QByteArray& line : info) {
            if (line.startsWith("Path=")) path = line.mid(5);
            if (line.startsWith("DeletionDate=")) date = line.mid(13);
        }
        // Escaped: plain ASCII without spaces, and decoding it gives the original path.
        QVERIFY2(!path.isEmpty() && QRegularExpression(QStringLiteral("^[!-~]+$"))
                                        .match(QString::fromLatin1(path))
                                        .hasMatch(),
                 path.constData());
        QCOMPARE(QByteArray::fromPercentEncoding(path), QFile::encodeName(old));
        QVERIFY2(QRegularExpression(QStringLiteral("^\\d{4}-\\d\\d-\\d\\dT\\d\\d:\\d\\d:\\d\\d$"))
                     .match(QString::fromLatin1(date))
                     .hasMatch(),
                 date.constData());
    }

    // A name in another code page (not valid UTF-8) is copied under its own bytes;
    // configure mode refuses such a folder and writes nothing for it.
    void nameInAnotherCodePage() {
        const QByteArray name("\xB7\xBD\xB0\xB8");
        QTemporaryDir tmp;
        const QByteArray root = QFile::encodeName(tmp.path());
        QVERIFY(QDir().mkpath(tmp.filePath(QStringLiteral("src"))));
        QVERIFY(QDir().mkpath(tmp.filePath(QStringLiteral("dest"))));
        const QByteArray file = root + "/src/" + name + ".txt";
        const QByteArray copy = root + "/dest/" + name + ".txt";
        const QByteArray folder = root + '/' + name;
        const RawCleanup raw{{file, copy}, {folder}};
        writeRaw(file, "gbk named");
        launch(QStringLiteral("FileCopy"), QStringLiteral("FileReplace"),
               tmp.filePath(QStringLiteral("dest")));
        if (QTest::currentTestFailed()) return;
        drag(QList<QByteArray>{file}, QStringLiteral("Ed5"),
             [&] { return readRaw(copy) == "gbk named"; });
        if (QTest::currentTestFailed()) return;
        QCOMPARE(namesIn(root + "/dest"), QList<QByteArray>{name + ".txt"});
        QCOMPARE(readRaw(file), QByteArray("gbk named"));

        QCOMPARE(::mkdir(folder.constData(), 0755), 0);
        const QString plain = tmp.filePath(QStringLiteral("可以保存"));
        QVERIFY(QDir().mkpath(plain));
        launch(QStringLiteral("Set"), QStringLiteral("FileReplace"), QString());
        if (QTest::currentTestFailed()) return;
        const QStringList before = settingsLines(sysIni);
        const QString slot7 = readSetting(sysIni, kFolders, QStringLiteral("7"));
        drag(QList<QByteArray>{folder}, QStringLiteral("Ed7"), [] { return true; });
        if (QTest::currentTestFailed()) return;
        // Drops are handled in order: once a second one is saved, the first is done.
        drag(QStringList{plain}, QStringLiteral("Edit2"),
             [&] { return readSetting(sysIni, kFolders, QStringLiteral("2")) == plain; });
        if (QTest::currentTestFailed()) return;
        QCOMPARE(readSetting(sysIni, kFolders, QStringLiteral("7")), slot7);
        const QStringList after = settingsLines(sysIni);
        QStringList added;
        for (const QString& line : after)
            if (!before.contains(line)) added << line;
        // The slot's path alone: the disk it lies on is kept beside the journal.
        QCOMPARE(added, QStringList{QStringLiteral("2=") + plain});
        for (const QString& line : before)
            QVERIFY2(after.contains(line) || line.startsWith(QStringLiteral("2=")),
                     qPrintable(line));
    }
};

QTEST_GUILESS_MAIN(TestDropE2e)
#include "tst_drop_e2e.moc"
