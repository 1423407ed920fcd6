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
            // The notice goes out from the event loop, once the service said what it reads.
            QTRY_VERIFY_WITH_TIMEOUT(!service.events("notify").isEmpty(), 10000);
            const QJsonObject n = service.events(QStringLiteral("notify")).first();
            QCOMPARE(n[QStringLiteral("summary")].toString(), notice.summary);
            QCOMPARE(n[QStringLiteral("body")].toString(), notice.body);
            QCOMPARE(n[QStringLiteral("icon")].toString(), QStringLiteral(QB_APP_ID));
        }
        // The service has gone again.
        QVERIFY(waitUntil([&] { return !qb::sendNotice(notice); }, 10000));
        QCOMPARE(DesktopDoubles(bus, log).events(QStringLiteral("notify")).size(), 1);
    }

    // A service that reads markup in bodies gets names as text, and is asked what it
    // reads once; one that reads none gets them as they are.
    void bodiesEscapedForMarkup_data() {
        QTest::addColumn<QString>("services");
        QTest::addColumn<QString>("shown");
        QTest::newRow("markup") << "serve-markup"
                                << "“Third&lt;b&gt; &amp; x.pdf” &quot;a&quot;";
        QTest::newRow("plain") << "serve"
                               << "“Third<b> & x.pdf” \"a\"";
    }
    void bodiesEscapedForMarkup() {
        QFETCH(QString, services);
        QFETCH(QString, shown);
        const QString log = tmp.filePath(services + QStringLiteral(".log"));
        DesktopDoubles service(bus, log, services);
        QString err;
        QVERIFY2(service.start(&err), qPrintable(err));
        const qb::Notice notice{QStringLiteral("复制完成"),
                                QStringLiteral("“Third<b> & x.pdf” \"a\"")};
        for (int sent = 1; sent <= 2; ++sent) {
            QVERIFY(qb::sendNotice(notice));
            QTRY_COMPARE_WITH_TIMEOUT(service.events("notify").size(), sent, 10000);
        }
        for (const QJsonObject& n : service.events(QStringLiteral("notify")))
            QCOMPARE(n[QStringLiteral("body")].toString(), shown);
        QCOMPARE(service.events(QStringLiteral("capabilities")).size(), 1);
    }

    // A button runs what belongs to its own notification, once; a later
    // notification's buttons do not answer for an earlier one.
    void buttonsRunTheirAction() {
        const QString log = tmp.filePath(QStringLiteral("actions.log"));
        DesktopDoubles service(bus, log);
        QString err;
        QVERIFY2(service.start(&err), qPrintable(err));
        QStringList ran;
        auto button = [&ran](const char* key, const QString& label, const QString& tag) {
            return qb::NoticeAction{QLatin1String(key), label, [&ran, tag] { ran << tag; }};
        };
        QVERIFY(qb::sendNotice(
            {QStringLiteral("移动完成"), QStringLiteral("2 项")},
            {button("undo", QStringLiteral("撤销"), QStringLiteral("undo 1")),
             button("open", QStringLiteral("打开文件夹"), QStringLiteral("open 1"))}));
        QTRY_COMPARE_WITH_TIMEOUT(service.events(QStringLiteral("notify")).size(), 1, 10000);
        const QJsonObject n = service.events(QStringLiteral("notify")).first();
        QCOMPARE(n[QStringLiteral("actions")].toVariant().toStringList(),
                 QStringList({"undo", "撤销", "open", "打开文件夹"}));
        // The number reaches the program a moment after the notification shows.
        QTest::qWait(200);
        QVERIFY(service.invoke(QStringLiteral("open")).ok());
        QTRY_COMPARE_WITH_TIMEOUT(ran, QStringList{QStringLiteral("open 1")}, 10000);
        // The notification closed with the click: a second click does nothing.
        QVERIFY(service.invoke(QStringLiteral("undo")).ok());
        QTest::qWait(300);
        QCOMPARE(ran, QStringList{QStringLiteral("open 1")});

        QVERIFY(qb::sendNotice({QStringLiteral("复制完成"), QStringLiteral("1 项")},
                               {button("undo", QStringLiteral("撤销"), QStringLiteral("undo 2"))}));
        QTRY_COMPARE_WITH_TIMEOUT(service.events(QStringLiteral("notify")).size(), 2, 10000);
        QTest::qWait(200);
        QVERIFY(service.invoke(QStringLiteral("undo")).ok());
        QTRY_COMPARE_WITH_TIMEOUT(ran.size(), 2, 10000);
        QCOMPARE(ran.last(), QStringLiteral("undo 2"));
    }
};

QTEST_GUILESS_MAIN(TestNotifier)
#include "tst_notifier.moc"
