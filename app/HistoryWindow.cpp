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

QString folderOf(const std::string& path) {
    QString p = pathText(path);
    while (p.size() > 1 && p.endsWith(u'/'))
        p.chop(1);
    const qsizetype slash = p.lastIndexOf(u'/');
    return slash <= 0 ? QStringLiteral("/") : p.left(slash);
}

} // namespace

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
