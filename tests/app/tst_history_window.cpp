// The history window over a journal written through the journal's own calls, on
// the offscreen platform: the listing read a page at a time, the filter, a drop
// opening to its items, which drops the undo button takes, and an undo from it.
#include "app/HistoryWindow.h"
#include "drop/UndoController.h"
#include "history/Recorder.h"
#include "operation/FileOperation.h"
#include "tests/support/FakeBoardView.h"
#include "tests/support/FakeDialogs.h"
#include "tests/support/FakePrompts.h"
#include "tests/support/Locale.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QLineEdit>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>
#include <QTreeView>

namespace qb {
namespace {

using history::DropRecord;
using history::ItemRecord;

QByteArray readAll(const QString& path) {
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("<missing>");
}

} // namespace

class TestHistoryWindow : public QObject {
    Q_OBJECT

    QTemporaryDir tmp;
    std::unique_ptr<history::Journal> journal;
    test::FakeBoardView view;
    std::unique_ptr<UndoController> undo;
    FakeDialogs boxes;
    test::FakePrompts prompts;     // yes to the undo; clashes are the boxes' to answer
    std::vector<std::int64_t> ids; // oldest first

    // A finished drop of `names` from /src into `slot`'s folder, recorded as drops are.
    std::int64_t record(const QString& slot, const QStringList& names, Op op) {
        DropRecord d;
        d.timeMs = QDateTime::currentMSecsSinceEpoch() - 86'400'000 +
                   static_cast<std::int64_t>(ids.size()) * 60'000;
        d.slotName = slot.toStdString();
        d.destFolder = "/data/" + d.slotName;
        d.op = op;
        d.itemCount = static_cast<int>(names.size());
        const std::int64_t id = journal->beginDrop(d);
        for (const QString& name : names) {
            ItemRecord item;
            item.dropId = id;
            item.source = "/src/" + name.toStdString();
            item.dest = d.destFolder + "/" + name.toStdString();
            const std::int64_t row = journal->beginItem(item, false);
            journal->finishItem(row, history::ItemState::Done, history::ItemKind::File, {});
        }
        journal->endDrop(id, Outcome::Done);
        ids.push_back(id);
        return id;
    }

    QModelIndex rowOf(const HistoryModel& model, std::int64_t id) {
        for (int row = 0; row < model.rowCount(); ++row)
            if (model.dropAt(model.index(row, 0))->id == id) return model.index(row, 0);
        return {};
    }

private slots:
    void initTestCase() {
        std::string err;
        journal = history::Journal::open(tmp.path().toStdString(), err);
        QVERIFY2(journal, err.c_str());
        view.checked.insert(Choice::Rename);
        undo = std::make_unique<UndoController>(view, nullptr, [this] { return journal.get(); });
        setDialogs(&boxes);
        setOperationPrompts(&prompts);
        // More drops than one page holds.
        for (int i = 0; i < 250; ++i)
            record(QStringLiteral("槽%1").arg(i % 7),
                   {QStringLiteral("photo-%1.jpg").arg(i), QStringLiteral("note-%1.txt").arg(i)},
                   i % 2 ? Op::Move : Op::Copy);
    }
    void cleanup() { test::useLocale(); }
    void cleanupTestCase() {
        setDialogs(nullptr);
        setOperationPrompts(nullptr);
    }

    // Newest first, read a page at a time as the view asks, every drop once.
    void listsNewestFirstAPageAtATime() {
        HistoryWindow w(*undo);
        w.show();
        HistoryModel& model = *w.model();
        QCOMPARE(model.rowCount(), HistoryModel::kPage);
        QCOMPARE(model.dropAt(model.index(0, 0))->id, ids.back());
        QCOMPARE(model.data(model.index(0, HistoryModel::Place)).toString(),
                 QStringLiteral("槽4 — /data/槽4"));
        QCOMPARE(model.data(model.index(0, HistoryModel::Operation)).toString(),
                 QStringLiteral("移动"));
        QCOMPARE(model.data(model.index(0, HistoryModel::Count)).toInt(), 2);
        QCOMPARE(model.data(model.index(0, HistoryModel::Result)).toString(),
                 QStringLiteral("完成"));
        while (model.canFetchMore({}))
            model.fetchMore({});
        QCOMPARE(model.rowCount(), 250);
        QCOMPARE(model.dropAt(model.index(249, 0))->id, ids.front());
    }

    // The filter looks through item names; what it leaves is what matches.
    void filterOverNames() {
        HistoryWindow w(*undo);
        w.show();
        w.filter()->setText(QStringLiteral("photo-17"));
        // photo-17 and photo-170 .. photo-179.
        QTRY_COMPARE(w.model()->rowCount(), 11);
        QCOMPARE(w.model()->dropAt(w.model()->index(0, 0))->id, ids[179]);
        w.filter()->setText(QStringLiteral("/data/槽3"));
        QTRY_VERIFY(w.model()->rowCount() > 0 && w.model()->rowCount() < 100);
        w.filter()->clear();
        QTRY_VERIFY(w.model()->rowCount() >= HistoryModel::kPage);
        QCOMPARE(w.model()->dropAt(w.model()->index(0, 0))->id, ids.back());
    }

    // A drop opens to its items, read when opened; an item row belongs to its drop.
    void opensToItems() {
        HistoryWindow w(*undo);
        w.show();
        HistoryModel& model = *w.model();
        const QModelIndex top = model.index(3, 0);
        QVERIFY(model.hasChildren(top));
        QCOMPARE(model.rowCount(top), 0);
        w.tree()->expand(top);
        QTRY_COMPARE(model.rowCount(top), 2);
        const QModelIndex item = model.index(1, HistoryModel::Place, top);
        QCOMPARE(item.data().toString(),
                 QStringLiteral("/src/note-246.txt → /data/槽1/note-246.txt"));
        QCOMPARE(model.index(0, 0, top).data().toString(), QStringLiteral("photo-246.jpg"));
        QCOMPARE(model.dropAt(item)->id, model.dropAt(top)->id);
    }

    // Undo takes finished drops not undone yet; an item row answers for its drop.
    void undoButtonFollowsTheChosenDrop() {
        DropRecord running;
        running.slotName = "运行中";
        running.itemCount = 1;
        const std::int64_t unfinished = journal->beginDrop(running);
        const std::int64_t undone = record(QStringLiteral("已撤销"), {"x"}, Op::Copy);
        journal->setUndone(undone, ids[10]);
        const std::int64_t plain = record(QStringLiteral("普通"), {"y"}, Op::Copy);

        HistoryWindow w(*undo);
        w.show();
        QVERIFY(!w.undoButton()->isEnabled());
        QVERIFY(!w.openDestButton()->isEnabled());
        w.tree()->setCurrentIndex(rowOf(*w.model(), plain));
        QVERIFY(w.undoButton()->isEnabled());
        QVERIFY(w.openDestButton()->isEnabled());
        w.tree()->setCurrentIndex(rowOf(*w.model(), undone));
        QVERIFY(!w.undoButton()->isEnabled());
        QCOMPARE(rowOf(*w.model(), undone).siblingAtColumn(HistoryModel::Result).data().toString(),
                 QStringLiteral("完成，已撤销"));
        w.tree()->setCurrentIndex(rowOf(*w.model(), unfinished));
        QVERIFY(!w.undoButton()->isEnabled());
        const QModelIndex top = rowOf(*w.model(), plain);
        w.tree()->expand(top);
        QTRY_COMPARE(w.model()->rowCount(top), 1);
        w.tree()->setCurrentIndex(w.model()->index(0, 1, top));
        QVERIFY(w.undoButton()->isEnabled());
        journal->endDrop(unfinished, Outcome::Cancelled);
    }

    // In English the window, the tray's entry and the question speak English,
    // one item as one.
    void speaksEnglish() {
        test::useLocale(QStringLiteral("en_US"));
        HistoryWindow w(*undo);
        w.show();
        QCOMPARE(w.windowTitle(), QStringLiteral("History"));
        for (int c = 0; c < HistoryModel::Columns; ++c)
            QVERIFY(!test::hasChinese(w.model()->headerData(c, Qt::Horizontal).toString()));
        QVERIFY(QStringList({"Move", "Copy"})
                    .contains(w.model()->index(0, HistoryModel::Operation).data().toString()));
        DropRecord d;
        d.slotName = "照片";
        d.op = Op::Move;
        d.itemCount = 3;
        QCOMPARE(undoEntryText(d), QStringLiteral("Undo: 3 items moved to 照片"));
        d.itemCount = 1;
        d.op = Op::Copy;
        QCOMPARE(undoEntryText(d), QStringLiteral("Undo: 1 item copied to 照片"));
        history::UndoPlan plan;
        plan.drop = d;
        plan.toTrash = 1;
        plan.firstNames = {"/data/照片/a.txt"};
        QVERIFY2(!test::hasChinese(undoPlanText(plan).remove(QStringLiteral("照片"))),
                 qPrintable(undoPlanText(plan)));
    }

    // A real move taken back from the window: the file is home again, and the
    // window lists the undo above the drop it undid.
    void undoFromTheWindow() {
        const QString src = tmp.filePath(QStringLiteral("src")),
                      dest = tmp.filePath(QStringLiteral("dest"));
        QVERIFY(QDir().mkpath(src) && QDir().mkpath(dest));
        {
            QFile f(src + QStringLiteral("/报告.txt"));
            QVERIFY(f.open(QIODevice::WriteOnly) && f.write("report") == 6);
        }
        DropRecord d;
        d.slotName = "错的";
        d.destFolder = QFile::encodeName(dest).toStdString();
        d.op = Op::Move;
        d.itemCount = 1;
        const std::int64_t id = journal->beginDrop(d);
        struct Quiet final : OperationObserver {
            ReplaceAnswer askReplace(const ItemInfo&, const ItemInfo&) override {
                return ReplaceAnswer::Cancel;
            }
            ReplaceAnswer askMerge(const ItemInfo&, const ItemInfo&) override {
                return ReplaceAnswer::Cancel;
            }
            ErrorAnswer error(const OpError&) override { return ErrorAnswer::Cancel; }
        } quiet;
        const std::atomic<bool> cancel{false};
        QCOMPARE(
            history::runRecorded(journal.get(), id, Op::Move, Policy::AutoRename,
                                 QFile::encodeName(src + QStringLiteral("/报告.txt")).toStdString(),
                                 d.destFolder, quiet, cancel)
                .outcome,
            Outcome::Done);
        journal->endDrop(id, Outcome::Done);
        QVERIFY(!QFile::exists(src + QStringLiteral("/报告.txt")));

        HistoryWindow w(*undo);
        w.show();
        w.tree()->setCurrentIndex(rowOf(*w.model(), id));
        QVERIFY(w.undoButton()->isEnabled());
        QTest::mouseClick(w.undoButton(), Qt::LeftButton);
        QTRY_COMPARE(readAll(src + QStringLiteral("/报告.txt")), QByteArray("report"));
        QVERIFY(!QFile::exists(dest + QStringLiteral("/报告.txt")));
        QVERIFY2(prompts.undos.last().contains(QStringLiteral("报告.txt")),
                 qPrintable(prompts.undos.last()));
        QTRY_COMPARE(view.status, QStringLiteral("状态：撤销成功！"));
        // The window read the journal again: the undo on top, the drop marked.
        QTRY_VERIFY(w.model()->rowCount() > 0 &&
                    w.model()->dropAt(w.model()->index(0, 0))->undoOf == id);
        QCOMPARE(w.model()->index(0, HistoryModel::Operation).data().toString(),
                 QStringLiteral("撤销"));
        QVERIFY(rowOf(*w.model(), id)
                    .siblingAtColumn(HistoryModel::Result)
                    .data()
                    .toString()
                    .contains(QStringLiteral("已撤销")));
        QCOMPARE(boxes.shown(), 0);
    }
};

} // namespace qb

QTEST_MAIN(qb::TestHistoryWindow)
#include "tst_history_window.moc"
