#pragma once
// The history window: every recorded drop, newest first, each opening to its items,
// with what can be done about the one chosen.
#include "history/Journal.h"

#include <QAbstractItemModel>
#include <QWidget>

#include <vector>

class QLineEdit;
class QPushButton;
class QTimer;
class QTreeView;

namespace qb {

class UndoController;

// The journal's drops as a tree: top rows are drops, their children the items.
// Drops are read a page at a time as the view scrolls, and a drop's items only
// when it is opened, so a journal of thousands of drops opens at once.
class HistoryModel final : public QAbstractItemModel {
    Q_OBJECT

public:
    enum Column { Time, Place, Operation, Count, Result, Columns };
    static constexpr int kPage = 100;

    explicit HistoryModel(QObject* parent = nullptr) : QAbstractItemModel(parent) {}

    // Reads the journal again from the newest drop, with `filter` over names and paths.
    void reload(history::Journal* journal, const QString& filter);

    // The drop of a top row, or of an item row's drop; null for an invalid index.
    const history::DropRecord* dropAt(const QModelIndex& index) const;
    // The item of an item row; null for a drop row.
    const history::ItemRecord* itemAt(const QModelIndex& index) const;
    // The items of the drop at top row `row`, read now if not read yet.
    const std::vector<history::ItemRecord>& itemsOf(int row);

    QModelIndex index(int row, int column, const QModelIndex& parent = {}) const override;
    QModelIndex parent(const QModelIndex& child) const override;
    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    bool hasChildren(const QModelIndex& parent = {}) const override;
    bool canFetchMore(const QModelIndex& parent) const override;
    void fetchMore(const QModelIndex& parent) override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation,
                        int role = Qt::DisplayRole) const override;

private:
    struct Node {
        history::DropRecord drop;
        bool itemsRead = false;
        std::vector<history::ItemRecord> items;
    };
    QVariant dropText(const Node& node, int column) const;
    QVariant itemText(const history::ItemRecord& item, int column) const;

    history::Journal* journal_ = nullptr;
    std::string filter_;
    std::vector<Node> drops_;
    bool allRead_ = true;
};

class HistoryWindow final : public QWidget {
    Q_OBJECT

public:
    explicit HistoryWindow(UndoController& undo, QWidget* parent = nullptr);

    // Shows the window without blocking, or brings it to the front; the first
    // time beside the board where nothing can be stacked above it.
    void showModeless(QWidget* board);
    // Reads the journal again (also whenever it changes while shown).
    void reload();

    HistoryModel* model() const { return model_; }
    QLineEdit* filter() const { return filter_; }
    QTreeView* tree() const { return tree_; }
    QPushButton* openDestButton() const { return openDest_; }
    QPushButton* showSourceButton() const { return showSource_; }
    QPushButton* undoButton() const { return undo_; }

protected:
    void showEvent(QShowEvent* event) override;

private:
    void updateButtons();
    void openDestination();
    void showSourceFolder();
    void openFolderOrSay(const QString& folder);
    void undoChosen();
    // The drop the current row belongs to, and its top row.
    const history::DropRecord* chosenDrop(int* row = nullptr) const;

    UndoController& undoCtl_;
    HistoryModel* model_;
    QLineEdit* filter_;
    QTreeView* tree_;
    QPushButton* openDest_;
    QPushButton* showSource_;
    QPushButton* undo_;
    QTimer* filterDelay_;
    bool placed_ = false;
};

} // namespace qb
