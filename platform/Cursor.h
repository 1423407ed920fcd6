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
};

// The installed implementation (the real pointer unless a test installed another).
Cursor& cursor();
// Installs `c` (not owned); nullptr restores the real pointer.
void setCursor(Cursor* c);

// A cursor that stands wherever a test puts it and counts how often it was read.
class FakeCursor final : public Cursor {
public:
    QPoint pos() const override {
        ++reads;
        return at;
    }
    QPoint at;
    mutable int reads = 0;
};

} // namespace qb
