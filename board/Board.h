#pragma once
// The account's board on the main window: the load, the group switch and rename,
// the slot paths and the three choices. Each handler stores what changed at once;
// the window's controls are the only copy of the board in memory.
#include "board/BoardView.h"

#include <QPoint>
#include <Qt>

#include <span>

namespace qb {

class Board {
public:
    explicit Board(BoardView& view) : view_(view) {}

    // Puts the current account on the window. It only sets controls; the handlers
    // those changes set off write the values back. Their errors end the load at
    // that step, except a path field's, which reports itself.
    void LoadAccount();
    // Makes the default account current and loads it.
    void Button2Click();

    // Slot path change of row r: stores the path under the checked group's slot
    // and derives the row's name.
    void EditChange(int r);
    // Group switch to group g, run once its button is checked.
    void RadioButtonClick(int g);
    // Any mouse press on group button g; the right button renames the group.
    void RadioButtonMouseDown(int g, Qt::MouseButton button, Qt::KeyboardModifiers modifiers,
                              const QPoint& pos);
    // Operation mode, duplicate policy and docking mode: the button of `c` became
    // checked, and its stored value is written.
    void ChoiceClick(Choice c);

    // Whether row r's path is what the settings file holds for its slot in the
    // checked group (false while no group is checked).
    bool pathStored(int r) const;

private:
    void showGroup(const QString& file, int g);
    // Takes off the window what a load that ended early did not restore: the
    // choices of `unrestored`, the group, the paths and names, the group names.
    void clearBoard(std::span<const ChoiceKey> unrestored);

    BoardView& view_;
};

} // namespace qb
