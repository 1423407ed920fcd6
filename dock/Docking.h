#pragma once
// Edge docking of the main window: the hide and reveal polls, the re-arm, the
// edge sensor where the display server cannot follow the pointer everywhere, and
// the check that a hide really took the window beyond the edge. Where either
// fails the window does not hide, and the status line says once why.
#include "dock/Rules.h"

#include <QObject>
#include <QPoint>
#include <QString>

#include <optional>

class QTimer;
class QWidget;

namespace qb {

class EdgeSensor;

// What docking needs of the main window beyond its geometry.
class DockHost {
public:
    // "隐藏窗口" is checked.
    virtual bool autoHide() const = 0;
    // Puts `text` on the status line.
    virtual void showDockingStatus(const QString& text) = 0;
    // Fits the window into a monitor's available height (it is coming back there).
    virtual void fitToMonitorHeight(int available) = 0;

protected:
    ~DockHost() = default;
};

class Docking final : public QObject, private docking::Window {
    Q_OBJECT

public:
    // `window` is the main window (a frameless top-level: its frame geometry is the
    // whole window); the two timers are its hide and reveal polls, whose ticks run
    // hideTick() and revealTick() with errors shown over `window`.
    Docking(QWidget& window, DockHost& host, QTimer& hidePoll, QTimer& revealPoll);
    ~Docking() override;

    // Sets up the edge watch for this display server and starts both polls.
    void start();
    // Sets up the edge watch anew: a sensor where the server needs one, or no
    // hiding at all where there is no edge to find. Until it runs, hiding is allowed.
    void watchEdge();

    // The hide poll: a cursor beyond the window's right edge sends it beyond the
    // desktop's left edge; the poll stops until re-armed.
    void hideTick();
    // The reveal poll: keeps the sensor in place and brings the window back when
    // the cursor touches an exposed left edge.
    void revealTick();
    // A mouse movement over the window's own background: back to the left edge of
    // its monitor, hiding armed again.
    void rearm();
    // Brings the window back for a cursor at global `p` when `p` touches a
    // monitor's exposed left edge (the reveal poll, or the edge sensor).
    void revealAt(QPoint p);

    // The keyboard asked for the board: shown whole at the left edge of the monitor
    // under the pointer (in hide mode; otherwise only a board off every screen
    // moves), raised and active. Hiding is not re-armed, as after a reveal.
    void bringToEdge(QPoint pointer);
    // Esc on the board in hide mode: beyond the edge at once, as the hide poll does.
    void hideNow();
    // While held (a window the drag goes on to beside the board), the hide poll
    // leaves the board where it is. Holds nest.
    void hold(bool on) { holds_ += on ? 1 : -1; }
    bool held() const { return holds_ > 0; }

    // The program put the window somewhere on purpose (a load centres it, the
    // tray shows it): a hide still waiting for its check is not refused for that.
    void windowPlaced() { pendingLeft_.reset(); }

    // False once hiding turned out impossible here.
    bool allowsHiding() const { return !refused_; }
    const EdgeSensor* sensor() const { return sensor_; }

    // Status texts.
    static QString cannotLeaveScreen();
    static QString cannotFindEdge();

private:
    // docking::Window over the real window.
    bool autoHide() const override;
    int left() const override;
    int top() const override;
    int width() const override;
    int height() const;
    void setLeft(int x) override;
    void moveTo(int x, int y) override;
    void activate() override;
    void setHidePeriod(int ms) override;

    void syncSensor();
    void hid(int left);
    void shown() { pendingLeft_.reset(); }
    void refuse(const QString& status);

    QWidget& window_;
    DockHost& host_;
    QTimer& hidePoll_;
    QTimer& revealPoll_;
    EdgeSensor* sensor_ = nullptr;
    // Where the last hide sent the window, until the window system confirmed it.
    std::optional<int> pendingLeft_;
    bool refused_ = false;
    int holds_ = 0;
};

} // namespace qb
