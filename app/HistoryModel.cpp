// The journal's drops as a tree for the history window, read a page at a time.
#include "app/HistoryWindow.h"

#include "drop/UndoController.h"

#include <QCoreApplication>
#include <QDateTime>

namespace qb {

namespace {

// An item row's internal id: its drop's row + 1; a drop row's is 0.
constexpr quintptr kDropRow = 0;

QString outcomeText(const std::optional<Outcome>& outcome) {
    if (!outcome) return QCoreApplication::translate("qb::HistoryWindow", "未完成");
    switch (*outcome) {
    case Outcome::Done:
        return QCoreApplication::translate("qb::HistoryWindow", "完成");
    case Outcome::Failed:
        return QCoreApplication::translate("qb::HistoryWindow", "失败");
    case Outcome::Cancelled:
        return QCoreApplication::translate("qb::HistoryWindow", "已取消");
    case Outcome::Skipped:
        return QCoreApplication::translate("qb::HistoryWindow", "已跳过");
    }
    return {};
}

} // namespace

void HistoryModel::reload(history::Journal* journal, const QString& filter) {
    beginResetModel();
    journal_ = journal;
    filter_ = filter.trimmed().toStdString();
    drops_.clear();
    allRead_ = journal_ == nullptr;
    endResetModel();
    // The first page at once: a view asks for more only as it scrolls.
    if (!allRead_) fetchMore({});
}

const history::DropRecord* HistoryModel::dropAt(const QModelIndex& index) const {
    if (!index.isValid()) return nullptr;
    const std::size_t row = index.internalId() == kDropRow
                                ? static_cast<std::size_t>(index.row())
                                : static_cast<std::size_t>(index.internalId() - 1);
    return row < drops_.size() ? &drops_[row].drop : nullptr;
}

const history::ItemRecord* HistoryModel::itemAt(const QModelIndex& index) const {
    if (!index.isValid() || index.internalId() == kDropRow) return nullptr;
    const Node& node = drops_[index.internalId() - 1];
    const auto row = static_cast<std::size_t>(index.row());
    return row < node.items.size() ? &node.items[row] : nullptr;
}

const std::vector<history::ItemRecord>& HistoryModel::itemsOf(int row) {
    const QModelIndex top = index(row, 0);
    if (canFetchMore(top)) fetchMore(top);
    return drops_[static_cast<std::size_t>(row)].items;
}

QModelIndex HistoryModel::index(int row, int column, const QModelIndex& parent) const {
    if (row < 0 || column < 0 || column >= Columns) return {};
    if (!parent.isValid())
        return static_cast<std::size_t>(row) < drops_.size() ? createIndex(row, column, kDropRow)
                                                             : QModelIndex();
    if (parent.internalId() != kDropRow) return {};
    const Node& node = drops_[static_cast<std::size_t>(parent.row())];
    if (static_cast<std::size_t>(row) >= node.items.size()) return {};
    return createIndex(row, column, static_cast<quintptr>(parent.row()) + 1);
}

QModelIndex HistoryModel::parent(const QModelIndex& child) const {
    if (!child.isValid() || child.internalId() == kDropRow) return {};
    return createIndex(static_cast<int>(child.internalId() - 1), 0, kDropRow);
}

int HistoryModel::rowCount(const QModelIndex& parent) const {
    if (!parent.isValid()) return static_cast<int>(drops_.size());
    if (parent.column() != 0 || parent.internalId() != kDropRow) return 0;
    return static_cast<int>(drops_[static_cast<std::size_t>(parent.row())].items.size());
}

int HistoryModel::columnCount(const QModelIndex&) const {
    return Columns;
}

bool HistoryModel::hasChildren(const QModelIndex& parent) const {
    if (!parent.isValid()) return !drops_.empty();
    if (parent.column() != 0 || parent.internalId() != kDropRow) return false;
    const Node& node = drops_[static_cast<std::size_t>(parent.row())];
    return node.itemsRead ? !node.items.empty() : node.drop.itemCount > 0;
}

bool HistoryModel::canFetchMore(const QModelIndex& parent) const {
    if (!parent.isValid()) return !allRead_;
    if (parent.internalId() != kDropRow) return false;
    return !drops_[static_cast<std::size_t>(parent.row())].itemsRead;
}

void HistoryModel::fetchMore(const QModelIndex& parent) {
    if (!journal_) return;
    if (!parent.isValid()) {
        if (allRead_) return;
        std::vector<history::DropRecord> page =
            journal_->drops(filter_, kPage, static_cast<int>(drops_.size()));
        allRead_ = page.size() < static_cast<std::size_t>(kPage);
        if (page.empty()) return;
        const int first = static_cast<int>(drops_.size());
        beginInsertRows({}, first, first + static_cast<int>(page.size()) - 1);
        for (history::DropRecord& d : page)
            drops_.push_back(Node{std::move(d), false, {}});
        endInsertRows();
        return;
    }
    if (parent.internalId() != kDropRow) return;
    Node& node = drops_[static_cast<std::size_t>(parent.row())];
    if (node.itemsRead) return;
    std::vector<history::ItemRecord> items = journal_->items(node.drop.id);
    node.itemsRead = true;
    if (items.empty()) return;
    beginInsertRows(parent, 0, static_cast<int>(items.size()) - 1);
    node.items = std::move(items);
    endInsertRows();
}

QVariant HistoryModel::data(const QModelIndex& index, int role) const {
    if (!index.isValid()) return {};
    if (role == Qt::ToolTipRole && index.column() == Place) return data(index, Qt::DisplayRole);
    if (role != Qt::DisplayRole) return {};
    if (index.internalId() == kDropRow)
        return dropText(drops_[static_cast<std::size_t>(index.row())], index.column());
    if (const history::ItemRecord* item = itemAt(index)) return itemText(*item, index.column());
    return {};
}

QVariant HistoryModel::dropText(const Node& node, int column) const {
    const history::DropRecord& d = node.drop;
    switch (column) {
    case Time:
        return QDateTime::fromMSecsSinceEpoch(d.timeMs).toString(
            QStringLiteral("yyyy-MM-dd HH:mm:ss"));
    case Place:
        if (d.undoOf)
            return QCoreApplication::translate("qb::HistoryWindow", "撤销第 %1 次操作")
                .arg(d.undoOf);
        if (d.slotName.empty()) return pathText(d.destFolder);
        return QStringLiteral("%1 — %2").arg(QString::fromStdString(d.slotName),
                                             pathText(d.destFolder));
    case Operation:
        if (d.undoOf) return QCoreApplication::translate("qb::HistoryWindow", "撤销");
        return d.op == Op::Move ? QCoreApplication::translate("qb::HistoryWindow", "移动")
                                : QCoreApplication::translate("qb::HistoryWindow", "复制");
    case Count:
        return d.itemCount;
    case Result: {
        QString text = outcomeText(d.outcome);
        if (d.undoneBy) text += QCoreApplication::translate("qb::HistoryWindow", "，已撤销");
        if (journal_ && journal_->verified(d.id))
            text += QCoreApplication::translate("qb::HistoryWindow", "，已校验");
        return text;
    }
    default:
        return {};
    }
}

QVariant HistoryModel::itemText(const history::ItemRecord& item, int column) const {
    switch (column) {
    case Time:
        return pathName(item.dest.empty() ? item.source : item.dest);
    case Place:
        return QStringLiteral("%1 → %2").arg(pathText(item.source), pathText(item.dest));
    case Operation:
        switch (item.kind) {
        case history::ItemKind::File:
            return QCoreApplication::translate("qb::HistoryWindow", "文件");
        case history::ItemKind::Folder:
            return QCoreApplication::translate("qb::HistoryWindow", "文件夹");
        case history::ItemKind::Link:
            return QCoreApplication::translate("qb::HistoryWindow", "链接");
        }
        return {};
    case Result:
        switch (item.state) {
        case history::ItemState::Done:
            return QCoreApplication::translate("qb::HistoryWindow", "完成");
        case history::ItemState::Failed:
            return QCoreApplication::translate("qb::HistoryWindow", "失败");
        case history::ItemState::Started:
            return QCoreApplication::translate("qb::HistoryWindow", "未完成");
        case history::ItemState::Skipped:
            return QCoreApplication::translate("qb::HistoryWindow", "已跳过");
        }
        return {};
    default:
        return {};
    }
}

QVariant HistoryModel::headerData(int section, Qt::Orientation orientation, int role) const {
    if (orientation != Qt::Horizontal || role != Qt::DisplayRole) return {};
    switch (section) {
    case Time:
        return QCoreApplication::translate("qb::HistoryWindow", "时间");
    case Place:
        return QCoreApplication::translate("qb::HistoryWindow", "文件夹");
    case Operation:
        return QCoreApplication::translate("qb::HistoryWindow", "操作");
    case Count:
        return QCoreApplication::translate("qb::HistoryWindow", "项数");
    case Result:
        return QCoreApplication::translate("qb::HistoryWindow", "结果");
    default:
        return {};
    }
}

} // namespace qb
