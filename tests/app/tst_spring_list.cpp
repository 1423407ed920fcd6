// Spring-loaded slots on the main window, offscreen: what a list shows of a
// folder, the 200 cap and the filter, a drag resting on a slot opening the list
// that keeps the board from hiding, and a drop on an entry landing in that folder.
#include "app/SpringList.h"
#include "app/Unit1.h"

#include "platform/Handler.h"
#include "tests/support/DropFixture.h"
#include "tests/support/FakeCursor.h"

#include <QApplication>
#include <QLineEdit>
#include <QListWidget>
#include <QRadioButton>
#include <QTest>

using namespace qb::test;

class SpringListTest : public QObject {
    Q_OBJECT

    // A drag carrying `mime`, resting on row r of the board.
    static void dragOver(TForm1& form, int r, const QMimeData& mime) {
        const QPoint at = form.Edit[r]->mapTo(&form, form.Edit[r]->rect().center());
        const Qt::DropActions offered = Qt::CopyAction | Qt::MoveAction;
        QDragEnterEvent enter(at, offered, &mime, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(&form, &enter);
    }
    // Sends a drag event of `type` to the list's entry `name`.
    template <class Event>
    static bool onEntry(qb::SpringList& list, const QString& name, const QMimeData& mime) {
        const auto found = list.entries()->findItems(name, Qt::MatchExactly);
        if (found.isEmpty()) return false;
        const QPoint at = list.entries()->visualItemRect(found.first()).center();
        Event event(at, Qt::CopyAction | Qt::MoveAction, &mime, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(list.entries()->viewport(), &event);
        return event.isAccepted();
    }

private slots:
    void listsOnlyTheFoldersAUserKeepsInNaturalOrder() {
        QTemporaryDir dir;
        for (const char* name : {"b", "a10", "a2", "A3", ".hidden", "lost+found", "$RECYCLE.BIN",
                                 "System Volume Information", "sub/deeper", "x1z", "x01y"})
            QDir(dir.path()).mkpath(QString::fromUtf8(name));
        QFile(dir.filePath(QStringLiteral("file.txt"))).open(QIODevice::WriteOnly);
        QFile::link(dir.filePath(QStringLiteral("b")), dir.filePath(QStringLiteral("link")));
        QCOMPARE(qb::listSubfolders(dir.path()),
                 (QStringList{"a2", "A3", "a10", "b", "link", "sub", "x01y", "x1z"}));
        QCOMPARE(qb::listSubfolders(dir.filePath(QStringLiteral("missing"))), QStringList());
    }

    void showsTheFirst200AndFiltersAllOfThem() {
        DropFixture fx;
        TForm1 form;
        qb::SpringLoader loader(form);
        qb::SpringList* list = loader.open(1, fx.folder(QStringLiteral("big")), 0, 100);
        QStringList names;
        for (int i = 1; i <= 250; ++i)
            names << QStringLiteral("d%1").arg(i, 3, 10, QLatin1Char('0'));
        list->setNames(names);
        QCOMPARE(list->shownNames(), names.mid(0, 200));
        QVERIFY(list->filterField()->isVisibleTo(list));
        list->filterField()->setText(QStringLiteral("D24"));
        QCOMPARE(list->shownNames(), (QStringList{"d240", "d241", "d242", "d243", "d244", "d245",
                                                  "d246", "d247", "d248", "d249"}));
        list->filterField()->setText(QStringLiteral("zz"));
        QCOMPARE(list->shownNames(), QStringList());

        list->setNames(names.mid(0, 200));
        QVERIFY(!list->filterField()->isVisibleTo(list));
        loader.closeAll();
        QVERIFY(loader.lists().empty());
    }

    // Held on slot 3 the list opens beside the board, read off the window's
    // thread; the board does not hide meanwhile; a drop on an entry copies there,
    // a refused folder takes nothing, and leaving closes the lists.
    void aRestingDragOpensTheSlotsSubfoldersAndADropLandsThere() {
        DropFixture fx;
        TForm1 form;
        qb::runHandler(&form, [&] { form.FormCreate(); });
        form.show();
        QVERIFY(QTest::qWaitForWindowExposed(&form));
        form.Copy->setChecked(true);
        const QString slot = fx.folder(QStringLiteral("slot"));
        fx.folder(QStringLiteral("slot/Photos/2024"));
        fx.folder(QStringLiteral("slot/Music"));
        form.Edit[3]->setText(slot);
        QMimeData mime;
        DropFixture::carry(mime, {fx.scratch(QStringLiteral("a.txt"))});
        QFile(fx.scratch(QStringLiteral("a.txt"))).open(QIODevice::WriteOnly);

        qb::SpringLoader& loader = form.springLoader();
        // A drop made before the hold ran leaves nothing open behind it.
        dragOver(form, 3, mime);
        const QPoint onSlot = form.Edit[3]->mapTo(&form, form.Edit[3]->rect().center());
        QDropEvent dropped(onSlot, Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(&form, &dropped);
        QTRY_COMPARE(fx.fake.calls.size(), 1);
        QCOMPARE(fx.fake.calls[0].dest, slot);
        QTest::qWait(qb::SpringLoader::kHoldMs + 200);
        QVERIFY(loader.lists().empty());
        QTRY_VERIFY(!form.dropController().inProgress());

        dragOver(form, 3, mime);
        QTest::qWait(qb::SpringLoader::kHoldMs / 2);
        QVERIFY(loader.lists().empty()); // not yet
        QTRY_COMPARE(loader.lists().size(), size_t(1));
        qb::SpringList* list = loader.lists().front();
        QTRY_VERIFY(list->loaded());
        QCOMPARE(list->shownNames(), (QStringList{"Music", "Photos"}));
        QVERIFY(list->frameGeometry().left() > form.frameGeometry().right());
        // In hide mode, a pointer over the list, right of the board, does not hide it.
        form.RadioButton[11]->setChecked(true);
        qb::FakeCursor pointer;
        pointer.at = QPoint(list->frameGeometry().center());
        qb::setCursor(&pointer);
        const int shownLeft = form.frameGeometry().x();
        form.Timer1Timer();
        QCOMPARE(form.frameGeometry().x(), shownLeft);

        // Resting on an entry opens the next level beside the list.
        QVERIFY(onEntry<QDragEnterEvent>(*list, QStringLiteral("Photos"), mime));
        QTRY_COMPARE(loader.lists().size(), size_t(2));
        QTRY_COMPARE(loader.lists().back()->shownNames(), QStringList{"2024"});

        loader.setMayLand([](int, const QString& folder, const QMimeData*) {
            return !folder.endsWith(QLatin1String("Music"));
        });
        QVERIFY(!onEntry<QDragMoveEvent>(*list, QStringLiteral("Music"), mime));
        QVERIFY(onEntry<QDropEvent>(*list, QStringLiteral("Photos"), mime));
        QTRY_VERIFY(loader.lists().empty());
        QTRY_COMPARE(fx.fake.calls.size(), 2);
        QCOMPARE(fx.fake.calls[1].dest, slot + QStringLiteral("/Photos"));
        QCOMPARE(fx.fake.calls[1].op, qb::Op::Copy);
        QTRY_VERIFY(!form.dropController().inProgress());

        // Leaving the board with no list taking the drag closes them.
        dragOver(form, 3, mime);
        QTRY_COMPARE(loader.lists().size(), size_t(1));
        QDragLeaveEvent leave;
        QApplication::sendEvent(&form, &leave);
        QTRY_VERIFY(loader.lists().empty());
        form.Timer1Timer(); // nothing holds the board now
        QVERIFY(form.frameGeometry().right() < 0);
        qb::setCursor(nullptr);
    }
};

QTEST_MAIN(SpringListTest)
#include "tst_spring_list.moc"
