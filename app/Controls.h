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

// Sets an edit's text. Its change handler runs only when the text differs from
// the present one (QLineEdit emits textChanged only then).
void setEditText(QLineEdit* edit, const QString& text);

} // namespace qb
