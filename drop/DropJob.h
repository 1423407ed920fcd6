// One queued drop as the controller keeps it: its plan, its items, their count
// and what it came to so far. The controller's own files share it.
#pragma once
#include "drop/DropController.h"

#include <memory>
#include <optional>

namespace qb {

struct DropController::Job {
    quint64 id = 0;
    DropPlan plan;
    QList<QByteArray> items;
    SlotDropDone done;
    QString slotName;
    JobFootprint footprint;
    std::shared_ptr<JobControl> control = std::make_shared<JobControl>();
    // What is known of the items: a finished count handed in, or one of its own.
    verdict::DragCount known;
    std::unique_ptr<DragCounting> counting;
    bool running = false;
    qsizetype next = 0;
    std::optional<DropReport> report;
    // A replacement destroyed what no Trash could take.
    bool destroyed = false;
    std::uint32_t missing = 0;    // Missing flags, warned about once for the job
    std::int64_t journalDrop = 0; // its record in the drop journal
    bool unrecorded = false;      // the journal is open but took no record of it
    QString status;               // its own last status line

    verdict::DragCount count() const { return counting ? counting->snapshot() : known; }
    bool counted() const { return count().finished(); }
    Outcome overall() const { return report ? report->overall() : Outcome::Done; }
};

} // namespace qb
