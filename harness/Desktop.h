#pragma once
// The private display as the tests and the benchmarks see it: its windows, their
// state and stacking, and a hand on its mouse and keyboard, through the X tools.
#include "harness/Display.h"

#include <QList>
#include <QMap>
#include <QPoint>
#include <QRect>
#include <QString>
#include <QStringList>

#include <optional>

namespace qb::harness {

// An X window's place on the screen, as xwininfo reports it.
struct WindowInfo {
    unsigned long id = 0;
    QRect geometry; // absolute position and inner size
    bool viewable = false;
};

// A private X display: Xvfb (1280x800x24, a free display number) and openbox,
// with the X tools' view of its windows and input.
class Desktop : public Display {
public:
    // Visible windows of a process (by _NET_WM_PID), with their titles.
    QMap<unsigned long, QString> windowsOf(qint64 pid) const;
    std::optional<WindowInfo> windowInfo(unsigned long id) const;
    // Atoms of _NET_WM_STATE, e.g. "_NET_WM_STATE_ABOVE".
    QStringList netWmState(unsigned long id) const;
    // One property as xprop prints it after " = " (empty when unset).
    QString property(unsigned long id, const QString& name) const;

    // Managed windows from bottom to top (_NET_CLIENT_LIST_STACKING), and the
    // window that has the focus (_NET_ACTIVE_WINDOW, 0 for none).
    QList<unsigned long> stacking() const;
    unsigned long activeWindow() const;

    bool mouseMove(QPoint p) const;
    // Whether the pointer moved to `p` is over window `id` (or its frame's part
    // that holds it), nothing stacked above it there.
    bool pointerReaches(unsigned long id, QPoint p) const;
    // Drags with the left button from `from` to `to`, as a hand does.
    bool mouseDrag(QPoint from, QPoint to) const;
    bool click(QPoint p, int button = 1) const;
    bool doubleClick(QPoint p, int button = 1) const;
    // Gives `id` the keyboard focus, then types the key (xdotool key names: "Return").
    bool key(unsigned long id, const QString& keyName) const;
    // PNG of one window (or of the whole screen when id is 0).
    bool screenshot(const QString& pngPath, unsigned long id = 0) const;

    QString lastError() const { return lastError_; }

private:
    mutable QString lastError_;
};

} // namespace qb::harness
