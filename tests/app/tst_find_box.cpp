// The find field on the main window, offscreen: Ctrl+F or a letter opens it and
// holds the board, typing filters all groups' slots, the arrows and Enter open
// the chosen slot as its click would, Esc closes it; a drop on a result lands in
// that slot (of whichever group) once the drag has rested there.
#include "app/Unit1.h"

#include "board/Choices.h"
#include "board/Slots.h"
#include "find/FindBox.h"
#include "find/FindResults.h"
#include "platform/Handler.h"
#include "tests/support/DropFixture.h"
#include "tests/support/FakeOpener.h"

#include <QApplication>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QRadioButton>
#include <QTest>

using namespace qb::test;

class FindBoxTest : public QObject {
    Q_OBJECT

    DropFixture* fx_ = nullptr;
    qb::ScopedFakeOpener* opener_ = nullptr;
    TForm1* form_ = nullptr;

    void store(int g, int r, const QString& path) {
        qb::WriteSetting(fx_->sysIni(), qb::foldersSection(), qb::slotKey(g, r), path);
    }
    void key(Qt::Key k, Qt::KeyboardModifiers m = {}) {
        QTest::keyClick(QApplication::focusWidget(), k, m);
    }
    QStringList shown() const {
        QStringList out;
        for (const qb::FindHit& h : form_->findBox().hits())
            out << QStringLiteral("%1.%2").arg(h.entry->group).arg(h.entry->row);
        return out;
    }
    // Sends a drag event of type Event onto result `index`; whether it was taken.
    template <class Event> bool onResult(int index, const QMimeData& mime) {
        QListWidget* list = form_->findBox().results();
        const QPoint at = list->visualItemRect(list->item(index)).center();
        Event event(at, Qt::CopyAction | Qt::MoveAction, &mime, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(list->viewport(), &event);
        return event.isAccepted() && event.dropAction() != Qt::IgnoreAction;
    }

private slots:
    void init() {
        fx_ = new DropFixture;
        opener_ = new qb::ScopedFakeOpener;
        qb::WriteSetting(fx_->sysIni(), qb::schemeSection(), QStringLiteral("name7"),
                         QStringLiteral("Work"));
        store(1, 2, fx_->folder(QStringLiteral("Music")));
        store(7, 3, fx_->folder(QStringLiteral("Quarterly Reports")));
        store(7, 9, fx_->scratch(QStringLiteral("Reports gone")));
        store(5, 2, fx_->folder(QStringLiteral("Inbox")));
        form_ = new TForm1;
        qb::runHandler(form_, [this] { form_->FormCreate(); });
        form_->show();
        QApplication::setActiveWindow(form_);
        QVERIFY(QTest::qWaitForWindowActive(form_));
        form_->Edit[1]->setFocus(Qt::TabFocusReason);
    }
    void cleanup() {
        QVERIFY2(fx_->dialogs.shown() == 0, qPrintable(fx_->dialogs.all()));
        delete form_;
        delete opener_;
        delete fx_;
    }

    void typingFindsAndEnterOpensTheChosenSlot() {
        qb::FindBox& find = form_->findBox();
        form_->RadioButton[11]->setChecked(true); // hide mode: Esc would hide the board
        const QRect shownAt = form_->frameGeometry();
        key(Qt::Key_F, Qt::ControlModifier);
        QVERIFY(find.isOpen());
        QCOMPARE(QApplication::focusWidget(), find.field());
        QVERIFY(form_->docking().held());

        QTest::keyClicks(find.field(), QStringLiteral("rep"));
        QCOMPARE(shown(), (QStringList{"7.9", "7.3"})); // a name's beginning before a word's
        key(Qt::Key_Down);
        key(Qt::Key_Return);
        QCOMPARE(opener_->fake.folders,
                 QStringList{fx_->scratch(QStringLiteral("Quarterly Reports"))});
        QCOMPARE(form_->Labeltip->text(), QStringLiteral("打开指定目录!"));
        QVERIFY(!find.isOpen());
        QVERIFY(!form_->docking().held());
        QCOMPARE(QApplication::focusWidget(), form_->Edit[1]);

        // A letter on a slot opens the field with it; a folder that is gone is said.
        key(Qt::Key_G);
        QVERIFY(find.isOpen());
        QCOMPARE(find.field()->text(), QStringLiteral("g"));
        QTest::keyClicks(find.field(), QStringLiteral("one"));
        QCOMPARE(shown(), QStringList{"7.9"});
        key(Qt::Key_Enter, Qt::KeypadModifier);
        QCOMPARE(opener_->fake.folders.size(), 1);
        QCOMPARE(form_->Labeltip->text(), QStringLiteral("目录不存在!"));

        // Esc closes the field only: the board stays.
        key(Qt::Key_M);
        QTest::keyClicks(find.field(), QStringLiteral("us"));
        QCOMPARE(shown(), QStringList{"1.2"});
        key(Qt::Key_Escape);
        QVERIFY(!find.isOpen());
        QCOMPARE(form_->frameGeometry(), shownAt);
        QVERIFY(!form_->docking().held());
        // The board's own keys are back.
        key(Qt::Key_Down);
        QCOMPARE(QApplication::focusWidget(), form_->Edit[2]);
    }

    // A press on a result pulled past the drag distance drags that result's folder.
    void aResultStartsADragOfItsFolder() {
        qb::FindBox& find = form_->findBox();
        find.open(QStringLiteral("report"));
        auto* list = static_cast<qb::FindResultList*>(find.results());
        int dragged = -1;
        list->dragOut = [&](int row) { dragged = row; };
        const QPoint at = list->visualItemRect(list->item(1)).center();
        QTest::mousePress(list->viewport(), Qt::LeftButton, {}, at);
        for (int dx : {2, QApplication::startDragDistance() + 5})
            QTest::mouseMove(list->viewport(), at + QPoint(dx, 0));
        QTest::mouseRelease(list->viewport(), Qt::LeftButton, {}, at);
        QCOMPARE(dragged, 1);
    }

    void aDropOnAResultLandsInThatSlotOnceTheDragRested() {
        form_->Copy->setChecked(true);
        // The slot's own action, in a group the board does not show, decides.
        qb::WriteSetting(fx_->sysIni(), qb::slotActionsSection(), qb::slotKey(5, 2),
                         qb::slotActionText(qb::SlotAction::Move));
        const QString file = fx_->scratch(QStringLiteral("a.txt"));
        QFile(file).open(QIODevice::WriteOnly);
        QMimeData mime;
        DropFixture::carry(mime, {file});
        qb::FindBox& find = form_->findBox();
        find.open(QStringLiteral("inbox"));
        QCOMPARE(shown(), QStringList{"5.2"});

        QVERIFY(!onResult<QDragEnterEvent>(0, mime)); // passing by
        QVERIFY(!onResult<QDropEvent>(0, mime));
        QVERIFY(find.isOpen());
        QVERIFY(!onResult<QDragEnterEvent>(0, mime));
        QTest::qWait(qb::FindBox::kHoldMs + 200);
        QVERIFY(onResult<QDragMoveEvent>(0, mime));
        QVERIFY(onResult<QDropEvent>(0, mime));
        QTRY_COMPARE(fx_->fake.calls.size(), 1);
        QCOMPARE(fx_->fake.calls[0].dest, fx_->scratch(QStringLiteral("Inbox")));
        QCOMPARE(fx_->fake.calls[0].source, file);
        QCOMPARE(fx_->fake.calls[0].op, qb::Op::Move);
        QVERIFY(!find.isOpen());
        QTRY_VERIFY(!form_->dropController().inProgress());
    }
};

QTEST_MAIN(FindBoxTest)
#include "tst_find_box.moc"
