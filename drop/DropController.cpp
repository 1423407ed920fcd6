// The drop controller's drag side: what the place and the mode make of a drop,
// configure mode, and refusals.
#include "drop/DropController.h"

#include "board/Board.h"
#include "board/BoardView.h"
#include "board/Choices.h"
#include "drop/DroppedPaths.h"
#include "drop/SlotDisks.h"
#include "operation/Log.h"
#include "platform/Handler.h"

#include <QCoreApplication>
#include <QDropEvent>
#include <QFile>
#include <QScopeGuard>
#include <QTimer>

#include <filesystem>
#include <system_error>

namespace qb {
namespace {

// A path the settings file can hold exactly: one whose bytes survive the way
// through text (a name in another code page does not).
bool storableAsText(const QByteArray& path) {
    return QFile::encodeName(QFile::decodeName(path)) == path;
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

void DropController::leaveDrag(bool released) {
    // Released on a slot the verdict refused: the source saw the refusal and sends
    // no drop, yet the user let go there and is told why, as for any refused drop.
    const std::optional<DropPlan> refused = released ? verdicts_.refusedPlan() : std::nullopt;
    verdicts_.leave(false);
    dragItems_.clear();
    if (refused) {
        qCInfo(lcDrop) << "drop refused on release:" << refused->reason;
        refuse(*refused);
    }
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
    // The drag's count ends with its drop, once the drop's own plan has it.
    const auto stopCount = qScopeGuard([this] { verdicts_.counting().stop(); });
    if (row && view_.isChecked(Choice::Set) && !into.row) {
        configure(row, items);
    } else if (planner_.dragCopiesOrMoves(row, into.group)) {
        const DropWay way = into.folder.isEmpty() ? DropWay::Drag : DropWay::ListEntry;
        const DropPlan plan =
            verdicts_.planDrop(way, items, SlotTarget{into.group, row, into.folder});
        if (plan.refused()) {
            qCInfo(lcDrop) << "drop refused:" << plan.reason;
            refuse(plan);
            return;
        }
        enqueue(plan, items, {}, verdicts_.counting().snapshot());
    } else {
        qCInfo(lcDrop) << "drop ignored:" << (row ? "no mode is checked" : "not on a slot");
        if (under) view_.focusAfterDrop(under);
    }
}

void DropController::refuse(const DropPlan& plan) {
    showStatus(plan.refusal);
    // The row's field shows this slot only while the board shows its group.
    const int shown = view_.checkedGroup();
    if (plan.group == shown || !shown) view_.focusRowAfterDrop(plan.row);
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
    const bool stored = board_.pathStored(row);
    qCInfo(lcDrop) << "slot" << row << "path stored:" << stored;
    // The disk it lies on now, so that a drop later can tell when that disk is gone.
    if (stored)
        storeSlotDisk(view_.checkedGroup(), row, view_.pathText(row),
                      diskIdentity(view_.pathText(row)));
    view_.setStatusText(
        stored ? QCoreApplication::translate("qb::DropController", "状态：设置目录成功！")
               : QCoreApplication::translate("qb::DropController", "状态：设置目录失败！"));
    view_.focusRowAfterDrop(row);
}

} // namespace qb
