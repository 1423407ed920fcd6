// KWin's own pointer, as the board follows it under Xwayland: a stand-in for
// KWin's script loader on a private session bus runs the callback the loaded
// script names, and must find the program's object there.
#include "platform/Cursor.h"
#include "tests/support/SessionBus.h"

#include <QDBusConnection>
#include <QTemporaryDir>
#include <QTest>

using namespace qb::e2e;

class TestCompositorPointer : public QObject {
    Q_OBJECT

    SessionBus bus;
    QTemporaryDir tmp;

private slots:
    void initTestCase() {
        if (!QFileInfo::exists(QStringLiteral("/usr/bin/python3")))
            QSKIP("python3 with D-Bus is needed for the stand-in");
        QString err;
        QVERIFY2(bus.start(&err), qPrintable(err));
        // Read by the first use of the session bus, which comes below.
        qputenv("DBUS_SESSION_BUS_ADDRESS", bus.address().toUtf8());
    }

    void followsTheScriptAndUnloadsIt() {
        QVERIFY(!qb::CompositorPointer::start()); // no KWin on the bus

        const QString log = tmp.filePath(QStringLiteral("kwin.log"));
        DesktopDoubles kwin(bus, log, QStringLiteral("kwin"));
        QString err;
        QVERIFY2(kwin.start(&err), qPrintable(err));
        qb::CompositorPointer* watch = qb::CompositorPointer::start();
        QVERIFY(watch);
        const QList<QJsonObject> loads = kwin.events(QStringLiteral("load"));
        QCOMPARE(loads.size(), 1);
        QVERIFY(loads[0][QStringLiteral("script")].toString().contains(
            QDBusConnection::sessionBus().baseService()));
        QCOMPARE(kwin.events(QStringLiteral("start")).size(), 1);

        // The script's callback reaches the program and gives the place.
        QTRY_COMPARE(watch->pos(), std::optional<QPoint>(QPoint(120, 340)));
        const QList<QJsonObject> calls = kwin.events(QStringLiteral("called"));
        QCOMPARE(calls.size(), 1);
        QVERIFY2(calls[0][QStringLiteral("ok")].toBool(),
                 qPrintable(calls[0][QStringLiteral("error")].toString()));

        // Ending unloads the script by the name it was loaded under.
        delete watch;
        const QList<QJsonObject> unloads = kwin.events(QStringLiteral("unload"));
        QCOMPARE(unloads.size(), 1);
        QCOMPARE(unloads[0][QStringLiteral("name")], loads[0][QStringLiteral("name")]);
    }

    // GNOME reports input wherever it goes: reports that none of the program's own
    // windows' input explains mean the pointer went elsewhere. A timeline of the
    // program's own input ("o") and reports ("r") at milliseconds.
    void unseenInput_data() {
        QTest::addColumn<QString>("timeline");
        QTest::addColumn<bool>("elsewhere");
        QTest::newRow("moved off the board") << "o0 r60 r80 r100" << true;
        QTest::newRow("moving before any own input") << "r10 r20 r30" << true;
        QTest::newRow("echoes of own input") << "o0 r10 o40 r45 o80 r90 r95" << false;
        QTest::newRow("back over the board") << "o0 r60 r80 r100 o120" << false;
        QTest::newRow("two keys for the desktop after an echo") << "o0 r20 r300 r400" << false;
    }
    void unseenInput() {
        QFETCH(QString, timeline);
        QFETCH(bool, elsewhere);
        qb::UnseenInput input;
        for (const QString& step : timeline.split(u' ')) {
            const qint64 ms = step.mid(1).toLongLong();
            if (step.startsWith(u'o'))
                input.own(ms);
            else
                input.reported(ms);
        }
        QCOMPARE(input.elsewhere(), elsewhere);
    }
};

QTEST_MAIN(TestCompositorPointer)
#include "tst_compositor_pointer.moc"
