// The global shortcut through the desktop portal, against a stand-in portal on a
// private session bus that presses the bound keys once they are bound.
#include "platform/GlobalShortcut.h"
#include "tests/support/SessionBus.h"

#include <QElapsedTimer>
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

    QList<QJsonObject> logged(const QString& name = QStringLiteral("portal.log")) const {
        QFile f(dir_.filePath(name));
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
        // What start-up sees on a Wayland session.
        qputenv("DBUS_SESSION_BUS_ADDRESS", bus_.address().toUtf8());
        qputenv("WAYLAND_DISPLAY", "wayland-quillbeck-test");
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

    // A portal slow to say whether it offers shortcuts (started on demand at
    // login) holds up neither start-up nor the binding, which follows its answer.
    void aLatePortalHoldsUpNothing() {
        DesktopDoubles portal(bus_, dir_.filePath(QStringLiteral("late.log")),
                              QStringLiteral("portal-late"));
        QString err;
        QVERIFY2(portal.start(&err), qPrintable(err));
        QElapsedTimer clock;
        clock.start();
        const auto shortcut = qb::makeGlobalShortcut();
        QVERIFY(shortcut);
        QSignalSpy bound(shortcut.get(), &qb::GlobalShortcut::bound);
        QVERIFY(shortcut->bind(QKeySequence(Qt::CTRL | Qt::ALT | Qt::Key_Q), &err));
        QVERIFY2(clock.elapsed() < 500, qPrintable(QString::number(clock.elapsed())));
        QVERIFY(shortcut->pending());
        QTRY_COMPARE(bound.size(), 1);
        QCOMPARE(bound.first().first().toString(), QString());
        QCOMPARE(logged(QStringLiteral("late.log")).size(), 2);
    }

    // Without shortcuts in the portal nothing is asked of it, and the binding
    // says so instead of staying pending.
    void aPortalWithoutShortcutsBindsNothing() {
        DesktopDoubles portal(bus_, dir_.filePath(QStringLiteral("none.log")),
                              QStringLiteral("portal-none"));
        QString err;
        QVERIFY2(portal.start(&err), qPrintable(err));
        const auto shortcut = qb::makeGlobalShortcut();
        QSignalSpy bound(shortcut.get(), &qb::GlobalShortcut::bound);
        QSignalSpy unavailable(shortcut.get(), &qb::GlobalShortcut::unavailable);
        QVERIFY(shortcut->bind(QKeySequence(Qt::CTRL | Qt::ALT | Qt::Key_Q), &err));
        QTRY_COMPARE(unavailable.size(), 1);
        QVERIFY(!shortcut->pending());
        QCOMPARE(bound.size(), 0);
        QVERIFY(logged(QStringLiteral("none.log")).isEmpty());
    }
};

QTEST_MAIN(GlobalShortcutTest)
#include "tst_global_shortcut.moc"
