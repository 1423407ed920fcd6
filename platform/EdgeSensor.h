#pragma once
// Thin windows along the desktop's left edge that report the pointer reaching
// the edge, also during a drag, on display servers that cannot tell where the
// pointer is over other programs' windows (Xwayland sees it only over X windows).
//
// Each window is one pixel wide, stands above all others, has no taskbar entry
// and never takes the keyboard focus; a click on its pixel goes nowhere else,
// but no pixel beside it is covered. A drag over it is reported and refused.
#include <QList>
#include <QObject>
#include <QPoint>
#include <QRect>

#include <memory>
#include <vector>

class QWidget;

namespace qb {

class EdgeSensor final : public QObject {
    Q_OBJECT

public:
    explicit EdgeSensor(QObject* parent = nullptr);
    ~EdgeSensor() override;

    // Covers exactly these one-pixel columns (global logical pixels); an empty
    // list takes every window away.
    void cover(const QList<QRect>& columns);
    // Whether every column asked for is covered by a shown window at its place.
    bool isCovering() const;
    QList<QRect> columns() const { return columns_; }
    // Raises the windows above windows mapped since.
    void raise();

signals:
    // The pointer entered a column, or a drag came over it; global position.
    void touched(QPoint globalPos);

private:
    QList<QRect> columns_;
    std::vector<std::unique_ptr<QWidget>> windows_;
};

} // namespace qb
