#pragma once
// What edge docking needs beyond its two polls: an edge sensor where the display
// server cannot follow the pointer everywhere, and the check that the window
// really went beyond the edge. Where either fails the window does not hide, and
// the status line says once why.
#include <QObject>
#include <QString>

#include <optional>

class TForm1;

namespace qb {

class EdgeSensor;

class EdgeDock final : public QObject {
    Q_OBJECT

public:
    explicit EdgeDock(TForm1& form);
    // The one installed on `form`, or nullptr.
    static EdgeDock* of(const TForm1& form);

    // False once hiding turned out impossible here.
    bool allowsHiding() const { return !refused_; }
    // Keeps the sensor on the exposed left edges while auto-hide is on (cheap
    // when nothing changed: the reveal poll calls it on every tick).
    void syncSensor();
    // The hide poll moved the window to `left`: checked once the window system
    // had time to answer.
    void hid(int left);
    // A reveal or re-arm moved the window back: nothing is left to check.
    void shown() { pendingLeft_.reset(); }
    const EdgeSensor* sensor() const { return sensor_; }

    // Status texts.
    static QString cannotLeaveScreen();
    static QString cannotFindEdge();

private:
    void refuse(const QString& status);
    TForm1& form_;
    EdgeSensor* sensor_ = nullptr;
    std::optional<int> pendingLeft_;
    bool refused_ = false;
};

} // namespace qb
