// The find field and a folder dragged out, on a real X server and window manager
// (Xvfb + openbox), keys and the mouse driven with xdotool: Ctrl+F and a few
// letters find a slot of group 7 and Enter opens it in the file manager; a drag
// from row 1's number hands its folder to a GTK program.
#include "tests/support/E2e.h"

#include <QDir>
#include <QProcess>
#include <QTest>
#include <QUrl>

#include <memory>

using namespace qb::e2e;

class FindE2e : public QObject {
    Q_OBJECT

    Desktop desk_;

    // The program on the board's first group, slot (g, r) holding `folder`.
    std::optional<MainWindow> start(Sandbox& box, Program& app, int key, const QString& folder) {
        const QString sys = box.path(QStringLiteral("sys.ini"));
        if (!QDir().mkpath(folder) ||
            !writeSetting(sys, QStringLiteral("方案"), QStringLiteral("show"),
                          QStringLiteral("yes")) ||
            !writeSetting(sys, QStringLiteral("我的文件夹"), QString::number(key), folder))
            return std::nullopt;
        QString err;
        auto win = app.startToMainWindow(&err);
        if (!win) qWarning("%s", qPrintable(err));
        return win;
    }
    bool xdotool(const QStringList& args) const {
        return desk_.tool(QStringLiteral("xdotool"), args).ok();
    }

private slots:
    void initTestCase() {
        QString err;
        QVERIFY2(desk_.start(&err), qPrintable(err));
    }

    void ctrlFAndAFewLettersOpenASlotOfAnotherGroup() {
        Sandbox box;
        QVERIFY2(box.isValid(), qPrintable(box.error()));
        const QString log = installFakeFileManager(box);
        const QString folder = box.root() + QStringLiteral("/Travel Photos");
        Program app(desk_, box);
        const auto win = start(box, app, 6 * 20 + 4, folder); // group 7, row 4
        QVERIFY(win);
        QVERIFY2(desk_.key(win->info.id, QStringLiteral("ctrl+f")), qPrintable(desk_.lastError()));
        for (const char* k : {"t", "r", "a", "v"})
            QVERIFY(xdotool({QStringLiteral("key"), QLatin1String(k)}));
        QTest::qWait(200);
        QVERIFY(xdotool({QStringLiteral("key"), QStringLiteral("Return")}));
        const bool opened =
            waitUntil([&] { return bytesOf(log).contains(folder.toUtf8()); }, 10000);
        QVERIFY2(opened, qPrintable(QString::fromLocal8Bit(bytesOf(log) + app.output())));
        QVERIFY(app.isRunning());
    }

    void rowOnesNumberDragsItsFolderToAnotherProgram() {
        Sandbox box;
        QVERIFY2(box.isValid(), qPrintable(box.error()));
        const QString folder = box.root() + QStringLiteral("/Slot One 壹");
        Program app(desk_, box);
        const auto win = start(box, app, 1, folder);
        QVERIFY(win);
        QProcess target;
        target.setProcessEnvironment(desk_.environment());
        target.setProcessChannelMode(QProcess::MergedChannels);
        startGuarded(target, QStringLiteral("/usr/bin/python3"),
                     {QStringLiteral(QB_SOURCE_DIR "/tests/support/drop_target.py"),
                      QStringLiteral("drop target")});
        QByteArray out;
        auto read = [&] {
            target.waitForReadyRead(10);
            out += target.readAll();
        };
        QVERIFY2(waitUntil([&] { return read(), out.contains("ready\n"); }, 15000),
                 out.constData());

        const QPoint from = win->point(QStringLiteral("Label1"));
        QStringList drag = {QStringLiteral("mousemove"), QString::number(from.x()),
                            QString::number(from.y()),   QStringLiteral("sleep"),
                            QStringLiteral("0.2"),       QStringLiteral("mousedown"),
                            QStringLiteral("1")};
        // Past the drag distance, then on to the target's middle (850, 400) in steps.
        for (int i = 1; i <= 12; ++i) {
            const QPoint p = from + (QPoint(850, 400) - from) * i / 12;
            drag << QStringLiteral("sleep") << QStringLiteral("0.08") << QStringLiteral("mousemove")
                 << QString::number(p.x()) << QString::number(p.y());
        }
        drag << QStringLiteral("sleep") << QStringLiteral("0.3") << QStringLiteral("mousemove")
             << QStringLiteral("852") << QStringLiteral("402") << QStringLiteral("sleep")
             << QStringLiteral("0.3") << QStringLiteral("mouseup") << QStringLiteral("1");
        QVERIFY(xdotool(drag));
        const bool dropped = waitUntil([&] { return read(), out.contains("dropped"); }, 10000);
        QVERIFY2(dropped, qPrintable(QString::fromUtf8(out + app.output())));
        const QByteArray uri = QUrl::fromLocalFile(folder).toEncoded();
        QVERIFY2(out.contains("uris " + uri + "\n"), out.constData());
        QVERIFY2(out.contains("text \"" + folder.toUtf8() + "\"\n"), out.constData());
        target.kill();
        target.waitForFinished(3000);
        QVERIFY(app.isRunning());
    }
};

QTEST_GUILESS_MAIN(FindE2e)
#include "tst_find_e2e.moc"
