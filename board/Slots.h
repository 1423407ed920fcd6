#pragma once
// What a slot keeps beside its path, in sections older copies of the program pass
// over: its own action, and the disk its folder was chosen on.
#include <QString>

namespace qb {

// "跟随模式" (the default) does what the checked mode says.
enum class SlotAction { Follow, Copy, Move };

inline QString slotActionsSection() {
    return QStringLiteral("槽位操作");
}
// Where older copies kept the disk of each slot (now beside the drop journal);
// read once, never written.
inline QString slotDisksSection() {
    return QStringLiteral("槽位磁盘");
}

// The stored spelling, which is also the menu's text.
QString slotActionText(SlotAction a);
// Anything else, a missing key's default included, follows the mode.
SlotAction slotActionFrom(const QString& stored);

} // namespace qb
