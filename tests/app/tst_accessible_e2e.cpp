// The board as a screen reader reads it, over the accessibility bus (at-spi2-core
// on a private session bus) under Xvfb: every slot field and group button has a
// name in the interface's language, the fields' description names the shown
// group and follows a switch, and a change of the status line is announced.
#include "tests/support/E2e.h"
#include "tests/support/SessionBus.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTest>

using namespace qb::e2e;

namespace {

const QString kPython = QStringLiteral("/usr/bin/python3");
const QString kReader = QStringLiteral(QB_SOURCE_DIR "/tests/support/a11y_reader.py");
const QString kLauncher = QStringLiteral("/usr/libexec/at-spi-bus-launcher");

// name -> description of the controls with `role`.
QMap<QString, QString> named(const QJsonArray& controls, const QString& role) {
    QMap<QString, QString> found;
    for (const QJsonValue& c : controls)
        if (c[QStringLiteral("role")].toString() == role)
            found.insert(c[QStringLiteral("name")].toString(),
                         c[QStringLiteral("description")].toString());
    return found;
}

} // namespace

class TestAccessibleE2e : public QObject {
    Q_OBJECT

    Desktop desk;
    SessionBus bus;
    QProcess launcher;

    QJsonArray readBoard() const {
        const RunResult r =
            run(kPython, {kReader, QStringLiteral("dump"), QStringLiteral("quillbeck")},
                bus.environment(), 60000);
        return r.ok() ? QJsonDocument::fromJson(r.out).array() : QJsonArray();
    }

private slots:
    void initTestCase() {
        QVERIFY2(QFileInfo::exists(kLauncher), "at-spi2-core is not installed");
        QVERIFY2(run(kPython, {QStringLiteral("-c"), QStringLiteral("import pyatspi")}).ok(),
                 "python3-pyatspi is not installed");
        QString err;
        QVERIFY2(desk.start(&err), qPrintable(err));
        QVERIFY2(bus.start(&err), qPrintable(err));
        // The launcher reads its settings' schemas, which the test's world hides.
        QProcessEnvironment env = bus.environment();
        env.insert(QStringLiteral("XDG_DATA_DIRS"), QStringLiteral("/usr/share"));
        env.insert(QStringLiteral("GSETTINGS_BACKEND"), QStringLiteral("memory"));
        launcher.setProcessEnvironment(env);
        startGuarded(launcher, kLauncher, {QStringLiteral("--launch-immediately")});
        QVERIFY2(waitUntil(
                     [this] {
                         return run(QStringLiteral("dbus-send"),
                                    {QStringLiteral("--session"), QStringLiteral("--print-reply"),
                                     QStringLiteral("--dest=org.a11y.Bus"),
                                     QStringLiteral("/org/a11y/bus"),
                                     QStringLiteral("org.a11y.Bus.GetAddress")},
                                    bus.environment())
                             .ok();
                     },
                     10000, 100),
                 launcher.readAll().constData());
    }
    void cleanupTestCase() { qb::harness::stop(launcher); }

    void boardReadsAsItShows_data() {
        QTest::addColumn<QString>("lang");
        QTest::addColumn<QString>("path");
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("group");
        QTest::addColumn<QString>("status");
        QTest::newRow("Chinese") << "C.UTF-8"
                                 << "槽位 %1 路径"
                                 << "槽位 %1 名称"
                                 << "第 %1 组"
                                 << "状态栏";
        QTest::newRow("English") << "en_US.UTF-8"
                                 << "Slot %1 path"
                                 << "Slot %1 name"
                                 << "Group %1"
                                 << "Status line";
    }
    void boardReadsAsItShows() {
        QFETCH(QString, lang);
        QFETCH(QString, path);
        QFETCH(QString, name);
        QFETCH(QString, group);
        QFETCH(QString, status);
        Sandbox box;
        QVERIFY2(box.isValid(), qPrintable(box.error()));
        box.setVariable(QStringLiteral("DBUS_SESSION_BUS_ADDRESS"), bus.address());
        box.setVariable(QStringLiteral("QT_LINUX_ACCESSIBILITY_ALWAYS_ON"), QStringLiteral("1"));
        box.setVariable(QStringLiteral("LANG"), lang);
        box.setVariable(QStringLiteral("LC_ALL"), lang);
        // A screen reader that listens hears the status line change.
        QProcess watch;
        watch.setProcessEnvironment(bus.environment());
        startGuarded(watch, kPython, {kReader, "watch", "60"});
        QVERIFY(watch.waitForReadyRead(30000));
        QCOMPARE(watch.readLine().trimmed(), QByteArray("ready"));
        Program app(desk, box);
        QString err;
        const auto win = app.startToMainWindow(&err);
        QVERIFY2(win, qPrintable(err));

        QJsonArray board = readBoard();
        QMap<QString, QString> fields = named(board, QStringLiteral("text"));
        QCOMPARE(fields.size(), 40); // none nameless
        for (int r = 1; r <= 20; ++r)
            for (const QString& n : {path.arg(r), name.arg(r)})
                QCOMPARE(fields.value(n, QStringLiteral("(none)")), group.arg(1));
        const QMap<QString, QString> buttons = named(board, QStringLiteral("radio button"));
        for (int g = 1; g <= 10; ++g)
            QVERIFY2(buttons.contains(group.arg(g)), qPrintable(buttons.keys().join(u'|')));
        const QString line = named(board, QStringLiteral("label")).key(status);
        QVERIFY2(!line.isEmpty(), qPrintable(named(board, "label").keys().join(u'|')));

        QVERIFY(desk.click(win->point(QStringLiteral("RadioButton2"))));
        QVERIFY(waitUntil(
            [&] {
                fields = named(readBoard(), QStringLiteral("text"));
                return fields.value(path.arg(3)) == group.arg(2);
            },
            20000, 200));
        QCOMPARE(fields.value(name.arg(20)), group.arg(2));
        QVERIFY(desk.click(win->point(QStringLiteral("Edit3")))); // an empty slot
        QByteArray heard;
        const auto announced = [&] {
            watch.waitForReadyRead(50);
            heard += watch.readAll();
            for (const QByteArray& l : heard.split('\n')) {
                const QJsonObject o = QJsonDocument::fromJson(l).object();
                if (o["description"].toString() == status && o["name"].toString() != line)
                    return true;
            }
            return false;
        };
        QVERIFY2(waitUntil(announced, 20000, 10), heard.constData());
        qb::harness::stop(watch);
    }
};

QTEST_GUILESS_MAIN(TestAccessibleE2e)
#include "tst_accessible_e2e.moc"
