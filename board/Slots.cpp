#include "board/Slots.h"

#include <QCoreApplication>

namespace qb {

QString slotActionText(SlotAction a) {
    switch (a) {
    case SlotAction::Copy:
        return QStringLiteral("复制");
    case SlotAction::Move:
        return QStringLiteral("移动");
    case SlotAction::Follow:
        break;
    }
    return QStringLiteral("跟随模式");
}

SlotAction slotActionFrom(const QString& stored) {
    for (SlotAction a : {SlotAction::Copy, SlotAction::Move})
        if (stored == slotActionText(a)) return a;
    return SlotAction::Follow;
}

} // namespace qb
