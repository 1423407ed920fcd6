// The slots' verify choices in the settings file, and their default by the drive.
#include "drop/SlotVerify.h"

#include "board/Accounts.h"
#include "board/Choices.h"
#include "store/Settings.h"
#include "verdict/FileSystem.h"

#include <QFile>

namespace qb {

std::optional<bool> storedSlotVerify(int group, int row) {
    if (group < 1) return std::nullopt;
    const QString v = ReadSetting(accountState().currentSettingsFile, slotVerifySection(),
                                  slotKey(group, row), QString());
    if (v == QLatin1String("1")) return true;
    if (v == QLatin1String("0")) return false;
    return std::nullopt; // anything else: never chosen
}

bool slotVerifies(int group, int row, const QString& folder) {
    if (const std::optional<bool> chosen = storedSlotVerify(group, row)) return *chosen;
    return !folder.isEmpty() && verdict::probe(QFile::encodeName(folder).toStdString()).removable;
}

void storeSlotVerify(int group, int row, bool on) {
    if (group < 1) return;
    WriteSetting(accountState().currentSettingsFile, slotVerifySection(), slotKey(group, row),
                 on ? QStringLiteral("1") : QStringLiteral("0"));
}

} // namespace qb
