#include "app/Controls.h"

#include "platform/Handler.h"

#include <QAbstractButton>
#include <QLineEdit>

namespace qb {

void checkRadio(QAbstractButton* button) {
    propagateFrom([button] { button->setChecked(true); });
}

void uncheckRadio(QAbstractButton* button) {
    if (!button->isChecked()) return;
    const bool exclusive = button->autoExclusive();
    button->setAutoExclusive(false);
    button->setChecked(false);
    button->setAutoExclusive(exclusive);
}

// QLineEdit::setText moves the cursor to the end even for an equal text. A long
// path shows its beginning: its folder's root says more than a cut-off end.
void setEditText(QLineEdit* edit, const QString& text) {
    if (edit->text() == text) return;
    edit->setText(text);
    edit->setCursorPosition(0);
}

} // namespace qb
