#pragma once
#include <functional>

class QAbstractButton;
class QWidget;

namespace qb {

// Every event handler runs through one of these, so no C++ exception ever
// crosses a Qt signal or event dispatch.

// Runs a handler. An error escaping it is shown in the error box and the program
// goes on; but when the handler was set off by program code inside
// `propagateFrom`, the error is kept and rethrown to that code instead (a failing
// click handler set off by the load ends the load).
void runHandler(QWidget* owner, const std::function<void()>& handler);

// Runs a handler whose errors end only the handler itself: they are always shown
// at once, never passed on (a path field's change handler).
void runHandlerShowingErrors(QWidget* owner, const std::function<void()>& handler);

// Runs program code that changes controls (checking a radio button, setting an
// edit's text). If a handler set off by the change failed, its error is rethrown
// here once the change returns.
void propagateFrom(const std::function<void()>& change);

// Runs `handler` through runHandler whenever `button` is clicked.
void onClick(QWidget* owner, QAbstractButton* button, std::function<void()> handler);

// Shows the error box for the exception being handled (call inside a catch block).
void showCurrentError(QWidget* owner);

// While alive, handlers run from a nested event loop (a modal dialog) are user
// events again: their errors are shown, not passed to the code that opened the dialog.
class ModalScope {
public:
    ModalScope();
    ~ModalScope();
    ModalScope(const ModalScope&) = delete;
    ModalScope& operator=(const ModalScope&) = delete;

private:
    int savedDepth_;
};

} // namespace qb
