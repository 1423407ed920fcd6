// Undoing a recorded drop: the texts the user reads, and the run on the worker.
#include "drop/UndoController.h"

#include "board/BoardView.h"
#include "drop/DropController.h"
#include "drop/DropPlan.h"
#include "operation/FileOperation.h"
#include "operation/Log.h"
#include "platform/Dialogs.h"
#include "platform/Handler.h"

#include <QCoreApplication>
#include <QFile>
#include <QPointer>

#include <map>

namespace qb {

namespace {

// Names listed in a question or an account; the rest are counted.
constexpr std::size_t kNamesShown = 5;

// The first few names, one a line, indented; "…" when there are more.
QString nameLines(const std::vector<std::string>& paths) {
    QString out;
    for (std::size_t i = 0; i < paths.size() && i < kNamesShown; ++i)
        out += QStringLiteral("\n    ") + pathName(paths[i]);
    if (paths.size() > kNamesShown) out += QStringLiteral("\n    …");
    return out;
}

int count(std::size_t n) {
    return static_cast<int>(std::min<std::size_t>(n, 1u << 30));
}

// Why unchanged items stay where they are, one heading a reason.
QString refusalHeading(history::Refusal why, int n) {
    switch (why) {
    case history::Refusal::DriveGone:
        return QCoreApplication::translate("qb::UndoController",
                                           "%n 项的源磁盘未连接，保持不动（连接后可再次撤销）：",
                                           nullptr, n);
    case history::Refusal::Unsafe:
        return QCoreApplication::translate(
            "qb::UndoController", "%n 项原来所在的文件夹其他用户也能更改，保持不动：", nullptr, n);
    case history::Refusal::TrashChanged:
        return QCoreApplication::translate(
            "qb::UndoController",
            "%n 项被替换的文件在回收站中已不是当初放入的那个（或回收站不属于你），保持不动：",
            nullptr, n);
    case history::Refusal::Unchecked:
        return QCoreApplication::translate("qb::UndoController",
                                           "%n 项由旧版本记录，无法核对此后是否有改动，保持不动：",
                                           nullptr, n);
    case history::Refusal::ReadOnly:
        return QCoreApplication::translate("qb::UndoController",
                                           "%n 项所在的位置只读或不可更改，保持不动：", nullptr, n);
    case history::Refusal::NotTheFolder:
    case history::Refusal::None:
        break;
    }
    return QCoreApplication::translate(
        "qb::UndoController", "%n 项原来所在的文件夹已被替换或不属于你，保持不动：", nullptr, n);
}

QString refusalLines(const std::vector<history::Refused>& refused) {
    std::map<history::Refusal, std::vector<std::string>> byWhy;
    for (const history::Refused& r : refused)
        byWhy[r.why].push_back(r.path);
    QString out;
    for (const auto& [why, paths] : byWhy)
        out += QStringLiteral("\n\n") + refusalHeading(why, count(paths.size())) + nameLines(paths);
    return out;
}

// Entries of copied folders added or changed since the copy: never sent to the Trash.
QString keptLines(const std::vector<std::string>& kept, bool done) {
    if (kept.empty()) return {};
    return QStringLiteral("\n\n") +
           (done ? QCoreApplication::translate(
                       "qb::UndoController",
                       "%n 项是复制出的文件夹中此后新增或更改的，已保留在原处：", nullptr,
                       count(kept.size()))
                 : QCoreApplication::translate(
                       "qb::UndoController",
                       "%n 项是复制出的文件夹中此后新增或更改的，将保留在原处：", nullptr,
                       count(kept.size()))) +
           nameLines(kept);
}

// The engine's progress and questions, as the undo reports and asks them.
class UndoProgress final : public history::UndoObserver {
public:
    UndoProgress(OperationObserver& observer, const ClashQuestion& ask, int total)
        : observer_(observer), ask_(ask), total_(static_cast<std::uint64_t>(total)) {}
    void progress(const std::string& path) override {
        Progress p;
        p.item = pathName(path).toStdString();
        p.current = path;
        p.filesDone = done_++;
        p.filesTotal = total_;
        observer_.progress(p);
    }
    history::ClashAnswer askClash(const std::string& taken, const std::string& item,
                                  bool canTrash) override {
        return ask_(taken, item, canTrash);
    }

private:
    OperationObserver& observer_;
    const ClashQuestion& ask_;
    std::uint64_t total_;
    std::uint64_t done_ = 0;
};

} // namespace

QString undoEntryText(const history::DropRecord& drop) {
    if (drop.undoOf)
        return QCoreApplication::translate("qb::UndoController", "撤销：撤销操作（%n 项）", nullptr,
                                           drop.itemCount);
    return (drop.op == Op::Move
                ? QCoreApplication::translate("qb::UndoController", "撤销：%n 项已移动到 %1",
                                              nullptr, drop.itemCount)
                : QCoreApplication::translate("qb::UndoController", "撤销：%n 项已复制到 %1",
                                              nullptr, drop.itemCount))
        .arg(dropPlaceText(drop));
}

QString undoPlanText(const history::UndoPlan& plan) {
    QString text;
    if (plan.drop.undoOf)
        text = QCoreApplication::translate("qb::UndoController", "撤销上一次撤销：");
    else
        text = (plan.drop.op == Op::Move
                    ? QCoreApplication::translate("qb::UndoController",
                                                  "撤销这次移动（%n 项移到了 %1）：", nullptr,
                                                  plan.drop.itemCount)
                    : QCoreApplication::translate("qb::UndoController",
                                                  "撤销这次复制（%n 项复制到了 %1）：", nullptr,
                                                  plan.drop.itemCount))
                   .arg(dropPlaceText(plan.drop));
    if (plan.toMove)
        text += u'\n' + QCoreApplication::translate("qb::UndoController", "%n 项将移回原来的位置",
                                                    nullptr, plan.toMove);
    if (plan.toTrash)
        text += u'\n' + QCoreApplication::translate("qb::UndoController",
                                                    "%n 项复制出的副本将放入回收站", nullptr,
                                                    plan.toTrash);
    if (plan.toRestore)
        text += u'\n' + QCoreApplication::translate("qb::UndoController",
                                                    "%n 项被替换的文件将从回收站放回原处", nullptr,
                                                    plan.toRestore);
    text += nameLines(plan.firstNames);
    if (!plan.changed.empty())
        text += QStringLiteral("\n\n") +
                QCoreApplication::translate("qb::UndoController",
                                            "%n 项此后已被更改、移走或删除，将保持不动：", nullptr,
                                            count(plan.changed.size())) +
                nameLines(plan.changed);
    if (!plan.clashes.empty())
        text += QStringLiteral("\n\n") +
                QCoreApplication::translate("qb::UndoController",
                                            "%n 个原来的位置已被占用，届时将询问如何处理：",
                                            nullptr, count(plan.clashes.size())) +
                nameLines(plan.clashes);
    text += refusalLines(plan.refused) + keptLines(plan.kept, false);
    if (plan.alreadyDone)
        text +=
            QStringLiteral("\n\n") +
            QCoreApplication::translate("qb::UndoController", "%n 项已由之前未完成的撤销处理过。",
                                        nullptr, plan.alreadyDone);
    return text + QStringLiteral("\n\n") +
           QCoreApplication::translate("qb::UndoController", "是否撤销？");
}

QString undoRefusalText(const history::UndoPlan& plan) {
    if (plan.alreadyUndone)
        return QCoreApplication::translate("qb::UndoController", "这次操作已经撤销过了。");
    if (!plan.blockers.empty())
        return QCoreApplication::translate("qb::UndoController",
                                           "之后的 %n 次操作用到了这次操作的文件，请先撤销它们。",
                                           nullptr, count(plan.blockers.size()));
    if (plan.total() > 0) return {};
    if (!plan.refused.empty())
        return QCoreApplication::translate("qb::UndoController", "没有可撤销的项目。") +
               refusalLines(plan.refused) + keptLines(plan.kept, false);
    if (plan.changed.empty())
        return QCoreApplication::translate("qb::UndoController", "这次操作没有可撤销的项目。");
    return QCoreApplication::translate(
               "qb::UndoController", "没有可撤销的项目：%n 项此后已被更改、移走或删除，保持不动：",
               nullptr, count(plan.changed.size())) +
           nameLines(plan.changed);
}

QString undoResultText(const history::UndoResult& result) {
    QStringList done;
    if (result.moved)
        done << QCoreApplication::translate("qb::UndoController", "%n 项已移回原处", nullptr,
                                            result.moved);
    if (result.trashed)
        done << QCoreApplication::translate("qb::UndoController", "%n 项副本已放入回收站", nullptr,
                                            result.trashed);
    if (result.restored)
        done << QCoreApplication::translate("qb::UndoController", "%n 项被替换的文件已从回收站恢复",
                                            nullptr, result.restored);
    QString text;
    if (result.outcome == Outcome::Cancelled)
        text = QCoreApplication::translate("qb::UndoController", "撤销已取消。");
    else if (done.isEmpty())
        text = QCoreApplication::translate("qb::UndoController", "没有撤销任何项目。");
    if (!done.isEmpty())
        text += (text.isEmpty() ? QString() : QStringLiteral(" ")) +
                QCoreApplication::translate("qb::UndoController", "撤销结果：") +
                done.join(QCoreApplication::translate("qb::UndoController", "，")) +
                QCoreApplication::translate("qb::UndoController", "。");
    if (!result.leftAlone.empty())
        text += QStringLiteral("\n\n") +
                QCoreApplication::translate("qb::UndoController",
                                            "%n 项保持不动（此后已被更改、移走或删除，或已跳过）：",
                                            nullptr, count(result.leftAlone.size())) +
                nameLines(result.leftAlone);
    if (!result.failed.empty())
        text += QStringLiteral("\n\n") +
                QCoreApplication::translate("qb::UndoController", "%n 项未能撤销（详见日志）：",
                                            nullptr, count(result.failed.size())) +
                nameLines(result.failed);
    text += refusalLines(result.refused) + keptLines(result.kept, true);
    if (!result.finished && result.outcome != Outcome::Cancelled)
        text += QStringLiteral("\n\n") +
                QCoreApplication::translate("qb::UndoController",
                                            "这次操作没有全部撤销，剩下的部分之后仍可撤销。");
    return text;
}

UndoController::UndoController(BoardView& view, const DropController* drops, JournalSource journal)
    : view_(view), drops_(drops), journal_(std::move(journal)) {}

std::int64_t UndoController::lastUndoable() const {
    history::Journal* j = journal();
    const std::int64_t last = j ? j->lastUndoable() : 0;
    return lastUnrecorded(last) ? 0 : last;
}

// Whether a drop the journal missed came after `last`: "the last drop" is then that
// one, which nothing can take back.
bool UndoController::lastUnrecorded(std::int64_t last) const {
    const auto after = drops_ ? drops_->unrecordedAfter() : std::nullopt;
    return after && last <= *after;
}

bool UndoController::undo(std::int64_t dropId, QWidget* owner) {
    if (!owner) owner = view_.dialogOwner();
    if (busy_ || (drops_ && drops_->inProgress())) {
        view_.setStatusText(
            QCoreApplication::translate("qb::UndoController", "状态：请等当前操作结束后再撤销！"));
        return false;
    }
    history::Journal* j = journal();
    if (!dropId && lastUnrecorded(j ? j->lastUndoable() : 0)) {
        view_.setStatusText(QCoreApplication::translate("qb::UndoController",
                                                        "状态：最近一次操作未记录，无法撤销！"));
        return false;
    }
    if (j && !dropId) dropId = j->lastUndoable();
    if (!j || !dropId) {
        view_.setStatusText(
            QCoreApplication::translate("qb::UndoController", "状态：没有可撤销的操作！"));
        return false;
    }
    const history::UndoPlan plan = history::planUndo(*j, dropId);
    if (const QString refusal = undoRefusalText(plan); !refusal.isEmpty()) {
        qCInfo(lcDrop) << "undo of drop" << dropId << "refused:" << refusal;
        dialogs().messageBox(owner, refusal);
        return false;
    }
    // Nothing runs until the user has said yes; meanwhile no second undo starts.
    busy_ = true;
    QPointer<UndoController> self(this);
    QPointer<QWidget> where(owner);
    operationPrompts().askUndo(owner, undoPlanText(plan), [self, where, dropId](bool yes) {
        if (!self) return;
        self->busy_ = false;
        if (yes) runHandler(self->view_.dialogOwner(), [&] { self->run(dropId, where); });
    });
    return true;
}

void UndoController::run(std::int64_t dropId, QWidget* owner) {
    history::Journal* j = journal();
    if (!j || (drops_ && drops_->inProgress())) return;
    busy_ = true;
    qCInfo(lcDrop) << "undo of drop" << dropId;
    const Policy policy = checkedPolicy(view_);
    struct Account {
        history::UndoResult result;
        QString refusal;
    };
    auto out = std::make_shared<Account>();
    QPointer<UndoController> self(this);
    startUndoJob(
        owner ? owner : view_.dialogOwner(),
        [j, dropId, policy, out](OperationObserver& observer, const ClashQuestion& ask,
                                 const std::atomic<bool>& cancel) {
            // Planned again: what changed while the question was open counts.
            const history::UndoPlan plan = history::planUndo(*j, dropId);
            OperationResult r;
            out->refusal = undoRefusalText(plan);
            if (!out->refusal.isEmpty()) {
                out->result.outcome = Outcome::Failed;
                return r;
            }
            UndoProgress progress(observer, ask, plan.total());
            out->result = history::runUndo(*j, plan, policy, progress, cancel);
            r.outcome = out->result.outcome;
            r.failures = out->result.failed.size();
            return r;
        },
        [self, out](const OperationResult&) {
            if (!self) return;
            self->busy_ = false;
            runHandler(self->view_.dialogOwner(), [&] {
                if (!out->refusal.isEmpty()) {
                    dialogs().messageBox(self->view_.dialogOwner(), out->refusal);
                    return;
                }
                self->finished(out->result);
            });
        });
}

void UndoController::finished(const history::UndoResult& result) {
    const QString account = undoResultText(result);
    qCInfo(lcDrop) << "undo ended:" << account;
    for (const std::string& why : result.failed)
        qCWarning(lcDrop) << "not undone:" << pathText(why);
    const bool whole = result.leftAlone.empty() && result.failed.empty() &&
                       result.refused.empty() && result.kept.empty();
    switch (result.outcome) {
    case Outcome::Done:
        view_.setStatusText(
            whole ? QCoreApplication::translate("qb::UndoController", "状态：撤销成功！")
                  : QCoreApplication::translate("qb::UndoController", "状态：部分撤销！"));
        break;
    case Outcome::Failed:
        view_.setStatusText(QCoreApplication::translate("qb::UndoController", "状态：撤销失败！"));
        break;
    case Outcome::Cancelled:
        view_.setStatusText(
            QCoreApplication::translate("qb::UndoController", "状态：操作已取消！"));
        break;
    case Outcome::Skipped: // an undo asks nothing it could decline as a whole
        view_.setStatusText(QCoreApplication::translate("qb::UndoController", "状态：部分撤销！"));
        break;
    }
    emit DropHistory::instance().changed();
    // What stayed behind must be seen, not only hinted at on the status line.
    if (!whole) dialogs().messageBox(view_.dialogOwner(), account);
}

} // namespace qb
