// The drop controller: refusals, configure mode, each item's copy or move in turn.
#include "drop/DropController.h"

#include "board/Accounts.h"
#include "board/Board.h"
#include "board/BoardView.h"
#include "board/FolderName.h"
#include "board/Folders.h"
#include "drop/DropJournal.h"
#include "drop/DroppedPaths.h"
#include "drop/Log.h"
#include "engine/Names.h"
#include "platform/Handler.h"

#include <QCoreApplication>
#include <QDropEvent>
#include <QFile>
#include <QMimeData>
#include <QTimer>

#include <filesystem>
#include <system_error>

namespace qb {
namespace {

DropFileOperation& installedOperation() {
    static DropFileOperation op;
    return op;
}

void startDropOperation(QWidget* owner, Op op, Policy policy, const QByteArray& source,
                        const QByteArray& dest, std::int64_t journalDrop,
                        OperationResultDone done) {
    const DropFileOperation& installed = installedOperation();
    if (installed)
        installed(owner, op, policy, source, dest, std::move(done));
    else
        startRecordedFileOperation(owner, op, policy, source, dest, journalDrop, std::move(done));
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

void DropController::answerDrag(QDragMoveEvent* event) {
    const QList<QByteArray> items = dragLocalPaths(event->mimeData());
    if (!items.isEmpty()) dragItems_ = items;
    if (busy_ || items.isEmpty()) {
        event->ignore();
        return;
    }
    event->setDropAction(dropActionFor(*event));
    event->accept();
}

void DropController::takeDrop(QDropEvent* event, QPoint globalPos, const DropInto& into) {
    QList<QByteArray> items = dragLocalPaths(event->mimeData());
    if (items.isEmpty()) items = dragItems_;
    dragItems_.clear(); // the next drag starts afresh
    if (busy_ || items.isEmpty()) {
        qCInfo(lcDrop) << "drop refused:"
                       << (busy_ ? "the last drop is still running" : "it carries no local file");
        event->ignore();
        return;
    }
    drop_ = Running{};
    drop_.items = items;
    drop_.under = into.row ? nullptr : view_.widgetAt(globalPos);
    drop_.into = into;
    event->setDropAction(dropActionFor(*event));
    event->accept();

    // The items are handled once the drag source has its answer: a long copy
    // must not keep the file manager waiting for the end of the drop.
    busy_ = true;
    QTimer::singleShot(0, this, [this] { step([this] { start(); }); });
}

void DropController::start() {
    drop_.row = drop_.into.row ? drop_.into.row : drop_.under ? view_.rowOf(drop_.under) : 0;
    // A subfolder is no slot to configure.
    if (drop_.row && view_.isChecked(Choice::Set) && !drop_.into.row) {
        qCInfo(lcDrop) << "drop of" << drop_.items.size() << "items sets slot" << drop_.row;
        configure();
    } else if (drop_.row && (view_.isChecked(Choice::Move) || view_.isChecked(Choice::Copy))) {
        drop_.op = view_.isChecked(Choice::Move) ? Op::Move : Op::Copy;
        if (drop_.op == Op::Move) drop_.items = distinctPaths(drop_.items);
        drop_.report.emplace(drop_.op, destination());
        beginJournalDrop();
        qCInfo(lcDrop) << "drop:" << (drop_.op == Op::Move ? "move" : "copy") << drop_.items.size()
                       << "items to slot" << drop_.row << destination();
        nextItem();
    } else {
        qCInfo(lcDrop) << "drop ignored:"
                       << (drop_.row ? "no mode for it is checked" : "not on a slot");
        finish(false);
    }
}

// One record per drop: the account, the group and the slot it went to, as they are now.
void DropController::beginJournalDrop() {
    history::Journal* journal = dropJournal();
    if (!journal) return;
    history::DropRecord d;
    d.account = accountState().currentAccount.toStdString();
    d.group = view_.checkedGroup();
    d.slot = drop_.row;
    d.slotName = folderName(view_.pathText(drop_.row)).toStdString();
    d.destFolder = QFile::encodeName(destination()).toStdString();
    d.op = drop_.op;
    d.policy = checkedPolicy(view_);
    drop_.journalDrop = journal->beginDrop(d);
    lastJournalDrop_ = drop_.journalDrop;
}

QString DropController::destination() const {
    return drop_.into.row ? drop_.into.folder : view_.pathText(drop_.row);
}

void DropController::configure() {
    const int row = drop_.row;
    // A path the settings file cannot hold exactly is refused, and nothing is written.
    for (const QByteArray& item : drop_.items) {
        if (!storableAsText(item)) {
            qCInfo(lcDrop) << "drop refused: a settings file cannot hold the path" << item;
            view_.setStatusText(
                QCoreApplication::translate("qb::DropController", "状态：路径含无法保存的字符！"));
            finish(true);
            return;
        }
    }
    for (const QByteArray& item : drop_.items) {
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
    view_.setStatusText(
        board_.pathStored(row)
            ? QCoreApplication::translate("qb::DropController", "状态：设置目录成功！")
            : QCoreApplication::translate("qb::DropController", "状态：设置目录失败！"));
    finish(true);
}

// Copies or moves the next item into the folder the target field shows now, with
// the policy checked now. A slot without an existing folder fails each item.
void DropController::nextItem() {
    while (drop_.next < drop_.items.size()) {
        const QByteArray source = drop_.items[drop_.next++];
        const QString dest = destination();
        if (!isExistingFolder(dest)) {
            qCInfo(lcDrop) << "item" << QFile::decodeName(source)
                           << "failed: the slot's path is no existing folder:" << dest;
            drop_.overall = Outcome::Failed;
            view_.setStatusText(
                QCoreApplication::translate("qb::DropController", "状态：目录不存在！"));
            continue;
        }
        QPointer<DropController> self(this);
        startDropOperation(view_.dialogOwner(), drop_.op, checkedPolicy(view_), source,
                           QFile::encodeName(dest), drop_.journalDrop,
                           [self](const OperationResult& result) {
                               if (self) self->step([&] { self->itemDone(result); });
                           });
        return;
    }
    finish(true);
}

// The status line tells the truth about the whole drop so far: success only when
// every item was done as the user chose.
void DropController::itemDone(const OperationResult& result) {
    const Outcome outcome = result.outcome;
    qCInfo(lcDrop) << "item" << QFile::decodeName(drop_.items[drop_.next - 1])
                   << outcomeName(outcome) << "with" << result.failures << "failures,"
                   << result.trashed << "replaced entries trashed," << result.destroyed
                   << "deleted";
    if (severity(outcome) > severity(drop_.overall)) drop_.overall = outcome;
    drop_.destroyed = drop_.destroyed || result.replacedWithoutTrash();
    if (result.missing & ~drop_.missing)
        qCWarning(lcDrop) << "the destination's file system could not keep (flags)"
                          << (result.missing & ~drop_.missing);
    drop_.missing |= result.missing;
    view_.setStatusText(statusOf(drop_.op, drop_.overall, drop_.destroyed, drop_.missing));
    drop_.report->add(QFile::decodeName(drop_.items[drop_.next - 1]), outcome);
    // Whoever cancels one item of a drop means the whole drop.
    if (outcome == Outcome::Cancelled)
        finish(true);
    else
        nextItem();
}

// The focus goes to the window the drop landed on, so the row shows as current.
void DropController::finish(bool handled) {
    if (handled)
        view_.focusRowAfterDrop(drop_.row);
    else if (drop_.under)
        view_.focusAfterDrop(drop_.under);
    busy_ = false;
    if (drop_.journalDrop)
        if (history::Journal* journal = dropJournal())
            journal->endDrop(drop_.journalDrop, drop_.overall);
    if (drop_.report) {
        qCInfo(lcDrop) << "drop" << outcomeName(drop_.overall);
        reportDrop(*drop_.report);
    }
}

void DropController::step(const std::function<void()>& body) {
    runHandler(view_.dialogOwner(), [this, &body] {
        try {
            body();
        } catch (...) {
            busy_ = false;
            throw;
        }
    });
}

} // namespace qb
