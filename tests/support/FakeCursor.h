#pragma once
#include "platform/Cursor.h"

namespace qb {

// A cursor that stands wherever a test puts it and counts how often it was read;
// `visible` false plays a pointer the display server has not seen.
class FakeCursor final : public Cursor {
public:
    QPoint pos() const override {
        ++reads;
        return at;
    }
    bool seen() const override { return visible; }
    QPoint at;
    bool visible = true;
    mutable int reads = 0;
};

} // namespace qb
