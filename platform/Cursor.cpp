#include "platform/Cursor.h"

#include <QCursor>

namespace qb {

namespace {

class PointerCursor final : public Cursor {
public:
    QPoint pos() const override { return QCursor::pos(); }
};

PointerCursor pointer;
Cursor* installed = nullptr;

} // namespace

Cursor& cursor() {
    return installed ? *installed : pointer;
}

void setCursor(Cursor* c) {
    installed = c;
}

} // namespace qb
