#pragma once
#include <QString>

class QAbstractButton;
class QLineEdit;

namespace qb {

// Program-driven changes of controls, following the window's control rules.

// Checks `button` as program code does: an unchecked button becomes checked (its
// siblings are unchecked first) and its click handler runs; a checked one is left
// alone and nothing runs. An error of the click handler is rethrown here, so it
// ends the program code that checked the button.
void checkRadio(QAbstractButton* button);

// Unchecks `button`, which exclusive siblings never do; nothing runs, as click
// handlers run only for a button that becomes checked.
void uncheckRadio(QAbstractButton* button);

// Sets an edit's text. A text equal to the present one changes nothing, the cursor
// included; a different one runs the change handler and shows the text's beginning.
void setEditText(QLineEdit* edit, const QString& text);

} // namespace qb
