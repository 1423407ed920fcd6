#include "board/Board.h"

#include "board/Accounts.h"
#include "board/FolderName.h"
#include "board/Log.h"
#include "platform/Dialogs.h"
#include "store/Settings.h"

#include <QCoreApplication>

namespace qb {

namespace {

// The group a stored "project" names. Anything but "1" to "10" names no group and
// is read as group 1, the value a missing key reads as.
int storedGroup(const QString& project) {
    for (int g = 1; g <= kGroups; ++g)
        if (project == QString::number(g)) return g;
    return 1;
}

} // namespace

void Board::loadCurrentAccount() {
    view_.centre();
    const AccountState& state = findCurrentAccount();
    const QString file = state.currentSettingsFile;
    qCInfo(lcBoard) << "loading account" << state.currentAccount << "from" << file;
    view_.setAccountLabel(state.currentAccount);
    if (state.accountRefused)
        view_.setStatusText(QCoreApplication::translate("qb::Board", "账户名无效，已使用默认账户"));

    // A refused write ends the load; what its later steps would have set may still
    // show another account's board, so that is taken off the window before the
    // error goes on.
    std::span<const ChoiceKey> unrestored = choiceKeys();
    try {
        // Values that match none of the known ones leave their buttons as they are.
        for (const ChoiceKey& k : choiceKeys()) {
            // A button whose handler fails still shows this account's value.
            unrestored = unrestored.subspan(1);
            const QString value = ReadSetting(file, schemeSection(), k.key, k.defaultValue);
            if (const std::optional<Choice> c = choiceFor(k.key, value)) view_.applyChoice(*c);
        }
        const int g = storedGroup(
            ReadSetting(file, schemeSection(), QStringLiteral("project"), QStringLiteral("1")));
        view_.applyGroup(g);
        showGroupPaths(file, g);
    } catch (...) {
        qCInfo(lcBoard) << "the load ended early: a write was refused";
        clearBoard(unrestored);
        throw;
    }

    for (int g = 1; g <= kGroups; ++g) {
        view_.setGroupCaption(g, ReadSetting(file, schemeSection(),
                                             QStringLiteral("name") + QString::number(g),
                                             QString::number(g)));
    }
}

// Nothing is written: with no group checked a cleared path field stores nothing.
void Board::clearBoard(std::span<const ChoiceKey> unrestored) {
    for (const ChoiceKey& k : unrestored)
        for (Choice c : allChoices())
            if (storedKey(c) == k.key) view_.uncheck(c);
    view_.uncheckGroups();
    for (int r = 1; r <= kRows; ++r) {
        view_.applyPathText(r, QString());
        view_.setNameText(r, QString());
        view_.showSlotAction(r, SlotAction::Follow);
    }
    for (int g = 1; g <= kGroups; ++g)
        view_.setGroupCaption(g, QString());
}

void Board::loadDefaultAccount() {
    chooseDefaultAccount();
    loadCurrentAccount();
}

// The path is stored under the slot of the checked group (nothing is stored while
// no group is checked). A refused write ends the handler before the name changes.
void Board::storeSlotPath(int r) {
    const QString path = view_.pathText(r);
    if (const int g = view_.checkedGroup())
        WriteSetting(accountState().currentSettingsFile, foldersSection(), slotKey(g, r), path);
    view_.setNameText(r, folderName(path));
}

// Group g's button is already checked (and the others not), so each path field
// that changes stores itself under group g's slots.
void Board::switchToGroup(int g) {
    const QString& file = accountState().currentSettingsFile;
    WriteSetting(file, schemeSection(), QStringLiteral("project"), QString::number(g));
    showGroupPaths(file, g);
}

// The name is stored after Cancel too, with the caption unchanged.
void Board::renameGroup(int g) {
    QString name = view_.groupCaption(g);
    dialogs().getText(view_.dialogOwner(),
                      QCoreApplication::translate("qb::Board", "设置文件夹分组名"),
                      QStringLiteral("Settings folder group name"), 255, name);
    view_.setGroupCaption(g, name);
    WriteSetting(accountState().currentSettingsFile, schemeSection(),
                 QStringLiteral("name") + QString::number(g), name);
}

void Board::storeChoice(Choice c) {
    WriteSetting(accountState().currentSettingsFile, schemeSection(), storedKey(c), storedValue(c));
}

bool Board::pathStored(int r) const {
    const int g = view_.checkedGroup();
    // No line of a settings file holds a line break, so a missing key never matches.
    return g != 0 && ReadSetting(accountState().currentSettingsFile, foldersSection(),
                                 slotKey(g, r), QStringLiteral("\n")) == view_.pathText(r);
}

// Each path field set to a different text stores itself and derives its name.
void Board::showGroupPaths(const QString& file, int g) {
    for (int r = 1; r <= kRows; ++r) {
        view_.applyPathText(r,
                            ReadSetting(file, foldersSection(), slotKey(g, r), defaultSlotPath()));
        view_.showSlotAction(r, slotAction(r));
    }
}

SlotAction Board::slotAction(int r) const {
    return slotActionAt(view_.checkedGroup(), r);
}

SlotAction Board::slotActionAt(int g, int r) const {
    if (!g) return SlotAction::Follow;
    return slotActionFrom(ReadSetting(accountState().currentSettingsFile, slotActionsSection(),
                                      slotKey(g, r), QString()));
}

void Board::storeSlotAction(int r, SlotAction a) {
    const int g = view_.checkedGroup();
    if (!g) return;
    WriteSetting(accountState().currentSettingsFile, slotActionsSection(), slotKey(g, r),
                 slotActionText(a));
    view_.showSlotAction(r, a);
}

} // namespace qb
