#pragma once
// The find field's result list: two lines per slot (group, row and name; then
// the path, shortened in its middle), and a drag from a result drags its folder.
#include <QListWidget>
#include <QStyledItemDelegate>

#include <functional>

namespace qb {

class FindResultList final : public QListWidget {
public:
    // The path a result shows on its second line.
    static constexpr int kPathRole = Qt::UserRole + 1;

    explicit FindResultList(QWidget* parent);

    // Drags the folder of result `row` out (the view found a drag starting there).
    std::function<void(int row)> dragOut;

protected:
    void startDrag(Qt::DropActions supportedActions) override;
};

class FindResultDelegate final : public QStyledItemDelegate {
public:
    using QStyledItemDelegate::QStyledItemDelegate;
    void paint(QPainter* painter, const QStyleOptionViewItem& option,
               const QModelIndex& index) const override;
    QSize sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const override;
};

} // namespace qb
