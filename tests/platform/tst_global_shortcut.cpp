// The global shortcut through the desktop portal, against a stand-in portal on a
// private session bus that answers at once and then presses the bound keys.
#include "platform/GlobalShortcut.h"
#include "tests/support/SessionBus.h"

#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSignalSpy>
#include <QTest>

using namespace qb::e2e;

class GlobalShortcutTest : public QObject {
    Q_OBJECT

    QTemporaryDir dir_;
    SessionBus bus_;

    QList<QJsonObject> logged() const {
        QFile f(dir_.filePath(QStringLiteral("portal.log")));
        QList<QJsonObject> out;
        if (f.open(QIODevice::ReadOnly))
            for (const QByteArray& line : f.readAll().split('\n'))
                if (!line.isEmpty()) out << QJsonDocument::fromJson(line).object();
        return out;
    }

private slots:
    void initTestCase() {
        QString err;
        QVERIFY2(bus_.start(&err), qPrintable(err));
    }

    void bindsThroughThePortalAndHearsTheKeys() {
        DesktopDoubles portal(bus_, dir_.filePath(QStringLiteral("portal.log")),
                              QStringLiteral("portal"));
        QString err;
        QVERIFY2(portal.start(&err), qPrintable(err));
        QDBusConnection bus = QDBusConnection::connectToBus(bus_.address(), QStringLiteral("t"));
        QVERIFY(bus.isConnected());
        const auto shortcut = qb::makePortalShortcut(bus);
        QSignalSpy bound(shortcut.get(), &qb::GlobalShortcut::bound);
        QSignalSpy pressed(shortcut.get(), &qb::GlobalShortcut::activated);

        QVERIFY(shortcut->bind(QKeySequence(Qt::CTRL | Qt::ALT | Qt::Key_Q), &err));
        QVERIFY(shortcut->pending());
        QTRY_COMPARE(bound.size(), 1);
        QCOMPARE(bound.first().first().toString(), QString()); // it holds
        QVERIFY(!shortcut->pending());
        QTRY_COMPARE(pressed.size(), 1);

        const QList<QJsonObject> log = logged();
        QCOMPARE(log.size(), 2);
        QCOMPARE(log[1].value(QStringLiteral("session")), log[0].value(QStringLiteral("session")));
        const QJsonObject entry =
            log[1].value(QStringLiteral("shortcuts")).toArray().first().toObject();
        QCOMPARE(entry.value(QStringLiteral("preferred_trigger")).toString(),
                 QStringLiteral("CTRL+ALT+q"));
        QVERIFY(!entry.value(QStringLiteral("description")).toString().isEmpty());

        // Another combination: a new session, and the old one's keys are no longer heard.
        QVERIFY(shortcut->bind(QKeySequence(Qt::META | Qt::Key_F5), &err));
        QTRY_COMPARE(bound.size(), 2);
        QTRY_COMPARE(pressed.size(), 2);
        QCOMPARE(logged().size(), 4);
        QCOMPARE(logged()[3]
                     .value(QStringLiteral("shortcuts"))
                     .toArray()
                     .first()
                     .toObject()
                     .value(QStringLiteral("preferred_trigger"))
                     .toString(),
                 QStringLiteral("LOGO+f5"));
        QDBusConnection::disconnectFromBus(QStringLiteral("t"));
    }
};

QTEST_MAIN(GlobalShortcutTest)
#include "tst_global_shortcut.moc"
