// The board from the keyboard, offscreen: arrows between the slots with the row
// highlight following, Enter opening the slot's folder, Ctrl+digit switching
// groups, Esc hiding only in hide mode, and a key bringing the board back (or,
// where the desktop offers none, the way to bind one there).
#include "app/BoardKeys.h"
#include "app/ShowShortcut.h"
#include "app/Unit1.h"

#include "board/Accounts.h"
#include "board/Choices.h"
#include "platform/GlobalShortcut.h"
#include "store/Settings.h"
#include "tests/support/FakeOpener.h"
#include "tests/support/OffscreenBoard.h"

#include <QApplication>
#include <QLabel>
#include <QLineEdit>
#include <QRadioButton>
#include <QTemporaryDir>
#include <QTest>

class BoardKeysTest : public QObject {
    Q_OBJECT

    qb::test::OffscreenBoard world_;
    qb::FakeDialogs& dialogs_ = world_.dialogs;
    qb::ScopedFakeOpener* opener_ = nullptr;
    TForm1* form_ = nullptr;

    void key(Qt::Key k, Qt::KeyboardModifiers m = {}) {
        QTest::keyClick(QApplication::focusWidget(), k, m);
    }
    // The one row whose fields show the highlight, 0 for none, -1 for several.
    int highlighted() const {
        const QColor normal = form_->Panel1->palette().color(QPalette::Base);
        int found = 0;
        for (int r = 1; r <= 20; ++r)
            if (form_->Edit[r]->palette().color(QPalette::Base) != normal) found = found ? -1 : r;
        return found;
    }

private slots:
    void init() {
        opener_ = new qb::ScopedFakeOpener;
        form_ = new TForm1;
        form_->show();
        QApplication::setActiveWindow(form_);
        QVERIFY(QTest::qWaitForWindowActive(form_));
        form_->Edit[1]->setFocus(Qt::TabFocusReason);
    }
    void cleanup() {
        QVERIFY2(dialogs_.shown() == 0, qPrintable(dialogs_.all()));
        delete form_;
        delete opener_;
    }

    void arrowsWalkTheSlotsAndEnterOpensOne() {
        QLineEdit** Edit = form_->Edit;
        QLineEdit** Ed = form_->Ed;
        key(Qt::Key_Up); // nothing above the first slot
        QCOMPARE(QApplication::focusWidget(), Edit[1]);
        key(Qt::Key_Down);
        key(Qt::Key_Down);
        QCOMPARE(QApplication::focusWidget(), Edit[3]);
        QCOMPARE(highlighted(), 3);
        key(Qt::Key_Right);
        QCOMPARE(QApplication::focusWidget(), Ed[3]);
        key(Qt::Key_Right); // already the right-hand field
        key(Qt::Key_Up);
        QCOMPARE(QApplication::focusWidget(), Ed[2]);
        key(Qt::Key_End);
        key(Qt::Key_Down);
        QCOMPARE(QApplication::focusWidget(), Ed[20]);
        key(Qt::Key_Left);
        QCOMPARE(QApplication::focusWidget(), Edit[20]);
        QCOMPARE(highlighted(), 20);

        QTemporaryDir folder;
        Edit[20]->setText(folder.path());
        Edit[19]->setText(QStringLiteral("/elsewhere"));
        key(Qt::Key_Return);
        QCOMPARE(opener_->fake.folders, QStringList{folder.path()});
        key(Qt::Key_Up);
        key(Qt::Key_Enter, Qt::KeypadModifier);
        QCOMPARE(opener_->fake.folders.size(), 1); // a missing folder is reported, not opened
        QVERIFY(!form_->Labeltip->text().isEmpty());
    }

    void ctrlDigitsSwitchGroups() {
        key(Qt::Key_3, Qt::ControlModifier);
        QVERIFY(form_->RadioButton[3]->isChecked());
        key(Qt::Key_0, Qt::ControlModifier);
        QVERIFY(form_->RadioButton[10]->isChecked());
        QVERIFY(!form_->RadioButton[3]->isChecked());
        // The group is stored, as a click on its button stores it.
        QCOMPARE(qb::ReadSetting(qb::accountState().currentSettingsFile, qb::schemeSection(),
                                 QStringLiteral("project"), QString()),
                 QStringLiteral("10"));
    }

    void escHidesOnlyInHideModeAndTheShortcutBringsItBack() {
        form_->RadioButton[12]->setChecked(true); // "显示窗口"
        form_->move(300, 40);
        key(Qt::Key_Escape);
        QCOMPARE(form_->frameGeometry().x(), 300);

        form_->RadioButton[11]->setChecked(true); // "隐藏窗口"
        form_->Ed[5]->setFocus(Qt::TabFocusReason);
        key(Qt::Key_Escape);
        QVERIFY(form_->frameGeometry().right() < 0);

        world_.cursor.at = QPoint(600, 300);
        form_->boardKeys().bringBoard();
        QCOMPARE(form_->frameGeometry().x(), 0);
        QCOMPARE(form_->frameGeometry().y(), 40);
        QTRY_VERIFY(form_->isActiveWindow());
        QCOMPARE(QApplication::focusWidget(), form_->Ed[5]); // where the keyboard was
    }

    // A desktop whose portal turns out, after start-up, to offer no global
    // shortcuts: the shortcut's dialog says how to bind the key there instead.
    void aShortcutTheDesktopLacksPointsToItsSettings() {
        struct Binding final : qb::GlobalShortcut {
            bool bind(const QKeySequence&, QString*) override { return true; }
            bool pending() const override { return true; }
        };
        auto binding = std::make_unique<Binding>();
        Binding* portal = binding.get();
        qb::ShowShortcut shortcut(
            std::move(binding), [] {}, [](const QString&) {});
        shortcut.start();
        QVERIFY(shortcut.available());
        emit portal->unavailable();
        QVERIFY(!shortcut.available());
        shortcut.edit(form_);
        QCOMPARE(world_.dialogs.messages.size(), 1);
        QVERIFY(world_.dialogs.messages[0].contains(QStringLiteral("quillbeck show")));
        world_.dialogs.clear();
    }
};

QTEST_MAIN(BoardKeysTest)
#include "tst_board_keys.moc"
