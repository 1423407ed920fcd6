// One answer for every way in: destination, copy or move, policy, verdict.
#include "drop/DropPlan.h"

#include "board/Accounts.h"
#include "board/Board.h"
#include "board/BoardView.h"
#include "board/Choices.h"
#include "drop/DropVerdict.h"
#include "drop/SlotDisks.h"
#include "drop/SlotVerify.h"
#include "store/Settings.h"

#include <QCoreApplication>
#include <QFile>

namespace qb {

Policy checkedPolicy(const BoardView& view) {
    if (view.isChecked(Choice::Rename)) return Policy::AutoRename;
    if (view.isChecked(Choice::Replace)) return Policy::AskReplace;
    if (view.isChecked(Choice::AutoReplace)) return Policy::AutoReplace;
    return Policy::AskReplace;
}

bool DropPlanner::dragCopiesOrMoves(int r, int group) const {
    if (!r || view_.isChecked(Choice::Set)) return false;
    return view_.isChecked(Choice::Move) || view_.isChecked(Choice::Copy) ||
           board_.slotActionAt(group ? group : view_.checkedGroup(), r) != SlotAction::Follow;
}

DropPlan DropPlanner::plan(DropWay way, const SlotTarget& target, AskedOp asked,
                           const verdict::DragCount& count) const {
    DropPlan p;
    p.way = way;
    const int shown = view_.checkedGroup();
    p.group = target.group ? target.group : shown ? shown : 1;
    p.row = target.row;
    p.subfolder = target.subfolder;
    const SlotAction own = board_.slotActionAt(target.group ? target.group : shown, target.row);
    if (asked != AskedOp::Board) {
        p.op = asked == AskedOp::Move ? Op::Move : Op::Copy;
    } else if (own != SlotAction::Follow) {
        p.op = own == SlotAction::Move ? Op::Move : Op::Copy;
        p.slotsOwnAction = true;
    } else {
        p.op = view_.isChecked(Choice::Move) ? Op::Move : Op::Copy;
    }
    p.policy = checkedPolicy(view_);
    judge(p, count);
    p.verify = slotVerifies(p.group, p.row, p.destFolder);
    return p;
}

void DropPlanner::judge(DropPlan& p, const verdict::DragCount& count) const {
    p.destFolder = folderNow(p);
    // The disk is the slot's: a subfolder lies on it too.
    DropPlan slot = p;
    slot.subfolder.clear();
    const QString slotPath = folderNow(slot);
    p.verdict = verdictFor(QFile::encodeName(p.destFolder), p.op, count,
                           slotDisk(p.group, p.row, slotPath));
    p.reason.clear();
    p.refusal.clear();
    if (p.verdict.ok()) return;
    p.reason = verdictText(p.verdict, p.destFolder);
    // A folder that is not there keeps the words it always had on the status line.
    p.refusal = p.verdict.reason == verdict::Reason::Missing
                    ? QCoreApplication::translate("qb::DropController", "状态：目录不存在！")
                    : QCoreApplication::translate("qb::DropController", "状态：") + p.reason;
}

QString DropPlanner::folderNow(const DropPlan& p) const {
    if (!p.subfolder.isEmpty()) return p.subfolder;
    const int shown = view_.checkedGroup();
    if (p.group == shown || !shown) return view_.pathText(p.row);
    return ReadSetting(accountState().currentSettingsFile, foldersSection(),
                       slotKey(p.group, p.row), QString());
}

Policy DropPlanner::policyNow(const DropPlan& p) const {
    return p.followsBoard() ? checkedPolicy(view_) : p.policy;
}

} // namespace qb
