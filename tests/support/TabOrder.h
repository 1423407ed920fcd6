#pragma once
#include <QWidget>

// The next widget the Tab key reaches after `w` (the focus chain also holds helper
// widgets, such as scroll area viewports, that never take the focus).
inline QWidget* nextTabStop(QWidget* w) {
    for (QWidget* next = w->nextInFocusChain(); next && next != w; next = next->nextInFocusChain())
        if ((next->focusPolicy() & Qt::TabFocus) && next->isEnabled()) return next;
    return nullptr;
}
