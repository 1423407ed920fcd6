#include "find/SlotIndex.h"

#include "board/Choices.h"
#include "board/FolderName.h"
#include "store/Settings.h"

namespace qb {

QList<FindEntry> readSlots(const QString& settingsFile) {
    QList<FindEntry> entries;
    for (int g = 1; g <= kGroups; ++g) {
        const QString groupName =
            ReadSetting(settingsFile, schemeSection(), QStringLiteral("name") + QString::number(g),
                        QString::number(g));
        for (int r = 1; r <= kRows; ++r) {
            const QString path =
                ReadSetting(settingsFile, foldersSection(), slotKey(g, r), defaultSlotPath());
            if (path.isEmpty() || path == defaultSlotPath()) continue;
            entries << makeFindEntry(g, r, groupName, folderName(path), path);
        }
    }
    return entries;
}

} // namespace qb
