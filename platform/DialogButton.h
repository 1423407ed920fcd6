#pragma once
#include <QString>

class QPushButton;
class QRect;
class QWidget;

namespace qb {

// A push button of the account dialog or the help window: named, placed, with its
// tool tip, and never a default button (Enter and Escape trigger nothing there).
QPushButton* makeDialogButton(QWidget* parent, const char* name, const QString& caption,
                              const QString& hint, const QRect& geometry);

} // namespace qb
