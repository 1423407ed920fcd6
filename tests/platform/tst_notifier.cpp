// Notifications go to the session bus's notification service, and nowhere when
// none runs: a private bus, first empty, then with the stand-in service.
#include "platform/Notifier.h"
#include "tests/support/SessionBus.h"

#include <QTemporaryDir>
#include <QTest>

using namespace qb::e2e;

class TestNotifier : public QObject {
    Q_OBJECT

    SessionBus bus;
    QTemporaryDir tmp;

private slots:
    void initTestCase() {
        if (!QFileInfo::exists(QStringLiteral("/usr/bin/python3")))
            QSKIP("python3 with D-Bus is needed for the notification service");
        QString err;
        QVERIFY2(bus.start(&err), qPrintable(err));
        // Read by the first use of the session bus, which comes below.
        qputenv("DBUS_SESSION_BUS_ADDRESS", bus.address().toUtf8());
    }

    void sentOnlyWhileAServiceRuns() {
        const qb::Notice notice{QStringLiteral("复制完成"), QStringLiteral("3 项已复制到 /srv")};
        QVERIFY(!qb::sendNotice(notice));

        const QString log = tmp.filePath(QStringLiteral("bus.log"));
        {
            DesktopDoubles service(bus, log);
            QString err;
            QVERIFY2(service.start(&err), qPrintable(err));
            QVERIFY(qb::sendNotice(notice));
            QVERIFY(waitUntil([&] { return !service.events("notify").isEmpty(); }, 10000));
            const QJsonObject n = service.events(QStringLiteral("notify")).first();
            QCOMPARE(n[QStringLiteral("summary")].toString(), notice.summary);
            QCOMPARE(n[QStringLiteral("body")].toString(), notice.body);
            QCOMPARE(n[QStringLiteral("icon")].toString(), QStringLiteral(QB_APP_ID));
        }
        // The service has gone again.
        QVERIFY(waitUntil([&] { return !qb::sendNotice(notice); }, 10000));
        QCOMPARE(DesktopDoubles(bus, log).events(QStringLiteral("notify")).size(), 1);
    }
};

QTEST_GUILESS_MAIN(TestNotifier)
#include "tst_notifier.moc"
