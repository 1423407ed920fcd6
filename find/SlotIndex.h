#pragma once
// The account's slots as the search sees them, read from its settings file.
#include "find/FindMatch.h"

#include <QList>
#include <QString>

namespace qb {

// Every slot of the ten groups that holds a folder (a slot never set stands for
// the root and is left out), with its group's name, in group and row order.
QList<FindEntry> readSlots(const QString& settingsFile);

} // namespace qb
