#pragma once
// The account's board on the main window: the load, the group switch and rename,
// the slot paths and the three choices. Each handler stores what changed at once;
// the window's controls are the only copy of the board in memory.
#include "board/BoardView.h"
#include "board/Slots.h"

#include <span>

namespace qb {

class Board {
public:
    explicit Board(BoardView& view) : view_(view) {}

    // Puts the current account on the window. It only applies controls; the
    // handlers those changes set off write the values back (up to 24 keys). Their
    // errors end the load at that step, except a path field's, which reports itself.
    void loadCurrentAccount();
    // Makes the default account current and loads it.
    void loadDefaultAccount();

    // Row r's path field changed: stores the path under the checked group's slot
    // and derives the row's name.
    void storeSlotPath(int r);
    // Group g's button became checked: stores the group and shows its paths.
    void switchToGroup(int g);
    // Asks for group g's new name and stores it.
    void renameGroup(int g);
    // The button of `c` became checked: its stored value is written.
    void storeChoice(Choice c);

    // Whether row r's path is what the settings file holds for its slot in the
    // checked group (false while no group is checked).
    bool pathStored(int r) const;

    // Row r's own action in the checked group (Follow while no group is checked),
    // and its change, stored at once.
    SlotAction slotAction(int r) const;
    // Slot (g, r)'s own action, whichever group the board shows (Follow for no group).
    SlotAction slotActionAt(int g, int r) const;
    void storeSlotAction(int r, SlotAction a);

private:
    void showGroupPaths(const QString& file, int g);
    // Takes off the window what a load that ended early did not restore: the
    // choices of `unrestored`, the group, the paths and names, the group names.
    void clearBoard(std::span<const ChoiceKey> unrestored);

    BoardView& view_;
};

} // namespace qb
