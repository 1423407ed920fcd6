// The drop queue as the window shows it: the status line while jobs wait, and
// the rows of the progress windows.
#include "drop/DropController.h"
#include "drop/DropJob.h"

#include "board/BoardView.h"

#include <QCoreApplication>

#include <algorithm>

namespace qb {

// A job about to start while nothing runs does not wait.
int DropController::waitingCount() const {
    if (std::none_of(jobs_.begin(), jobs_.end(), [](const auto& j) { return j->running; }))
        return 0;
    return static_cast<int>(
        std::count_if(jobs_.begin(), jobs_.end(), [](const auto& j) { return !j->running; }));
}

DropController::Job* DropController::find(quint64 id) const {
    for (const auto& job : jobs_)
        if (job->id == id) return job.get();
    return nullptr;
}

// While jobs wait, the status line says what runs; a job's own words come as its
// items end, and the last job's stay.
void DropController::showStatus(const QString& text) {
    if (!text.isEmpty()) status_ = text;
    QString shown = status_;
    const int waiting = waitingCount();
    noting_ = waiting > 0;
    if (noting_) {
        const auto run =
            std::find_if(jobs_.begin(), jobs_.end(), [](const auto& j) { return j->running; });
        shown =
            runningStatusText((*run)->plan.op) +
            QCoreApplication::translate("qb::DropController", "（另有 %1 项等待）").arg(waiting);
    }
    if (shown.isEmpty()) return;
    statusShown_ = shown;
    view_.setStatusText(shown);
}

// The jobs' windows name their job while there is more than one, and the status
// line's note of waiting jobs follows the queue.
void DropController::queueChanged() {
    const bool several = jobs_.size() > 1;
    for (const auto& job : jobs_)
        job->control->nameWindows = several;
    const bool noteShown = noting_ && view_.statusText() == statusShown_;
    if (waitingCount() > 0 || noteShown) showStatus({});
}

std::vector<QueueRow> DropController::rows() const {
    std::vector<QueueRow> out;
    for (int pass = 0; pass < 2; ++pass) {
        for (const auto& job : jobs_) {
            if (job->running != (pass == 0)) continue;
            QueueRow r;
            r.id = job->id;
            r.slot = job->slotName;
            r.op = job->plan.op;
            r.items = job->items.size();
            const verdict::DragCount count = job->count();
            r.bytes = count.finished() ? static_cast<qint64>(count.bytes()) : -1;
            r.state = !job->running                  ? QueueRow::Waiting
                      : job->control->pause.paused() ? QueueRow::Paused
                                                     : QueueRow::Running;
            out.push_back(r);
        }
    }
    return out;
}

} // namespace qb
