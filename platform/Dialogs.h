#pragma once
#include <QRect>
#include <QString>
#include <functional>

class QMessageBox;
class QWidget;

namespace qb {

// The application title: caption of every message box of the program.
inline QString appTitle() {
    return QStringLiteral(" QuillbeckV9.6");
}

// Every modal box the program shows goes through here, so tests can answer
// them without a person. The real implementation uses Qt's dialogs.
class Dialogs {
public:
    virtual ~Dialogs() = default;
    // Modal error box: stop icon, one OK button, captioned with the application title.
    // `text` is shown as given (the caller applies the full-stop rule).
    virtual void errorBox(QWidget* parent, const QString& text) = 0;
    // Modal message box without icon, one OK button, captioned with the application title.
    virtual void messageBox(QWidget* parent, const QString& text) = 0;
    // Modal question with two buttons; `no` is the default and Esc's answer. True: yes.
    virtual bool question(QWidget* parent, const QString& text, const QString& yes,
                          const QString& no) = 0;
    // Modal one-line input dialog; returns false when cancelled (text is then untouched).
    virtual bool getText(QWidget* parent, const QString& title, const QString& prompt,
                         int maxLength, QString& text) = 0;
};

// The installed implementation (the Qt one unless a test installed another).
Dialogs& dialogs();
// Installs `d` (not owned); nullptr restores the Qt implementation.
void setDialogs(Dialogs* d);

// Makes a box or dialog stand above the main window and take the keyboard focus
// when shown. The main window is a dock kept above the others; being transient
// for it is not enough under every window manager, so boxes ask for the same
// layer and come after it. Call before showing the box.
void keepAboveMainWindow(QWidget* box);

// Where a box of `size` goes on a monitor whose available area is `avail`, the
// main window's frame being `board`: beside the board (right of it where there is
// room, else left), level with its middle, never over it and whole on the
// monitor. A board not on the monitor leaves the box centred there.
QRect besideBoard(QRect board, QSize size, QRect avail);

// Moves a box that is about to be shown beside the main window (the topmost
// ancestor of `parent`), as besideBoard places it, when that window is in sight
// and its monitor has room for the box beside it. Returns false, moving nothing,
// otherwise.
bool moveBesideBoard(QWidget* box, QWidget* parent);

// Places a box that is about to be shown beside the main window (the topmost
// ancestor of `parent`) when nothing can be stacked above that window: Xwayland
// gives the window no manager. Returns false, placing nothing, otherwise: there
// the box is kept above the window instead. A box the desktop then shows on
// another monitor is moved back where it was placed, where the desktop lets the
// program do so (sway).
bool placeBesideMainWindow(QWidget* box, QWidget* parent);

// Some desktops put a box where they like whatever place it asks for (sway centres
// every floating Xwayland window on its output). A box placed by
// placeBesideMainWindow that still lands over the main window then calls
// `makeRoom` with the main window and the box's frame, once it is shown there, so
// that the main window can step aside. Empty: nothing is done.
void setMakeRoomForBoxes(std::function<void(QWidget* main, QRect box)> makeRoom);

// Shows a box's text and informative text as plain text: names and paths in
// them are never taken for markup. Call after setting both texts.
void showAsPlainText(QMessageBox& box);

// The error box text for an error message: a full stop is appended when the
// message is not empty and its last character has a code above that of ".".
QString errorBoxText(const QString& message);

} // namespace qb
