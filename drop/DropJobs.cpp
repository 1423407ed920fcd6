// The drop controller's queue: each job's count and verdict, its items one after
// another, the status line and the end of the job.
#include "drop/DropController.h"
#include "drop/DropJob.h"

#include "board/Accounts.h"
#include "board/BoardView.h"
#include "board/FolderName.h"
#include "board/Folders.h"
#include "engine/Names.h"
#include "operation/DropHistory.h"
#include "operation/Log.h"
#include "operation/OperationText.h"
#include "platform/Handler.h"

#include <QCoreApplication>
#include <QFile>
#include <QFileInfo>
#include <QTimer>

#include <algorithm>

namespace qb {
namespace {

DropFileOperation& installedOperation() {
    static DropFileOperation op;
    return op;
}

// The drop's items with repeats left out, for a move: the second of two names
// for one entry would only find it gone after the first was moved.
QList<QByteArray> distinctPaths(const QList<QByteArray>& paths) {
    std::vector<std::string> items;
    for (const QByteArray& p : paths)
        items.push_back(p.toStdString());
    QList<QByteArray> out;
    for (const std::string& item : distinctItems(items))
        out << QByteArray::fromStdString(item);
    return out;
}

const char* outcomeName(Outcome o) {
    switch (o) {
    case Outcome::Done:
        return "done";
    case Outcome::Failed:
        return "failed";
    case Outcome::Skipped:
        return "skipped";
    case Outcome::Cancelled:
        break;
    }
    return "cancelled";
}

bool sameItems(const verdict::DragCount& count, const QList<QByteArray>& items) {
    if (count.items.size() != static_cast<std::size_t>(items.size())) return false;
    for (qsizetype i = 0; i < items.size(); ++i)
        if (count.items[static_cast<std::size_t>(i)].path != items[i].toStdString()) return false;
    return true;
}

} // namespace

void setDropFileOperation(DropFileOperation op) {
    installedOperation() = std::move(op);
}

DropController::DropController(BoardView& view, Board& board)
    : view_(view), board_(board), planner_(view, board), verdicts_(view, board) {
    setDropQueue(
        this, [this] { return rows(); }, [this](quint64 id) { removeQueued(id); });
    setJournalSetAsideHook(this, [this](const QString& keptAs) {
        const QString name = QFileInfo(keptAs).fileName();
        // A drop (or a drag's verdict) would write over it at once: it goes with the
        // drop's end.
        if (inProgress() || !dragItems_.isEmpty())
            journalSetAside_ =
                QCoreApplication::translate("qb::DropController",
                                            "（操作记录已损坏，已另存为“%1”并重新开始记录）")
                    .arg(name);
        else
            view_.setStatusText(
                QCoreApplication::translate("qb::DropController",
                                            "状态：操作记录已损坏，已另存为“%1”并重新开始记录。")
                    .arg(name));
    });
}

DropController::~DropController() {
    clearDropQueue(this);
}

quint64 DropController::enqueue(const DropPlan& plan, const QList<QByteArray>& items,
                                SlotDropDone done, const verdict::DragCount& counted) {
    auto job = std::make_unique<Job>();
    job->id = ++lastId_;
    job->plan = plan;
    job->items = plan.op == Op::Move ? distinctPaths(items) : items;
    job->done = std::move(done);
    job->slotName = folderName(plan.destFolder);
    if (job->slotName.isEmpty())
        job->slotName =
            QCoreApplication::translate("qb::DropController", "文件夹 %1").arg(plan.row);
    job->control->name = job->slotName;
    job->control->verify = plan.verify;
    std::vector<std::string> sources;
    for (const QByteArray& item : job->items)
        sources.push_back(item.toStdString());
    job->footprint =
        footprintOf(plan.op, sources, QFile::encodeName(plan.destFolder).toStdString());
    const quint64 id = job->id;
    // A job starts once its items are counted: the verdict then knows their size.
    if (counted.finished() && sameItems(counted, job->items)) {
        job->known = counted;
    } else {
        job->counting = std::make_unique<DragCounting>();
        job->counting->counted = [this, id] {
            const Job* j = find(id);
            if (j && j->counted()) step(0, [this] { schedule(); });
            queueChanged();
        };
        job->counting->start(job->items);
    }
    job->control->changed = [self = QPointer<DropController>(this)] {
        if (self) self->queueChanged();
    };
    qCInfo(lcDrop) << "job" << id << "queued:" << (plan.op == Op::Move ? "move" : "copy")
                   << job->items.size() << "items to slot" << plan.row << "of group" << plan.group
                   << plan.destFolder << (job->footprint.rename ? "(renames)" : "");
    jobs_.push_back(std::move(job));
    // Started from the event loop: `done` never runs inside this call.
    QTimer::singleShot(0, this, [this] { step(0, [this] { schedule(); }); });
    queueChanged();
    return id;
}

void DropController::cancelAll() {
    std::vector<quint64> waiting;
    for (const auto& job : jobs_)
        if (!job->running) waiting.push_back(job->id);
    for (const quint64 id : waiting)
        removeQueued(id);
    for (const auto& job : jobs_) {
        job->control->cancel = true;
        job->control->pause.wake();
    }
    cancelAllOperations();
}

bool DropController::removeQueued(quint64 id) {
    for (auto it = jobs_.begin(); it != jobs_.end(); ++it) {
        if ((*it)->id != id || (*it)->running) continue;
        std::unique_ptr<Job> job = std::move(*it);
        jobs_.erase(it);
        qCInfo(lcDrop) << "job" << id << "removed from the queue";
        const QString status =
            QCoreApplication::translate("qb::DropController", "状态：已移出队列，文件未动。");
        showStatus(status);
        DropReport report(job->plan.op, job->plan.destFolder);
        report.cancelled = true;
        if (job->done) job->done(report, status);
        queueChanged();
        QTimer::singleShot(0, this, [this] { step(0, [this] { schedule(); }); });
        return true;
    }
    return false;
}

// Starts the waiting jobs that may run now, one at a time: a job that ends at
// once (refused) frees its place before the next is looked at. A job still
// being counted keeps its place; those behind it that may run beside it start.
void DropController::schedule() {
    for (;;) {
        std::vector<JobFootprint> running, waiting;
        std::vector<Job*> candidates;
        for (const auto& job : jobs_) {
            if (job->running) {
                running.push_back(job->footprint);
            } else {
                waiting.push_back(job->footprint);
                candidates.push_back(job.get());
            }
        }
        Job* next = nullptr;
        for (const std::size_t i : startable(running, waiting)) {
            if (!candidates[i]->counted()) continue;
            next = candidates[i];
            break;
        }
        if (!next) return;
        begin(*next);
    }
}

void DropController::begin(Job& job) {
    job.running = true;
    // Judged again as it starts: the drive may be gone, the disk full since.
    planner_.judge(job.plan, job.count());
    job.report.emplace(job.plan.op, job.plan.destFolder);
    if (job.plan.refused()) {
        qCInfo(lcDrop) << "job" << job.id << "refused as it starts:" << job.plan.reason;
        job.report->refusal = job.plan.reason;
        job.status = job.plan.refusal;
        return finish(job);
    }
    // Once the note of waiting jobs goes, the line says what runs, not what ran.
    if (noting_ || waitingCount() > 0) status_ = runningStatusText(job.plan.op);
    beginJournalDrop(job);
    qCInfo(lcDrop) << "drop:" << (job.plan.op == Op::Move ? "move" : "copy") << job.items.size()
                   << "items to slot" << job.plan.row << job.plan.destFolder << "(job" << job.id
                   << "started)";
    queueChanged();
    nextItem(job);
}

// One record per drop: the account, the group and the slot it went to, as they are now.
void DropController::beginJournalDrop(Job& job) {
    history::Journal* journal = dropJournal();
    if (!journal) return;
    const QString folder = planner_.folderNow(job.plan);
    history::DropRecord d;
    d.account = accountState().currentAccount.toStdString();
    d.group = job.plan.group;
    d.slot = job.plan.row;
    d.slotName = folderName(folder).toStdString();
    d.destFolder = QFile::encodeName(folder).toStdString();
    d.op = job.plan.op;
    d.policy = planner_.policyNow(job.plan);
    job.journalDrop = journal->beginDrop(d);
    lastJournalDrop_ = job.journalDrop;
    if (job.journalDrop) return;
    // No undo can take it back, nor any drop before it: that would pass it by.
    job.unrecorded = true;
    const auto newest = journal->drops({}, 1);
    unrecordedAfter_ = newest.empty() ? 0 : newest.front().id;
    qCWarning(lcDrop) << "job" << job.id << "is not recorded in the drop journal: no undo for it";
}

// Copies or moves the next item into the slot's folder as it is now, with the
// job's policy. A slot without an existing folder fails each item.
void DropController::nextItem(Job& job) {
    while (job.next < job.items.size()) {
        const QByteArray source = job.items[job.next++];
        const QString dest = planner_.folderNow(job.plan);
        if (!isExistingFolder(dest)) {
            qCInfo(lcDrop) << "item" << QFile::decodeName(source)
                           << "failed: the slot's path is no existing folder:" << dest;
            job.status = QCoreApplication::translate("qb::DropController", "状态：目录不存在！");
            job.report->add(QFile::decodeName(source), Outcome::Failed, job.status);
            showStatus(job.status);
            continue;
        }
        QPointer<DropController> self(this);
        const quint64 id = job.id;
        const OperationResultDone done = [self, id](const OperationResult& result) {
            if (self) self->step(id, [&] { self->itemDone(id, result); });
        };
        const Policy policy = planner_.policyNow(job.plan);
        const DropFileOperation& installed = installedOperation();
        if (installed)
            installed(view_.dialogOwner(), job.plan.op, policy, source, QFile::encodeName(dest),
                      done);
        else
            startRecordedFileOperation(view_.dialogOwner(), job.plan.op, policy, source,
                                       QFile::encodeName(dest), job.journalDrop, done, job.control);
        return;
    }
    finish(job);
}

// The status line tells the truth about the whole job so far: success only when
// every item was done as the user chose.
void DropController::itemDone(quint64 id, const OperationResult& result) {
    Job* found = find(id);
    if (!found) return;
    Job& job = *found;
    const Outcome outcome = result.outcome;
    const QString item = QFile::decodeName(job.items[job.next - 1]);
    qCInfo(lcDrop) << "item" << item << outcomeName(outcome) << "with" << result.failures
                   << "failures," << result.skipped << "declined," << result.trashed
                   << "replaced entries trashed," << result.destroyed << "deleted";
    job.destroyed = job.destroyed || result.replacedWithoutTrash();
    if (result.missing & ~job.missing)
        qCWarning(lcDrop) << "the destination's file system could not keep (flags)"
                          << (result.missing & ~job.missing);
    job.missing |= result.missing;
    job.report->verified += result.verified;
    job.report->add(item, outcome,
                    result.firstError ? operationErrorText(job.plan.op, *result.firstError)
                                      : QString());
    job.status = dropStatusText(job.plan.op, job.overall(), job.destroyed, job.missing);
    showStatus(job.status);
    // Whoever cancels one item of a job means the whole job (and only it).
    if (outcome == Outcome::Cancelled || job.control->cancel)
        finish(job);
    else
        nextItem(job);
}

// The focus goes to the slot the drop landed on, so the row shows as current.
void DropController::finish(Job& job) {
    // A drop sent from outside leaves the focus with the window it was sent from.
    if (job.plan.followsBoard() && job.plan.group == view_.checkedGroup())
        view_.focusRowAfterDrop(job.plan.row);
    if (job.journalDrop)
        if (history::Journal* journal = dropJournal())
            journal->endDrop(job.journalDrop, job.overall());
    qCInfo(lcDrop) << "drop" << (job.plan.refused() ? "refused" : outcomeName(job.overall()))
                   << "(job" << job.id << "ended)";
    QString status = job.status;
    if (job.unrecorded)
        status += QCoreApplication::translate("qb::DropController", "（未记录：无法撤销）");
    if (!journalSetAside_.isEmpty()) status += std::exchange(journalSetAside_, QString());
    const SlotDropDone done = std::move(job.done);
    DropReport report = *job.report;
    report.unrecorded = job.unrecorded;
    const quint64 id = job.id;
    std::erase_if(jobs_, [id](const auto& j) { return j->id == id; });
    showStatus(status);
    queueChanged();
    if (report.refusal.isEmpty()) reportDrop(report);
    if (done) done(report, status);
    // From the event loop: this may be inside schedule() itself.
    QTimer::singleShot(0, this, [this] { step(0, [this] { schedule(); }); });
}

void DropController::step(quint64 id, const std::function<void()>& body) {
    runHandler(view_.dialogOwner(), [this, id, &body] {
        try {
            body();
        } catch (...) {
            // A job whose step failed ends; the queue goes on without it.
            if (id) std::erase_if(jobs_, [id](const auto& j) { return j->id == id; });
            queueChanged();
            QTimer::singleShot(0, this, [this] { step(0, [this] { schedule(); }); });
            throw;
        }
    });
}

} // namespace qb
