// The global shortcut on a real X server and window manager: Xvfb + openbox, keys
// typed with xdotool, the window read back with xwininfo.
#include "tests/support/E2e.h"

#include <QTest>

#include <memory>

using namespace qb::e2e;

class KeysE2e : public QObject {
    Q_OBJECT

    Desktop desk_;
    std::unique_ptr<Sandbox> box_;
    std::unique_ptr<Program> app_;
    unsigned long id_ = 0;

    // The program in hide mode with `shortcut` stored (none: the default), its
    // log saying what became of the grab.
    bool start(const QString& shortcut = QString()) {
        QString err;
        box_ = std::make_unique<Sandbox>();
        box_->setVariable(QStringLiteral("QT_LOGGING_RULES"),
                          QStringLiteral("quillbeck.platform.info=true"));
        const QString sys = box_->path(QStringLiteral("sys.ini"));
        if (!writeSetting(sys, QStringLiteral("方案"), QStringLiteral("show"), QStringLiteral("no"),
                          &err) ||
            (!shortcut.isNull() && !writeSetting(sys, QStringLiteral("Shortcut"),
                                                 QStringLiteral("ShowBoard"), shortcut, &err)))
            return fail(err);
        desk_.mouseMove(QPoint(640, 400));
        app_ = std::make_unique<Program>(desk_, *box_);
        const auto win = app_->startToMainWindow(&err);
        if (!win) return fail(err + QString::fromLocal8Bit(app_->output()));
        id_ = win->info.id;
        return true;
    }
    bool fail(const QString& why) {
        qWarning("%s", qPrintable(why));
        return false;
    }
    int left() const {
        const auto info = desk_.windowInfo(id_);
        return info ? info->geometry.x() : 1000000;
    }
    bool keys(const QString& combo) const {
        return desk_.tool(QStringLiteral("xdotool"), {QStringLiteral("key"), combo}).ok();
    }
    bool hidden() const {
        return waitUntil([&] { return left() < -200; }, 3000);
    }
    bool atEdge() const {
        return waitUntil([&] { return left() >= 0 && left() < 5; }, 3000);
    }

private slots:
    void initTestCase() {
        QString err;
        QVERIFY2(desk_.start(&err), qPrintable(err));
    }
    void cleanup() {
        app_.reset();
        box_.reset();
    }

    // Ctrl+Alt+Q from another window's keyboard brings the hidden board with the
    // keyboard on it (Esc then sends it back), whatever Num Lock and Caps Lock say.
    void shortcutBringsTheBoard() {
        QVERIFY(start());
        // Over the background first, as a hand leaves the board: that arms hiding.
        const auto info = desk_.windowInfo(id_);
        QVERIFY(info);
        for (int dx : {0, 3, 6}) {
            QVERIFY(desk_.mouseMove(info->geometry.topLeft() + QPoint(110 + dx, 220)));
            QTest::qWait(50);
        }
        QVERIFY(desk_.mouseMove(QPoint(1100, 400)));
        QVERIFY2(hidden(), qPrintable(QString::fromLocal8Bit(app_->output())));
        QVERIFY(app_->output().contains("grabbed"));

        QVERIFY(keys(QStringLiteral("ctrl+alt+q")));
        QVERIFY2(atEdge(), qPrintable(QString::number(left())));
        QVERIFY(waitUntil([&] { return desk_.activeWindow() == id_; }, 3000));
        QVERIFY(keys(QStringLiteral("Escape")));
        QVERIFY2(hidden(), qPrintable(QString::number(left())));

        QVERIFY(keys(QStringLiteral("Num_Lock")));
        QVERIFY(keys(QStringLiteral("Caps_Lock")));
        QVERIFY(keys(QStringLiteral("ctrl+alt+q")));
        const bool back = atEdge();
        QVERIFY(keys(QStringLiteral("Num_Lock")));
        QVERIFY(keys(QStringLiteral("Caps_Lock")));
        QVERIFY2(back, qPrintable(QString::number(left())));
        QVERIFY(app_->isRunning());
    }

    // A combination the window manager holds is said, and the program runs on.
    void aTakenKeyIsSaid() {
        QVERIFY(start(QStringLiteral("Ctrl+Alt+Left")));
        QVERIFY(
            waitUntil([&] { return app_->output().contains("held by another program"); }, 5000));
        QVERIFY(app_->isRunning());
    }
};

QTEST_GUILESS_MAIN(KeysE2e)
#include "tst_keys_e2e.moc"
