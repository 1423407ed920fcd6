// Real drags from another program onto the running window, under Xvfb and
// openbox: a GTK drag source offers files as a file manager does, and xdotool
// moves the mouse as a hand would.
#include "tests/e2e/DragSource.h"
#include "tests/e2e/E2e.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <QTest>

using namespace qb::e2e;

namespace {

void writeFile(const QString& path, const QByteArray& bytes) {
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile f(path);
    if (!f.open(QIODevice::WriteOnly | QIODevice::Truncate))
        qFatal("cannot write %s", qPrintable(path));
    f.write(bytes);
}

QByteArray bytesOf(const QString& path) {
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("<missing>");
}

} // namespace

class TestDropE2e : public QObject {
    Q_OBJECT

    Desktop desk;
    QString sysIni;

    // Starts the program with the given choices in its settings file, slot 5 set to
    // `slot5`, and drags `items` onto `control`.
    void run(const QString& operate, const QString& thesame, const QString& slot5,
             const QStringList& items, const QString& control) {
        Sandbox box;
        QVERIFY2(box.isValid(), qPrintable(box.error()));
        sysIni = box.path(QStringLiteral("sys.ini"));
        const QString scheme = QStringLiteral("方案");
        QVERIFY(writeSetting(sysIni, scheme, QStringLiteral("operate"), operate));
        QVERIFY(writeSetting(sysIni, scheme, QStringLiteral("thesame"), thesame));
        if (!slot5.isEmpty())
            QVERIFY(writeSetting(sysIni, QStringLiteral("我的文件夹"), QStringLiteral("5"), slot5));
        Program app(desk, box);
        QString err;
        QVERIFY2(app.start(&err), qPrintable(err));
        const auto win = app.waitForMainWindow(&err);
        QVERIFY2(win, qPrintable(err));

        DragSource source(desk, items);
        QVERIFY2(source.waitReady(&err), qPrintable(err));
        QVERIFY2(source.dragTo(win->point(control), &err), qPrintable(err + app.output()));
        // The drop is handled once the source has its answer; the window must then
        // reach the expected state and still be running.
        const bool reached = waitUntil([&] { return !app.isRunning() || condition_(); }, 15000);
        QVERIFY2(app.isRunning(), app.output().constData());
        QVERIFY2(reached, qPrintable(QStringLiteral("expected state not reached\n") +
                                     settingsLines(sysIni).join(u'\n') + u'\n' +
                                     QString::fromUtf8(source.output() + app.output())));
    }

    std::function<bool()> condition_;

private slots:
    void initTestCase() {
        if (!QFileInfo::exists(QStringLiteral("/usr/bin/python3")))
            QSKIP("python3 with GTK 3 is needed for the drag source");
        QString err;
        QVERIFY2(desk.start(&err), qPrintable(err));
    }

    // Configure mode: a dropped folder becomes slot 7's path and is written at once;
    // a dropped file gives its folder.
    void configureModeSetsTheSlot() {
        QTemporaryDir tmp;
        const QString folder = tmp.filePath(QStringLiteral("工作 目录"));
        QDir().mkpath(folder);
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
        const QString dest = tmp.filePath(QStringLiteral("目标"));
        QDir().mkpath(dest);
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
        const QString dest = tmp.filePath(QStringLiteral("目标"));
        QDir().mkpath(dest);
        const QString src = tmp.filePath(QStringLiteral("源"));
        writeFile(src + QStringLiteral("/a.txt"), "one");
        writeFile(src + QStringLiteral("/树/sub/c.txt"), "three");
        const auto before = snapshot(src);
        condition_ = [&] { return snapshot(dest) == before && snapshot(src).isEmpty(); };
        run(QStringLiteral("FileMove"), QStringLiteral("FileReplace"), dest,
            {src + QStringLiteral("/a.txt"), src + QStringLiteral("/树")}, QStringLiteral("Edit5"));
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
};

QTEST_GUILESS_MAIN(TestDropE2e)
#include "tst_drop_e2e.moc"
