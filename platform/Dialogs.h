#pragma once
#include <QString>

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

// Shows a box's text and informative text as plain text: names and paths in
// them are never taken for markup. Call after setting both texts.
void showAsPlainText(QMessageBox& box);

// The error box text for an error message: a full stop is appended when the
// message is not empty and its last character has a code above that of ".".
QString errorBoxText(const QString& message);

} // namespace qb
