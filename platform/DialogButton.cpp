#include "platform/DialogButton.h"

#include <QPushButton>

namespace qb {

QPushButton* makeDialogButton(QWidget* parent, const char* name, const QString& caption,
                              const QString& hint, const QRect& geometry) {
    auto* b = new QPushButton(caption, parent);
    b->setObjectName(QString::fromLatin1(name));
    b->setToolTip(hint);
    b->setGeometry(geometry);
    b->setAutoDefault(false);
    b->setDefault(false);
    return b;
}

} // namespace qb
