#pragma once
#include <QPoint>

namespace qb {

// The global cursor position in screen pixels. Edge docking polls it ten times
// a second; tests install a fake so they can put the cursor anywhere, off-screen
// included, without a real pointer.
class Cursor {
public:
    virtual ~Cursor() = default;
    virtual QPoint pos() const = 0;
    // Whether the display server knows where the pointer is now. Xwayland follows
    // the pointer only over X windows: over a Wayland window it keeps reporting
    // the last place it saw, which says nothing about where the pointer is.
    virtual bool seen() const { return true; }
};

// The installed implementation (the real pointer unless a test installed another).
Cursor& cursor();
// Installs `c` (not owned); nullptr restores the real pointer.
void setCursor(Cursor* c);

} // namespace qb
