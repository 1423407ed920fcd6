// Slot disks in the journal's file; an older copy's records are taken over once.
#include "drop/SlotDisks.h"

#include "board/Accounts.h"
#include "board/Choices.h"
#include "board/Slots.h"
#include "operation/DropHistory.h"
#include "operation/Log.h"
#include "store/IniFile.h"
#include "store/Settings.h"

#include <QFile>
#include <QFileInfo>

namespace qb {
namespace {

std::string bytes(const QString& s) {
    return QFile::encodeName(s).toStdString();
}

// Copies of the program before this one kept the records in the settings file
// itself. They are read once per file and the section is left as it stands.
void importFrom(history::Journal& journal, const AccountState& state) {
    const std::string source = bytes(state.currentSettingsFile);
    if (journal.slotDisksImported(source)) return;
    QFile file(state.currentSettingsFile);
    if (QFileInfo(file).isFile() && file.open(QIODevice::ReadOnly)) {
        const ini::Document doc = ini::Document::parse(file.read(16 << 20));
        for (int g = 1; g <= kGroups; ++g) {
            for (int r = 1; r <= kRows; ++r) {
                const QString key = slotKey(g, r);
                const auto identity = doc.value(slotDisksSection(), key);
                const auto path = doc.value(slotDisksSection(), key + QStringLiteral("路径"));
                if (identity && path && !identity->isEmpty())
                    journal.setSlotDisk(state.currentAccount.toStdString(), g, r, bytes(*path),
                                        bytes(*identity));
            }
        }
    }
    journal.markSlotDisksImported(source);
}

} // namespace

QString slotDisk(int group, int row, const QString& path) {
    history::Journal* journal = dropJournal();
    if (!journal || group < 1) return {};
    const AccountState& state = accountState();
    importFrom(*journal, state);
    return QFile::decodeName(QByteArray::fromStdString(
        journal->slotDisk(state.currentAccount.toStdString(), group, row, bytes(path))));
}

bool storeSlotDisk(int group, int row, const QString& path, const QString& identity) {
    history::Journal* journal = dropJournal();
    if (!journal || group < 1) return false;
    const AccountState& state = accountState();
    importFrom(*journal, state); // an old record must not overwrite this one later
    const bool kept = journal->setSlotDisk(state.currentAccount.toStdString(), group, row,
                                           bytes(path), bytes(identity));
    if (!kept)
        qCWarning(lcDrop) << "the disk of slot" << row << "of group" << group << "is not kept";
    return kept;
}

} // namespace qb
