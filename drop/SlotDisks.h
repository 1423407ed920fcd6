// The disk each slot's folder was chosen on: kept beside the drop journal, never in
// the settings files, so a drop can tell an unplugged drive from its empty mount folder.
#pragma once
#include <QString>

namespace qb {

// The identity of the disk slot (group, row) of the current account lay on when its
// folder was set to `path`; "" when none is known for that path (or no journal).
QString slotDisk(int group, int row, const QString& path);
// Keeps `identity` for the slot's `path`. False when it could not be kept.
bool storeSlotDisk(int group, int row, const QString& path, const QString& identity);

} // namespace qb
