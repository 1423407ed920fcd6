// Keyboard navigation of the board, and bringing it by a key.
#include "app/BoardKeys.h"

#include "app/Unit1.h"
#include "board/BoardView.h"
#include "platform/Cursor.h"
#include "platform/Handler.h"
#include "platform/X11Window.h"

#include <QApplication>
#include <QKeyEvent>
#include <QLineEdit>
#include <QRadioButton>
#include <QShortcut>

namespace qb {

BoardKeys::BoardKeys(TForm1& form) : QObject(&form), form_(form) {
    for (int r = 1; r <= kRows; ++r) {
        form_.Edit[r]->installEventFilter(this);
        form_.Ed[r]->installEventFilter(this);
    }
    // Ctrl+1 ... Ctrl+9 and Ctrl+0 for groups 1 ... 10, as a click on the button.
    for (int g = 1; g <= kGroups; ++g) {
        auto* keys = new QShortcut(QKeySequence(Qt::CTRL | Qt::Key(Qt::Key_0 + g % 10)), &form_);
        keys->setObjectName(QStringLiteral("GroupShortcut%1").arg(g));
        connect(keys, &QShortcut::activated, this, [this, g] {
            runHandler(&form_, [this, g] {
                if (form_.RadioButton[g]->isEnabled()) form_.RadioButton[g]->click();
            });
        });
    }
    auto* escape = new QShortcut(QKeySequence(Qt::Key_Escape), &form_);
    escape->setObjectName(QStringLiteral("HideShortcut"));
    connect(escape, &QShortcut::activated, this,
            [this] { runHandler(&form_, [this] { form_.docking().hideNow(); }); });
}

void BoardKeys::bringBoard() {
    // A window the window manager withdrew lost its dock states: set them again.
    if (!form_.isVisible()) makeDockWindow(&form_);
    form_.docking().bringToEdge(cursor().pos());
    takeKeyboard(&form_);
    QWidget* focus = form_.focusWidget();
    if (!form_.rowOf(focus)) focus = form_.Edit[1];
    if (!form_.isActiveWindow()) QApplication::setActiveWindow(&form_);
    focus->setFocus(Qt::ShortcutFocusReason);
}

void BoardKeys::focusSlot(int r, bool nameField) {
    (nameField ? static_cast<QWidget*>(form_.Ed[r]) : form_.Edit[r])->setFocus(Qt::TabFocusReason);
}

bool BoardKeys::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() != QEvent::KeyPress) return false;
    const auto* key = static_cast<QKeyEvent*>(event);
    const int r = form_.rowOf(qobject_cast<QWidget*>(watched));
    if (!r || (key->modifiers() & ~Qt::KeypadModifier) != Qt::NoModifier) return false;
    const bool nameField = watched == form_.Ed[r];
    switch (key->key()) {
    case Qt::Key_Up:
        if (r > 1) focusSlot(r - 1, nameField);
        return true;
    case Qt::Key_Down:
        if (r < kRows) focusSlot(r + 1, nameField);
        return true;
    case Qt::Key_Left:
    case Qt::Key_Right:
        // The two fields of a slot side by side: the arrow goes to the other one.
        if (nameField == (key->key() == Qt::Key_Left)) focusSlot(r, !nameField);
        return true;
    case Qt::Key_Home:
        focusSlot(1, nameField);
        return true;
    case Qt::Key_End:
        focusSlot(kRows, nameField);
        return true;
    case Qt::Key_Return:
    case Qt::Key_Enter:
        runHandler(&form_, [this, r] { form_.EditClick(r); });
        return true;
    default:
        return false;
    }
}

} // namespace qb
