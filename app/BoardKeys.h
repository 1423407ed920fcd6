#pragma once
// The board from the keyboard: the arrow keys move between the slots, Enter opens
// the slot's folder, Ctrl+1 ... Ctrl+0 switch groups, Esc sends the board back
// beyond the edge in hide mode. The mouse is left as it is.
#include <QObject>

class TForm1;

namespace qb {

class BoardKeys final : public QObject {
public:
    explicit BoardKeys(TForm1& form);

    // The board at the left edge, active, with the keyboard on a slot (the global
    // shortcut, `quillbeck show`).
    void bringBoard();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    // Puts the keyboard on row r's path or name field.
    void focusSlot(int r, bool nameField);

    TForm1& form_;
};

} // namespace qb
