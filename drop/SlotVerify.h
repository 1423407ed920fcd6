// Verify after copy, a choice of each slot's: kept in a section of its own of the
// account's settings file once the user makes it; until then, on for a folder on a
// removable drive, where writes go wrong most.
#pragma once
#include <QString>

#include <optional>

namespace qb {

inline QString slotVerifySection() {
    return QStringLiteral("复制后校验");
}

// The user's own choice for slot (group, row) of the current account, if made.
std::optional<bool> storedSlotVerify(int group, int row);
// Whether copies into slot (group, row), whose folder is `folder`, are verified.
bool slotVerifies(int group, int row, const QString& folder);
void storeSlotVerify(int group, int row, bool on);

} // namespace qb
