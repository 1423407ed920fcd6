#include "find/FindResults.h"

#include <QApplication>
#include <QPainter>

namespace qb {

FindResultList::FindResultList(QWidget* parent) : QListWidget(parent) {
    setItemDelegate(new FindResultDelegate(this));
    setDragEnabled(true);
    setDragDropMode(QAbstractItemView::DragOnly);
    setSelectionMode(QAbstractItemView::SingleSelection);
    setUniformItemSizes(true);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
}

void FindResultList::startDrag(Qt::DropActions) {
    const int row = currentRow();
    if (row >= 0 && dragOut) dragOut(row);
}

void FindResultDelegate::paint(QPainter* painter, const QStyleOptionViewItem& option,
                               const QModelIndex& index) const {
    QStyleOptionViewItem opt = option;
    initStyleOption(&opt, index);
    const QString title = opt.text;
    opt.text.clear();
    const QWidget* widget = opt.widget;
    QStyle* style = widget ? widget->style() : QApplication::style();
    style->drawControl(QStyle::CE_ItemViewItem, &opt, painter, widget);

    // A result that takes the drag shows it over the selection too.
    const QVariant shade = index.data(Qt::BackgroundRole);
    if (shade.isValid()) painter->fillRect(opt.rect, shade.value<QColor>());
    const bool selected = (opt.state & QStyle::State_Selected) && !shade.isValid();
    const QPalette::ColorRole text = selected ? QPalette::HighlightedText : QPalette::Text;
    const QRect area = opt.rect.adjusted(4, 1, -4, -1);
    const int line = opt.fontMetrics.height();
    painter->save();
    painter->setPen(shade.isValid() ? QColor(Qt::black) : opt.palette.color(text));
    painter->drawText(QRect(area.left(), area.top(), area.width(), line),
                      Qt::AlignLeft | Qt::AlignVCenter,
                      opt.fontMetrics.elidedText(title, Qt::ElideRight, area.width()));
    QColor dim = shade.isValid() ? QColor(Qt::black) : opt.palette.color(text);
    if (!selected) dim.setAlpha(160);
    painter->setPen(dim);
    const QString path = index.data(FindResultList::kPathRole).toString();
    painter->drawText(QRect(area.left(), area.top() + line, area.width(), line),
                      Qt::AlignLeft | Qt::AlignVCenter,
                      opt.fontMetrics.elidedText(path, Qt::ElideMiddle, area.width()));
    painter->restore();
}

QSize FindResultDelegate::sizeHint(const QStyleOptionViewItem& option, const QModelIndex&) const {
    return QSize(option.rect.width(), 2 * option.fontMetrics.height() + 4);
}

} // namespace qb
