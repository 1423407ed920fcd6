#include "platform/Dialogs.h"

#include "platform/Handler.h"

#include <QGuiApplication>
#include <QInputDialog>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QScreen>
#include <QTimer>

namespace qb {

namespace {

class QtDialogs final : public Dialogs {
public:
    void errorBox(QWidget* parent, const QString& text) override {
        QMessageBox box(QMessageBox::Critical, appTitle(), text, QMessageBox::Ok, parent);
        showAsPlainText(box);
        keepAboveMainWindow(&box);
        box.exec();
    }
    void messageBox(QWidget* parent, const QString& text) override {
        ModalScope modal;
        QMessageBox box(QMessageBox::NoIcon, appTitle(), text, QMessageBox::Ok, parent);
        showAsPlainText(box);
        keepAboveMainWindow(&box);
        box.exec();
    }
    bool getText(QWidget* parent, const QString& title, const QString& prompt, int maxLength,
                 QString& text) override {
        ModalScope modal;
        QInputDialog dlg(parent);
        keepAboveMainWindow(&dlg);
        dlg.setWindowTitle(title);
        dlg.setLabelText(prompt);
        dlg.setTextValue(text);
        dlg.setOkButtonText(QStringLiteral("OK"));
        dlg.setCancelButtonText(QStringLiteral("Cancel"));
        if (auto* edit = dlg.findChild<QLineEdit*>()) {
            edit->setMaxLength(maxLength);
            edit->selectAll();
        }
        // Centred on the screen, not on the (narrow, maybe edge-docked) parent.
        dlg.adjustSize();
        if (const QScreen* screen = parent ? parent->screen() : QGuiApplication::primaryScreen())
            dlg.move(screen->geometry().center() - dlg.rect().center());
        if (dlg.exec() != QDialog::Accepted) return false;
        text = dlg.textValue();
        return true;
    }
};

QtDialogs qtDialogs;
Dialogs* installed = nullptr;

} // namespace

void keepAboveMainWindow(QWidget* box) {
    box->setWindowFlag(Qt::WindowStaysOnTopHint, true);
    // Once shown, ask for the focus as well: a box of a program that has none yet
    // (a refused second start) is answered with the keyboard too.
    QTimer::singleShot(0, box, [box] {
        box->raise();
        box->activateWindow();
    });
}

Dialogs& dialogs() {
    return installed ? *installed : qtDialogs;
}

void setDialogs(Dialogs* d) {
    installed = d;
}

void showAsPlainText(QMessageBox& box) {
    box.setTextFormat(Qt::PlainText);
    // The informative text has a label of its own, which the box leaves to guess.
    for (QLabel* label : box.findChildren<QLabel*>(QStringLiteral("qt_msgbox_informativelabel")))
        label->setTextFormat(Qt::PlainText);
}

QString errorBoxText(const QString& message) {
    if (!message.isEmpty() && message.back().unicode() > u'.') return message + u'.';
    return message;
}

} // namespace qb
