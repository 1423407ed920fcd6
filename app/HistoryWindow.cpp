#include "app/HistoryWindow.h"

#include "drop/UndoController.h"
#include "operation/Log.h"
#include "platform/Dialogs.h"
#include "platform/Handler.h"
#include "platform/Modeless.h"
#include "platform/Opener.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLineEdit>
#include <QPushButton>
#include <QTimer>
#include <QTreeView>
#include <QVBoxLayout>

namespace qb {

namespace {

// An item row's internal id: its drop's row + 1; a drop row's is 0.
constexpr quintptr kDropRow = 0;

QString folderOf(const std::string& path) {
    QString p = pathText(path);
    while (p.size() > 1 && p.endsWith(u'/'))
        p.chop(1);
    const qsizetype slash = p.lastIndexOf(u'/');
    return slash <= 0 ? QStringLiteral("/") : p.left(slash);
}

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

HistoryWindow::HistoryWindow(UndoController& undo, QWidget* parent)
    : QWidget(parent, secondaryWindowFlags()), undoCtl_(undo), model_(new HistoryModel(this)),
      filter_(new QLineEdit(this)), tree_(new QTreeView(this)),
      openDest_(new QPushButton(QCoreApplication::translate("qb::HistoryWindow", "打开目标文件夹"),
                                this)),
      showSource_(
          new QPushButton(QCoreApplication::translate("qb::HistoryWindow", "显示源文件夹"), this)),
      undo_(new QPushButton(QCoreApplication::translate("qb::HistoryWindow", "撤销"), this)),
      filterDelay_(new QTimer(this)) {
    setObjectName(QStringLiteral("HistoryWindow"));
    setWindowTitle(QCoreApplication::translate("qb::HistoryWindow", "历史记录"));
    // Closing only hides this window; it must never end the program.
    setAttribute(Qt::WA_QuitOnClose, false);
    resize(640, 420);

    filter_->setObjectName(QStringLiteral("HistoryFilter"));
    filter_->setPlaceholderText(
        QCoreApplication::translate("qb::HistoryWindow", "按名称或路径筛选"));
    filter_->setClearButtonEnabled(true);
    tree_->setObjectName(QStringLiteral("HistoryTree"));
    tree_->setModel(model_);
    tree_->setUniformRowHeights(true);
    tree_->setAllColumnsShowFocus(true);
    tree_->setEditTriggers(QAbstractItemView::NoEditTriggers);
    tree_->header()->setStretchLastSection(false);
    tree_->header()->setSectionResizeMode(HistoryModel::Place, QHeaderView::Stretch);
    tree_->setColumnWidth(HistoryModel::Time, 150);
    openDest_->setObjectName(QStringLiteral("HistoryOpenDest"));
    showSource_->setObjectName(QStringLiteral("HistoryShowSource"));
    undo_->setObjectName(QStringLiteral("HistoryUndo"));
    auto* close = new QPushButton(QCoreApplication::translate("qb::HistoryWindow", "关闭"), this);
    close->setObjectName(QStringLiteral("HistoryClose"));

    auto* buttons = new QHBoxLayout;
    buttons->addWidget(openDest_);
    buttons->addWidget(showSource_);
    buttons->addWidget(undo_);
    buttons->addStretch();
    buttons->addWidget(close);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(filter_);
    layout->addWidget(tree_);
    layout->addLayout(buttons);

    // Typing is not held up by a query per key.
    filterDelay_->setSingleShot(true);
    filterDelay_->setInterval(250);
    connect(filterDelay_, &QTimer::timeout, this,
            [this] { runHandler(this, [this] { reload(); }); });
    connect(filter_, &QLineEdit::textChanged, filterDelay_, qOverload<>(&QTimer::start));
    connect(tree_->selectionModel(), &QItemSelectionModel::currentChanged, this,
            [this] { runHandler(this, [this] { updateButtons(); }); });
    connect(model_, &QAbstractItemModel::modelReset, this,
            [this] { runHandler(this, [this] { updateButtons(); }); });
    onClick(this, openDest_, [this] { openDestination(); });
    onClick(this, showSource_, [this] { showSourceFolder(); });
    onClick(this, undo_, [this] { undoChosen(); });
    onClick(this, close, [this] { hide(); });
    connect(&DropHistory::instance(), &DropHistory::changed, this, [this] {
        if (isVisible()) runHandler(this, [this] { reload(); });
    });
    updateButtons();
}

void HistoryWindow::showModeless(QWidget* board) {
    if (!placed_ && board && placeBesideMainWindow(this, board)) placed_ = true;
    qb::showModeless(this, placed_);
}

void HistoryWindow::showEvent(QShowEvent* event) {
    QWidget::showEvent(event);
    reload();
}

void HistoryWindow::reload() {
    filterDelay_->stop();
    // The drop looked at stays chosen when it is still listed.
    const history::DropRecord* before = chosenDrop();
    const std::int64_t chosen = before ? before->id : 0;
    model_->reload(undoCtl_.journal(), filter_->text());
    for (int row = 0; chosen && row < model_->rowCount(); ++row) {
        if (model_->dropAt(model_->index(row, 0))->id != chosen) continue;
        tree_->setCurrentIndex(model_->index(row, 0));
        break;
    }
    updateButtons();
    if (lcDrop().isInfoEnabled()) {
        QStringList newest;
        for (int row = 0; row < model_->rowCount() && row < 3; ++row) {
            const history::DropRecord& d = *model_->dropAt(model_->index(row, 0));
            newest << (d.undoOf ? QStringLiteral("#%1 undo of #%2").arg(d.id).arg(d.undoOf)
                                : QStringLiteral("#%1 %2 of %3 items")
                                      .arg(d.id)
                                      .arg(d.op == Op::Move ? "move" : "copy")
                                      .arg(d.itemCount));
        }
        qCInfo(lcDrop).noquote() << "history window lists" << model_->rowCount()
                                 << "drops, newest first:" << newest.join(QStringLiteral(", "));
    }
}

const history::DropRecord* HistoryWindow::chosenDrop(int* row) const {
    QModelIndex current = tree_->currentIndex();
    if (!current.isValid()) return nullptr;
    if (current.parent().isValid()) current = current.parent();
    if (row) *row = current.row();
    return model_->dropAt(current);
}

// Opens `folder` in the file manager, or says it is gone (a drop's folder may be).
void HistoryWindow::openFolderOrSay(const QString& folder) {
    if (folder.isEmpty()) return;
    if (!QFileInfo(folder).isDir()) {
        dialogs().errorBox(
            this,
            errorBoxText(
                QCoreApplication::translate("qb::HistoryWindow", "文件夹不存在：%1").arg(folder)));
        return;
    }
    opener().openFolder(folder, {});
}

void HistoryWindow::updateButtons() {
    const history::DropRecord* drop = chosenDrop();
    openDest_->setEnabled(drop != nullptr);
    showSource_->setEnabled(drop != nullptr);
    // A drop still running (or killed) has no end yet; one undone is done with.
    undo_->setEnabled(drop && drop->outcome && !drop->undoneBy && !undoCtl_.busy());
}

void HistoryWindow::openDestination() {
    int row = 0;
    const history::DropRecord* drop = chosenDrop(&row);
    if (!drop) return;
    QString folder;
    if (const history::ItemRecord* item = model_->itemAt(tree_->currentIndex()))
        folder = folderOf(item->dest);
    else if (!drop->destFolder.empty())
        folder = pathText(drop->destFolder);
    else if (const auto& items = model_->itemsOf(row); !items.empty())
        folder = folderOf(items.front().dest);
    openFolderOrSay(folder);
}

void HistoryWindow::showSourceFolder() {
    int row = 0;
    if (!chosenDrop(&row)) return;
    QString folder;
    if (const history::ItemRecord* item = model_->itemAt(tree_->currentIndex()))
        folder = folderOf(item->source);
    else if (const auto& items = model_->itemsOf(row); !items.empty())
        folder = folderOf(items.front().source);
    openFolderOrSay(folder);
}

void HistoryWindow::undoChosen() {
    const history::DropRecord* drop = chosenDrop();
    if (!drop) return;
    undoCtl_.undo(drop->id, this);
    updateButtons();
}

} // namespace qb
