// The verdict while a drag hovers over the board, and the count it rests on.
#include "drop/DropVerdict.h"

#include "board/Board.h"
#include "board/BoardView.h"
#include "board/FolderName.h"
#include "operation/Log.h"

#include <QCoreApplication>
#include <QDragMoveEvent>
#include <QFile>
#include <QLocale>

namespace qb {
namespace {

QString sizeText(std::uint64_t bytes) {
    return QLocale::system().formattedDataSize(static_cast<qint64>(bytes), 1,
                                               QLocale::DataSizeTraditionalFormat);
}

QString nameText(const std::string& name) {
    return QFile::decodeName(QByteArray::fromStdString(name));
}

} // namespace

DragCounting::~DragCounting() {
    stop();
}

void DragCounting::stop() {
    cancel_ = true;
    if (thread_.joinable()) thread_.join();
    cancel_ = false;
    items_.clear();
    std::lock_guard lock(mutex_);
    count_ = {};
}

void DragCounting::start(const QList<QByteArray>& items) {
    if (items == items_ && !items.isEmpty()) return;
    stop();
    items_ = items;
    DragCount looked;
    for (const QByteArray& item : items)
        looked.items.push_back(verdict::look(item.toStdString()));
    {
        std::lock_guard lock(mutex_);
        count_ = looked;
    }
    thread_ = std::thread([this, looked]() mutable {
        for (std::size_t i = 0; i < looked.items.size(); ++i) {
            verdict::DraggedItem& item = looked.items[i];
            if (!item.exists) continue;
            if (!verdict::count(item, cancel_)) return;
            {
                std::lock_guard lock(mutex_);
                count_.items[i] = item;
            }
            // Queued to this object: dropped unseen should it be gone by then.
            QMetaObject::invokeMethod(
                this,
                [this] {
                    if (counted) counted();
                },
                Qt::QueuedConnection);
        }
    });
}

DragCount DragCounting::snapshot() const {
    std::lock_guard lock(mutex_);
    return count_;
}

Verdict verdictFor(const QByteArray& destFolder, Op op, const DragCount& drag,
                   const QString& rememberedDisk) {
    const verdict::FileSystem fs = verdict::probe(destFolder.toStdString());
    return verdict::judge(fs, QFile::encodeName(rememberedDisk).toStdString(), op == Op::Move,
                          drag);
}

QString diskIdentity(const QString& folder) {
    const verdict::FileSystem fs = verdict::probe(QFile::encodeName(folder).toStdString());
    return fs.folder ? QFile::decodeName(QByteArray::fromStdString(fs.identity)) : QString();
}

QString verdictText(const Verdict& v, const QString& destFolder) {
    using verdict::Reason;
    const QString name = folderName(destFolder);
    switch (v.reason) {
    case Reason::None:
        if (v.sameDisk)
            return QCoreApplication::translate("qb::HoverVerdicts", "移动（同一磁盘，瞬间完成）");
        if (v.counting)
            return (v.move
                        ? QCoreApplication::translate("qb::HoverVerdicts", "移动到 %1：正在统计…")
                        : QCoreApplication::translate("qb::HoverVerdicts", "复制到 %1：正在统计…"))
                .arg(name);
        return (v.move ? QCoreApplication::translate("qb::HoverVerdicts", "移动 %1 到 %2")
                       : QCoreApplication::translate("qb::HoverVerdicts", "复制 %1 到 %2"))
            .arg(sizeText(v.bytes), name);
    case Reason::Missing:
        return QCoreApplication::translate("qb::HoverVerdicts", "无法放入：文件夹不存在");
    case Reason::NotConnected:
        return QCoreApplication::translate("qb::HoverVerdicts", "无法放入：文件夹所在的磁盘未连接");
    case Reason::ReadOnly:
        return QCoreApplication::translate("qb::HoverVerdicts", "无法放入：目标位置只读");
    case Reason::NameTooLong:
        return QCoreApplication::translate("qb::HoverVerdicts",
                                           "无法放入：文件名过长，目标磁盘无法保存");
    case Reason::FatName:
        return QCoreApplication::translate("qb::HoverVerdicts",
                                           "无法放入：目标磁盘无法保存名称“%1”")
            .arg(nameText(v.name));
    case Reason::CaseClash:
        return QCoreApplication::translate("qb::HoverVerdicts",
                                           "无法放入：目标磁盘不区分大小写，“%1”与另一名称冲突")
            .arg(nameText(v.name));
    case Reason::TooLarge:
        return QCoreApplication::translate("qb::HoverVerdicts",
                                           "无法放入：文件过大（%1），目标磁盘的文件系统无法保存")
            .arg(sizeText(v.size));
    case Reason::NoSpace:
        return QCoreApplication::translate("qb::HoverVerdicts",
                                           "无法放入：空间不足（需要 %1，可用 %2）")
            .arg(sizeText(v.bytes), sizeText(v.size));
    }
    return {};
}

HoverVerdicts::HoverVerdicts(BoardView& view, Board& board)
    : view_(view), board_(board), planner_(view, board) {
    // A count that ends while the pointer rests shows its result at once.
    counting_.counted = [this] {
        if (hovering_ && row_) show();
    };
}

DropPlan HoverVerdicts::planDrop(DropWay way, const QList<QByteArray>& items,
                                 const SlotTarget& target) {
    counting_.start(items);
    return planner_.plan(way, target, AskedOp::Board, counting_.snapshot());
}

std::optional<DropPlan> HoverVerdicts::refusedPlan() const {
    if (!hovering_ || !row_ || !last_.refused()) return std::nullopt;
    return last_;
}

void HoverVerdicts::hover(QDragMoveEvent* event, const QList<QByteArray>& items, int row,
                          bool mayRefuse) {
    // Configure mode takes any drop, as it always has; without a mode nothing is done.
    const bool judged = planner_.dragCopiesOrMoves(row);
    // A drag's entry starts afresh: the last one may have ended elsewhere, unannounced.
    if (!mayRefuse) leave(false);
    if (!hovering_) {
        hovering_ = true;
        statusBefore_ = view_.statusText();
        counting_.start(items);
    }
    // The verdict stands while the pointer stays on the row, until the count it waits for ends.
    if (judged && row == row_ && !(last_.verdict.counting && counting_.snapshot().finished())) {
        if (last_.refused() && mayRefuse) event->ignore();
        return;
    }
    if (row_ && (row_ != row || !judged)) view_.showDropShade(row_, BoardView::Shade::None);
    row_ = judged ? row : 0;
    if (!row_) {
        if (!shown_.isEmpty() && view_.statusText() == shown_) view_.setStatusText(statusBefore_);
        shown_.clear();
        return;
    }
    const Verdict v = show();
    if (!v.ok() && mayRefuse) event->ignore();
}

Verdict HoverVerdicts::show() {
    last_ = planDrop(DropWay::Drag, counting_.items(), SlotTarget{0, row_, {}});
    const Verdict& v = last_.verdict;
    view_.showDropShade(row_, !v.ok()      ? BoardView::Shade::Refused
                              : v.counting ? BoardView::Shade::Counting
                                           : BoardView::Shade::Works);
    QString text = verdictText(v, last_.destFolder);
    if (v.ok() && last_.slotsOwnAction)
        text += QCoreApplication::translate("qb::HoverVerdicts", "（本槽位设定）");
    qCInfo(lcDrop).noquote() << "a drop on slot" << row_ << "would say:" << text;
    shown_ = text;
    view_.setStatusText(text);
    return v;
}

void HoverVerdicts::leave(bool keepCount) {
    if (!hovering_) return;
    hovering_ = false;
    if (row_) view_.showDropShade(row_, BoardView::Shade::None);
    row_ = 0;
    if (!shown_.isEmpty() && view_.statusText() == shown_) view_.setStatusText(statusBefore_);
    shown_.clear();
    if (!keepCount) counting_.stop();
}

} // namespace qb
