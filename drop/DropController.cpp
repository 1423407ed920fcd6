// The drop controller: refusals, configure mode, each item's copy or move in turn.
#include "drop/DropController.h"

#include "board/Accounts.h"
#include "board/Board.h"
#include "board/BoardView.h"
#include "board/Choices.h"
#include "board/FolderName.h"
#include "board/Folders.h"
#include "drop/DropJournal.h"
#include "drop/DroppedPaths.h"
#include "drop/Log.h"
#include "engine/Names.h"
#include "platform/Handler.h"
#include "store/Settings.h"

#include <QCoreApplication>
#include <QDropEvent>
#include <QFile>
#include <QMimeData>
#include <QScopeGuard>
#include <QTimer>

#include <algorithm>
#include <filesystem>
#include <system_error>
#include <thread>

namespace qb {
namespace {

DropFileOperation& installedOperation() {
    static DropFileOperation op;
    return op;
}

// A path the settings file can hold exactly: one whose bytes survive the way
// through text (a name in another code page does not).
bool storableAsText(const QByteArray& path) {
    return QFile::encodeName(QFile::decodeName(path)) == path;
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

// How bad an outcome is for the drop as a whole.
int severity(Outcome o) {
    return o == Outcome::Cancelled ? 2 : o == Outcome::Failed ? 1 : 0;
}

Policy checkedPolicy(const BoardView& view) {
    if (view.isChecked(Choice::Rename)) return Policy::AutoRename;
    if (view.isChecked(Choice::Replace)) return Policy::AskReplace;
    if (view.isChecked(Choice::AutoReplace)) return Policy::AutoReplace;
    // One policy is always checked; should none be, asking before replacing is the
    // choice that can lose nothing.
    return Policy::AskReplace;
}

// What the destination's file system could not keep, said once for the drop.
QString missingText(std::uint32_t missing) {
    if (!missing) return {};
    QStringList what;
    if (missing & MissingModes) what << QCoreApplication::translate("qb::DropController", "权限");
    if (missing & MissingOwners)
        what << QCoreApplication::translate("qb::DropController", "所有者");
    if (missing & MissingTimes)
        what << QCoreApplication::translate("qb::DropController", "修改时间");
    if (missing & MissingXattrs)
        what << QCoreApplication::translate("qb::DropController", "扩展属性");
    if (missing & MissingLinks) what << QCoreApplication::translate("qb::DropController", "硬链接");
    return QCoreApplication::translate("qb::DropController", "（目标位置无法保留%1，内容已完整）")
        .arg(what.join(QCoreApplication::translate("qb::DropController", "、")));
}

QString statusOf(Op op, Outcome outcome, bool destroyed, std::uint32_t missing) {
    const bool move = op == Op::Move;
    // A replacement no Trash could take is said, since the old file is gone for good.
    const QString noTrash =
        (destroyed ? QCoreApplication::translate("qb::DropController", "旧文件未能放入回收站")
                   : QString()) +
        missingText(missing);
    switch (outcome) {
    case Outcome::Done:
        return (move ? QCoreApplication::translate("qb::DropController", "状态：移动成功！")
                     : QCoreApplication::translate("qb::DropController", "状态：复制成功！")) +
               noTrash;
    case Outcome::Failed:
        return (move ? QCoreApplication::translate("qb::DropController", "状态：移动失败！")
                     : QCoreApplication::translate("qb::DropController", "状态：复制失败！")) +
               noTrash;
    case Outcome::Cancelled:
        break;
    }
    return QCoreApplication::translate("qb::DropController", "状态：操作已取消！");
}

const char* outcomeName(Outcome o) {
    return o == Outcome::Done ? "done" : o == Outcome::Failed ? "failed" : "cancelled";
}

// The action reported back to the drag source. Copy whenever the source allows
// it: the files are handled here, and a source told "move" may delete its own.
Qt::DropAction dropActionFor(const QDropEvent& event) {
    if (event.possibleActions() & Qt::CopyAction) return Qt::CopyAction;
    return event.proposedAction();
}

} // namespace

// The bytes of a job's items, counted on a thread of its own (-1 until done).
struct ByteCount {
    std::atomic<qint64> bytes{-1};
    std::atomic<bool> stop{false};
};

namespace {

std::shared_ptr<ByteCount> countBytes(std::vector<std::string> sources) {
    auto count = std::make_shared<ByteCount>();
    std::thread([count, sources = std::move(sources)] {
        namespace fs = std::filesystem;
        qint64 total = 0;
        for (const std::string& s : sources) {
            std::error_code ec;
            const fs::path p(s);
            const fs::file_status st = fs::symlink_status(p, ec);
            if (fs::is_regular_file(st)) total += static_cast<qint64>(fs::file_size(p, ec));
            if (!fs::is_directory(st)) continue;
            for (fs::recursive_directory_iterator
                     it(p, fs::directory_options::skip_permission_denied, ec),
                 end;
                 !ec && it != end && !count->stop; it.increment(ec)) {
                std::error_code e2;
                if (it->is_regular_file(e2) && !it->is_symlink(e2))
                    total += static_cast<qint64>(it->file_size(e2));
            }
        }
        count->bytes = total;
    }).detach();
    return count;
}

} // namespace

QString configureModeText(const QString& path) {
    std::error_code ec;
    const std::filesystem::path p(QFile::encodeName(path).toStdString());
    const bool found = std::filesystem::exists(std::filesystem::symlink_status(p, ec));
    if (!found || std::filesystem::is_directory(p, ec)) return path;
    const qsizetype slash = path.lastIndexOf(u'/');
    return slash < 0 ? path : path.left(slash + 1);
}

void setDropFileOperation(DropFileOperation op) {
    installedOperation() = std::move(op);
}

struct DropController::Job {
    quint64 id = 0;
    SlotDrop drop;
    SlotDropDone done;
    // A drag onto the board: each item takes the policy the board shows as it
    // starts, as a drop always did.
    bool followBoard = false;
    QString slotName;
    JobFootprint footprint;
    std::shared_ptr<JobControl> control = std::make_shared<JobControl>();
    std::shared_ptr<ByteCount> bytes;
    bool running = false;
    qsizetype next = 0;
    std::optional<DropReport> report;
    // The whole job so far: the worst outcome of its items, and whether a
    // replacement destroyed what no Trash could take.
    Outcome overall = Outcome::Done;
    bool destroyed = false;
    std::uint32_t missing = 0;    // Missing flags, warned about once for the job
    std::int64_t journalDrop = 0; // its record in the drop journal
    QString status;               // its own last status line

    ~Job() {
        if (bytes) bytes->stop = true;
    }
};

DropController::DropController(BoardView& view, Board& board)
    : view_(view), board_(board), verdicts_(view, board) {
    setDropQueue(
        this, [this] { return rows(); }, [this](quint64 id) { removeQueued(id); });
}

DropController::~DropController() {
    clearDropQueue(this);
}

void DropController::answerDrag(QDragMoveEvent* event) {
    const QList<QByteArray> items = dragLocalPaths(event->mimeData());
    if (!items.isEmpty()) dragItems_ = items;
    if (items.isEmpty()) {
        event->ignore();
        return;
    }
    event->setDropAction(dropActionFor(*event));
    event->accept();
}

void DropController::hoverDrag(QDragMoveEvent* event, QPoint globalPos, bool entering) {
    answerDrag(event);
    if (!event->isAccepted()) return;
    QWidget* under = view_.widgetAt(globalPos);
    verdicts_.hover(event, dragItems_, under ? view_.rowOf(under) : 0, !entering);
}

void DropController::takeDrop(QDropEvent* event, QPoint globalPos, const DropInto& into) {
    verdicts_.leave(true);
    QList<QByteArray> items = dragLocalPaths(event->mimeData());
    if (items.isEmpty()) items = dragItems_;
    dragItems_.clear(); // the next drag starts afresh
    if (items.isEmpty()) {
        qCInfo(lcDrop) << "drop refused: it carries no local file";
        event->ignore();
        return;
    }
    QPointer<QWidget> under = into.row ? nullptr : view_.widgetAt(globalPos);
    event->setDropAction(dropActionFor(*event));
    event->accept();

    // The items are handled once the drag source has its answer: a long copy
    // must not keep the file manager waiting for the end of the drop.
    ++pendingDrops_;
    QTimer::singleShot(0, this, [this, under, items, into] {
        --pendingDrops_;
        step(0, [&] { dispatch(under, items, into); });
    });
}

// The place and the mode as they are now decide what the drop does.
void DropController::dispatch(QPointer<QWidget> under, const QList<QByteArray>& items,
                              const DropInto& into) {
    const int row = into.row ? into.row : under ? view_.rowOf(under) : 0;
    // The drag's count ends with its drop, once the drop's own verdict has it.
    const auto stopCount = qScopeGuard([this] { verdicts_.counting().stop(); });
    // A subfolder is no slot to configure.
    if (row && view_.isChecked(Choice::Set) && !into.row) {
        qCInfo(lcDrop) << "drop of" << items.size() << "items sets slot" << row;
        configure(row, items);
    } else if (row && (view_.isChecked(Choice::Move) || view_.isChecked(Choice::Copy) ||
                       board_.slotAction(row) != SlotAction::Follow)) {
        // A drop that cannot work touches nothing: the status line says why.
        const Verdict verdict = verdicts_.dropVerdict(items, row, into.folder);
        // A missing folder fails each item, as it always has.
        if (!verdict.ok() && verdict.reason != verdict::Reason::Missing) {
            const QString why = verdictText(verdict, into.row ? into.folder : view_.pathText(row));
            qCInfo(lcDrop) << "drop refused:" << why;
            view_.setStatusText(QCoreApplication::translate("qb::DropController", "状态：") + why);
            view_.focusRowAfterDrop(row);
            return;
        }
        SlotDrop drop;
        drop.group = view_.checkedGroup();
        drop.row = row;
        drop.op = verdicts_.opFor(row);
        drop.policy = checkedPolicy(view_);
        drop.items = items;
        if (into.row) drop.destFolder = QFile::encodeName(into.folder);
        add(std::move(drop), {}, true);
    } else {
        qCInfo(lcDrop) << "drop ignored:" << (row ? "no mode is checked" : "not on a slot");
        if (under) view_.focusAfterDrop(under);
    }
}

quint64 DropController::enqueue(SlotDrop drop, SlotDropDone done) {
    return add(std::move(drop), std::move(done), false);
}

quint64 DropController::add(SlotDrop drop, SlotDropDone done, bool followBoard) {
    auto job = std::make_unique<Job>();
    job->id = ++lastId_;
    if (drop.op == Op::Move) drop.items = distinctPaths(drop.items);
    job->drop = std::move(drop);
    job->done = std::move(done);
    job->followBoard = followBoard;
    const QString folder = slotFolder(*job);
    job->slotName = folderName(folder);
    if (job->slotName.isEmpty())
        job->slotName =
            QCoreApplication::translate("qb::DropController", "文件夹 %1").arg(job->drop.row);
    job->control->name = job->slotName;
    std::vector<std::string> sources;
    for (const QByteArray& item : job->drop.items)
        sources.push_back(item.toStdString());
    job->footprint = footprintOf(job->drop.op, sources, QFile::encodeName(folder).toStdString());
    job->bytes = countBytes(sources);
    const quint64 id = job->id;
    job->control->changed = [self = QPointer<DropController>(this)] {
        if (self) self->queueChanged();
    };
    qCInfo(lcDrop) << "job" << id << "queued:" << (job->drop.op == Op::Move ? "move" : "copy")
                   << job->drop.items.size() << "items to slot" << job->drop.row << "of group"
                   << job->drop.group << folder << (job->footprint.rename ? "(renames)" : "");
    jobs_.push_back(std::move(job));
    // Started from the event loop: `done` never runs inside this call.
    QTimer::singleShot(0, this, [this] { step(0, [this] { schedule(); }); });
    queueChanged();
    return id;
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
        if (job->done) job->done(Outcome::Cancelled, status);
        queueChanged();
        QTimer::singleShot(0, this, [this] { step(0, [this] { schedule(); }); });
        return true;
    }
    return false;
}

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

// Starts the waiting jobs that may run now, one at a time: a job that ends at
// once (its slot has no folder) frees its place before the next is looked at.
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
        const std::vector<std::size_t> ready = startable(running, waiting);
        if (ready.empty()) return;
        begin(*candidates[ready.front()]);
    }
}

void DropController::begin(Job& job) {
    job.running = true;
    job.report.emplace(job.drop.op, slotFolder(job));
    beginJournalDrop(job);
    qCInfo(lcDrop) << "drop:" << (job.drop.op == Op::Move ? "move" : "copy")
                   << job.drop.items.size() << "items to slot" << job.drop.row << slotFolder(job)
                   << "(job" << job.id << "started)";
    queueChanged();
    nextItem(job);
}

// One record per drop: the account, the group and the slot it went to, as they are now.
void DropController::beginJournalDrop(Job& job) {
    history::Journal* journal = dropJournal();
    if (!journal) return;
    const QString folder = slotFolder(job);
    history::DropRecord d;
    d.account = accountState().currentAccount.toStdString();
    d.group = job.drop.group ? job.drop.group : view_.checkedGroup();
    d.slot = job.drop.row;
    d.slotName = folderName(folder).toStdString();
    d.destFolder = QFile::encodeName(folder).toStdString();
    d.op = job.drop.op;
    d.policy = policyFor(job);
    job.journalDrop = journal->beginDrop(d);
    lastJournalDrop_ = job.journalDrop;
}

// The folder given, or the slot's as it is now: the field the board shows for
// its group, the settings file's for another group.
QString DropController::slotFolder(const Job& job) const {
    if (!job.drop.destFolder.isEmpty()) return QFile::decodeName(job.drop.destFolder);
    const int shown = view_.checkedGroup();
    if (job.drop.group == 0 || job.drop.group == shown) return view_.pathText(job.drop.row);
    return ReadSetting(accountState().currentSettingsFile, foldersSection(),
                       slotKey(job.drop.group, job.drop.row), QString());
}

Policy DropController::policyFor(const Job& job) const {
    return job.followBoard ? checkedPolicy(view_) : job.drop.policy;
}

void DropController::configure(int row, const QList<QByteArray>& items) {
    // A path the settings file cannot hold exactly is refused, and nothing is written.
    for (const QByteArray& item : items) {
        if (!storableAsText(item)) {
            qCInfo(lcDrop) << "drop refused: a settings file cannot hold the path" << item;
            view_.setStatusText(
                QCoreApplication::translate("qb::DropController", "状态：路径含无法保存的字符！"));
            view_.focusRowAfterDrop(row);
            return;
        }
    }
    for (const QByteArray& item : items) {
        const QString text = configureModeText(QFile::decodeName(item));
        // Every item is saved, also one the field already shows: setting the
        // same text emits no change, so the change handling is run here.
        if (view_.pathText(row) == text)
            runHandlerShowingErrors(view_.dialogOwner(),
                                    [this, row] { board_.storeSlotPath(row); });
        else
            view_.applyPathText(row, text);
    }
    // Success only when the slot's path is stored: with no group checked nothing
    // is written, and a refused write has shown its error box.
    qCInfo(lcDrop) << "slot" << row << "path stored:" << board_.pathStored(row);
    // The disk it lies on now, so that a drop later can tell when that disk is gone.
    if (board_.pathStored(row)) {
        try {
            board_.storeSlotDisk(row, diskIdentity(view_.pathText(row)));
        } catch (const SettingsError& e) {
            qCWarning(lcDrop) << "the slot's disk is not kept:" << e.message();
        }
    }
    view_.setStatusText(
        board_.pathStored(row)
            ? QCoreApplication::translate("qb::DropController", "状态：设置目录成功！")
            : QCoreApplication::translate("qb::DropController", "状态：设置目录失败！"));
    view_.focusRowAfterDrop(row);
}

// Copies or moves the next item into the slot's folder as it is now, with the
// job's policy. A slot without an existing folder fails each item.
void DropController::nextItem(Job& job) {
    while (job.next < job.drop.items.size()) {
        const QByteArray source = job.drop.items[job.next++];
        const QString dest = slotFolder(job);
        if (!isExistingFolder(dest)) {
            qCInfo(lcDrop) << "item" << QFile::decodeName(source)
                           << "failed: the slot's path is no existing folder:" << dest;
            job.overall = Outcome::Failed;
            job.status = QCoreApplication::translate("qb::DropController", "状态：目录不存在！");
            showStatus(job.status);
            continue;
        }
        QPointer<DropController> self(this);
        const quint64 id = job.id;
        const OperationResultDone done = [self, id](const OperationResult& result) {
            if (self) self->step(id, [&] { self->itemDone(id, result); });
        };
        const DropFileOperation& installed = installedOperation();
        if (installed)
            installed(view_.dialogOwner(), job.drop.op, policyFor(job), source,
                      QFile::encodeName(dest), done);
        else
            startRecordedFileOperation(view_.dialogOwner(), job.drop.op, policyFor(job), source,
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
    qCInfo(lcDrop) << "item" << QFile::decodeName(job.drop.items[job.next - 1])
                   << outcomeName(outcome) << "with" << result.failures << "failures,"
                   << result.trashed << "replaced entries trashed," << result.destroyed
                   << "deleted";
    if (severity(outcome) > severity(job.overall)) job.overall = outcome;
    job.destroyed = job.destroyed || result.replacedWithoutTrash();
    if (result.missing & ~job.missing)
        qCWarning(lcDrop) << "the destination's file system could not keep (flags)"
                          << (result.missing & ~job.missing);
    job.missing |= result.missing;
    job.status = statusOf(job.drop.op, job.overall, job.destroyed, job.missing);
    showStatus(job.status);
    job.report->add(QFile::decodeName(job.drop.items[job.next - 1]), outcome);
    // Whoever cancels one item of a job means the whole job (and only it).
    if (outcome == Outcome::Cancelled || job.control->cancel)
        finish(job);
    else
        nextItem(job);
}

// The focus goes to the slot the drop landed on, so the row shows as current.
void DropController::finish(Job& job) {
    // A drop sent from outside leaves the focus with the window it was sent from.
    const int shown = view_.checkedGroup();
    if (job.followBoard && (job.drop.group == 0 || job.drop.group == shown))
        view_.focusRowAfterDrop(job.drop.row);
    if (job.journalDrop)
        if (history::Journal* journal = dropJournal())
            journal->endDrop(job.journalDrop, job.overall);
    qCInfo(lcDrop) << "drop" << outcomeName(job.overall) << "(job" << job.id << "ended)";
    const QString status = job.status;
    const SlotDropDone done = std::move(job.done);
    const Outcome overall = job.overall;
    std::optional<DropReport> report = std::move(job.report);
    const quint64 id = job.id;
    std::erase_if(jobs_, [id](const auto& j) { return j->id == id; });
    showStatus(status);
    queueChanged();
    if (report) reportDrop(*report);
    if (done) done(overall, status);
    // From the event loop: this may be inside schedule() itself.
    QTimer::singleShot(0, this, [this] { step(0, [this] { schedule(); }); });
}

void DropController::showStatus(const QString& text) {
    if (text.isEmpty()) return;
    noting_ = false;
    status_ = text;
    const int waiting = waitingCount();
    statusShown_ =
        waiting ? text + QCoreApplication::translate("qb::DropController", "（另有 %1 项等待）")
                             .arg(waiting)
                : text;
    view_.setStatusText(statusShown_);
}

// The jobs' windows name their job while there is more than one, and the status
// line's count of waiting jobs follows the queue (unless something else was said since).
void DropController::queueChanged() {
    const bool several = jobs_.size() > 1;
    for (const auto& job : jobs_)
        job->control->nameWindows = several;
    const bool onScreen = !statusShown_.isEmpty() && view_.statusText() == statusShown_;
    if (onScreen && !noting_) {
        showStatus(status_);
    } else if (waitingCount() > 0) {
        // Nothing said yet of the running jobs: a note that drops wait, until one ends.
        if (!onScreen) beforeNote_ = view_.statusText();
        showStatus(QCoreApplication::translate("qb::DropController", "状态：已加入队列"));
        noting_ = true;
    } else if (onScreen && noting_) {
        noting_ = false;
        status_.clear();
        statusShown_.clear();
        view_.setStatusText(beforeNote_);
    }
}

std::vector<QueueRow> DropController::rows() const {
    std::vector<QueueRow> out;
    for (int pass = 0; pass < 2; ++pass) {
        for (const auto& job : jobs_) {
            if (job->running != (pass == 0)) continue;
            QueueRow r;
            r.id = job->id;
            r.slot = job->slotName;
            r.op = job->drop.op;
            r.items = job->drop.items.size();
            r.bytes = job->bytes->bytes.load();
            r.state = !job->running                  ? QueueRow::Waiting
                      : job->control->pause.paused() ? QueueRow::Paused
                                                     : QueueRow::Running;
            out.push_back(r);
        }
    }
    return out;
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
