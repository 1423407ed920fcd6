// How long the history window takes to open over a full journal: the journal is
// filled with as many drops as it keeps (three items each), then the window is
// made, shown and painted, and the time until then is printed (median of the runs).
//   quillbeck-bench-history [runs]     default 7; runs on any Qt platform (offscreen too)
#include "app/HistoryWindow.h"
#include "board/BoardView.h"
#include "drop/UndoController.h"

#include <QApplication>
#include <QDateTime>
#include <QElapsedTimer>
#include <QTemporaryDir>

#include <algorithm>
#include <cstdio>
#include <vector>

using namespace qb;

namespace {

constexpr int kDrops = 10000;

// The board as far as the window's undo needs it: nothing is undone here.
class NoBoard final : public BoardView {
public:
    QString pathText(int) const override { return {}; }
    void applyPathText(int, const QString&) override {}
    void setNameText(int, const QString&) override {}
    void setRowHighlighted(int, bool) override {}
    bool isChecked(Choice) const override { return false; }
    void applyChoice(Choice) override {}
    void uncheck(Choice) override {}
    int checkedGroup() const override { return 1; }
    void applyGroup(int) override {}
    void uncheckGroups() override {}
    QString groupCaption(int) const override { return {}; }
    void setGroupCaption(int, const QString&) override {}
    void setAccountLabel(const QString&) override {}
    QString statusText() const override { return {}; }
    void setStatusText(const QString&) override {}
    void centre() override {}
    QWidget* dialogOwner() override { return nullptr; }
    QWidget* widgetAt(QPoint) override { return nullptr; }
    int rowOf(const QWidget*) const override { return 0; }
    void focusRowAfterDrop(int) override {}
    void focusAfterDrop(QWidget*) override {}
};

void fill(history::Journal& journal) {
    const std::int64_t start = QDateTime::currentMSecsSinceEpoch() - std::int64_t{kDrops} * 1000;
    for (int i = 0; i < kDrops; ++i) {
        history::DropRecord d;
        d.timeMs = start + std::int64_t{i} * 1000;
        d.slotName = "项目 " + std::to_string(i % 20);
        d.destFolder = "/home/用户/资料/项目 " + std::to_string(i % 20);
        d.op = i % 2 ? Op::Move : Op::Copy;
        d.itemCount = 3;
        const std::int64_t id = journal.beginDrop(d);
        for (int k = 0; k < 3; ++k) {
            history::ItemRecord item;
            item.dropId = id;
            item.source = "/home/用户/下载/文件 " + std::to_string(i) + "-" + std::to_string(k);
            item.dest = d.destFolder + "/文件 " + std::to_string(i) + "-" + std::to_string(k);
            journal.finishItem(journal.beginItem(item, false), history::ItemState::Done,
                               history::ItemKind::File, {});
        }
        journal.endDrop(id, Outcome::Done);
    }
    journal.flush();
}

} // namespace

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    const int runs = argc > 1 ? std::max(1, std::atoi(argv[1])) : 7;
    QTemporaryDir dir;
    std::string error;
    auto journal = history::Journal::open(dir.path().toStdString(), error);
    if (!journal) {
        std::fprintf(stderr, "no journal: %s\n", error.c_str());
        return 1;
    }
    QElapsedTimer fillClock;
    fillClock.start();
    fill(*journal);
    std::printf("journal: %d drops of 3 items recorded in %.1f s\n", kDrops,
                static_cast<double>(fillClock.elapsed()) / 1000.0);

    NoBoard board;
    UndoController undo(board, nullptr, [&] { return journal.get(); });
    std::vector<double> ms;
    for (int run = 0; run < runs; ++run) {
        QElapsedTimer clock;
        clock.start();
        HistoryWindow window(undo);
        window.show();
        window.repaint();
        QCoreApplication::processEvents();
        ms.push_back(static_cast<double>(clock.nsecsElapsed()) / 1e6);
        if (window.model()->rowCount() < HistoryModel::kPage) {
            std::fprintf(stderr, "the window lists only %d drops\n", window.model()->rowCount());
            return 1;
        }
    }
    std::sort(ms.begin(), ms.end());
    std::printf("history window open, shown and painted over %d drops: median %.1f ms, "
                "worst %.1f ms (%d runs; limit 100 ms)\n",
                kDrops, ms[ms.size() / 2], ms.back(), runs);
    return ms[ms.size() / 2] < 100.0 ? 0 : 2;
}
