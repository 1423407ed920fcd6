#include "app/Controls.h"

#include "platform/Handler.h"

#include <QAbstractButton>
#include <QLineEdit>

namespace qb {

void checkRadio(QAbstractButton* button) {
    propagateFrom([button] { button->setChecked(true); });
}

void setEditText(QLineEdit* edit, const QString& text) {
    edit->setText(text);
}

} // namespace qb
