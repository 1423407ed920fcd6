#include "platform/Dialogs.h"

#include "platform/Handler.h"
#include "platform/Sway.h"
#include "platform/X11Window.h"

#include <QCursor>
#include <QGuiApplication>
#include <QInputDialog>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPointer>
#include <QPushButton>
#include <QScreen>
#include <QTimer>
#include <QWidget>

#include <algorithm>

namespace qb {

namespace {

class QtDialogs final : public Dialogs {
public:
    void errorBox(QWidget* parent, const QString& text) override {
        QMessageBox box(QMessageBox::Critical, appTitle(), text, QMessageBox::Ok, parent);
        showAsPlainText(box);
        keepAboveMainWindow(&box);
        placeBesideMainWindow(&box, parent);
        box.exec();
    }
    void messageBox(QWidget* parent, const QString& text) override {
        ModalScope modal;
        QMessageBox box(QMessageBox::NoIcon, appTitle(), text, QMessageBox::Ok, parent);
        showAsPlainText(box);
        keepAboveMainWindow(&box);
        placeBesideMainWindow(&box, parent);
        box.exec();
    }
    bool question(QWidget* parent, const QString& text, const QString& yes,
                  const QString& no) override {
        ModalScope modal;
        QMessageBox box(QMessageBox::Question, appTitle(), text, QMessageBox::NoButton, parent);
        const QAbstractButton* yesButton = box.addButton(yes, QMessageBox::AcceptRole);
        QPushButton* noButton = box.addButton(no, QMessageBox::RejectRole);
        box.setDefaultButton(noButton);
        box.setEscapeButton(noButton);
        showAsPlainText(box);
        keepAboveMainWindow(&box);
        placeBesideMainWindow(&box, parent);
        box.exec();
        return box.clickedButton() == yesButton;
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
        placeBesideMainWindow(&dlg, parent);
        if (dlg.exec() != QDialog::Accepted) return false;
        text = dlg.textValue();
        return true;
    }
};

QtDialogs qtDialogs;
Dialogs* installed = nullptr;

std::function<void(QWidget*, QRect)>& makeRoomHook() {
    static std::function<void(QWidget*, QRect)> hook;
    return hook;
}

// Watches where the desktop really put a box. Put on another monitor than the
// one it was placed on (sway centres it on the focused output, which is where
// the drag began, not where the board is), the desktop is asked once to put it
// back; over the main window, the main window is asked to make room.
class RoomWatcher final : public QObject {
public:
    explicit RoomWatcher(QWidget* box) : QObject(box), box_(box) {
        setObjectName(QStringLiteral("qb_room_watcher"));
        box->installEventFilter(this);
    }
    void watch(QWidget* main, QRect placed, QRect monitor) {
        main_ = main;
        placed_ = placed;
        monitor_ = monitor;
        movedBack_ = false;
    }

protected:
    bool eventFilter(QObject* watched, QEvent* e) override {
        if (watched == box_ && (e->type() == QEvent::Move || e->type() == QEvent::Show))
            QTimer::singleShot(0, this, [this] { check(); });
        return false;
    }

private:
    void check() {
        if (!box_ || !box_->isVisible()) return;
        const QRect frame = frameRect(*box_);
        if (!movedBack_ && !monitor_.contains(frame.center())) {
            // Once: a desktop that keeps putting it there is left to do so.
            movedBack_ = true;
            if (sway::moveWindow(box_->winId(), placed_.topLeft())) return;
        }
        if (!main_ || !main_->isVisible()) return;
        if (!frame.intersects(frameRect(*main_)) || !makeRoomHook()) return;
        runHandler(main_, [&] { makeRoomHook()(main_, frame); });
    }

    QPointer<QWidget> box_, main_;
    QRect placed_, monitor_;
    bool movedBack_ = false;
};

QWidget* mainWindowOf(QWidget* parent) {
    QWidget* main = parent ? parent->window() : nullptr;
    while (main && main->parentWidget())
        main = main->parentWidget()->window();
    return main;
}

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

QRect besideBoard(QRect board, QSize size, QRect avail) {
    // Room for the frame a window manager adds, whose size is known only later.
    constexpr int kGap = 12;
    QRect r(QPoint(0, 0), size);
    r.moveCenter(avail.center());
    if (board.intersects(avail)) {
        const int right = avail.right() - board.right() - kGap;
        const int left = board.left() - avail.left() - kGap;
        if (right >= size.width() || right >= left)
            r.moveLeft(board.right() + 1 + kGap);
        else
            r.moveRight(board.left() - 1 - kGap);
        r.moveTop(board.center().y() - size.height() / 2);
    }
    r.moveLeft(
        std::clamp(r.left(), avail.left(), std::max(avail.left(), avail.right() + 1 - r.width())));
    r.moveTop(
        std::clamp(r.top(), avail.top(), std::max(avail.top(), avail.bottom() + 1 - r.height())));
    return r;
}

bool moveBesideBoard(QWidget* box, QWidget* parent) {
    const QWidget* main = mainWindowOf(parent);
    if (!main || !main->isVisible()) return false;
    const QRect board = frameRect(*main);
    // A board docked beyond the edge is on no monitor: there is nothing to stand beside.
    const QScreen* screen = QGuiApplication::screenAt(board.center());
    if (!screen) return false;
    box->adjustSize();
    const QRect avail = screen->availableGeometry();
    const QRect r = besideBoard(board, frameRect(*box).size(), avail);
    if (r.intersects(board) || !avail.contains(r)) return false;
    box->move(r.topLeft());
    return true;
}

bool placeBesideMainWindow(QWidget* box, QWidget* parent) {
    QWidget* main = mainWindowOf(parent);
    if (!main || !main->testAttribute(Qt::WA_WState_Created) ||
        !main->windowFlags().testFlag(Qt::X11BypassWindowManagerHint))
        return false;
    box->adjustSize();
    const QRect board = main->isVisible() ? frameRect(*main) : QRect();
    const QScreen* screen = board.isValid() ? QGuiApplication::screenAt(board.center()) : nullptr;
    if (!screen) screen = QGuiApplication::screenAt(QCursor::pos());
    if (!screen) screen = QGuiApplication::primaryScreen();
    if (!screen) return false;
    const QRect avail = screen->availableGeometry();
    const QRect placed = besideBoard(board, frameRect(*box).size(), avail);
    box->move(placed.topLeft());
    auto* watcher =
        box->findChild<RoomWatcher*>(QStringLiteral("qb_room_watcher"), Qt::FindDirectChildrenOnly);
    if (!watcher) watcher = new RoomWatcher(box);
    watcher->watch(main, placed, screen->geometry());
    return true;
}

void setMakeRoomForBoxes(std::function<void(QWidget* main, QRect box)> makeRoom) {
    makeRoomHook() = std::move(makeRoom);
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
