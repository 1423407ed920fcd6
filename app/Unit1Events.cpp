// The main window's events, each routed to the handler that owns it.
#include "app/Unit1.h"

#include "app/Unit3.h"
#include "board/Board.h"
#include "board/Docking.h"
#include "board/Folders.h"
#include "drop/DropController.h"
#include "help/Unit4.h"
#include "platform/Handler.h"
#include "platform/Timers.h"
#include "platform/X11Window.h"

#include <QCloseEvent>
#include <QCoreApplication>
#include <QLineEdit>
#include <QMouseEvent>
#include <QPainter>
#include <QPushButton>
#include <QRadioButton>
#include <QTimer>

#include <utility>

void TForm1::connectChoices() {
    // Click handlers run when a button becomes checked, by the user or by program
    // code alike; checking a checked button emits nothing.
    auto onChecked = [this](QAbstractButton* b, std::function<void()> handler) {
        connect(b, &QAbstractButton::toggled, this, [this, handler](bool checked) {
            if (checked) qb::runHandler(this, handler);
        });
    };
    for (int g = 1; g <= qb::kGroups; ++g)
        onChecked(RadioButton[g], [this, g] { board_->RadioButtonClick(g); });
    using qb::Choice;
    for (Choice c : {Choice::Move, Choice::Copy, Choice::Set, Choice::Hide, Choice::Show,
                     Choice::Rename, Choice::Replace, Choice::AutoReplace})
        onChecked(choiceButton(c), [this, c] { board_->ChoiceClick(c); });
}

void TForm1::connectHandlers() {
    connectChoices();
    // A path field's change handler reports its own errors and never ends the
    // group switch, load or drop that set the text.
    for (int r = 1; r <= qb::kRows; ++r) {
        connect(Edit[r], &QLineEdit::textChanged, this, [this, r] {
            qb::runHandlerShowingErrors(this, [this, r] { board_->EditChange(r); });
        });
    }

    qb::onClick(this, Button1, [this] { Button1Click(); });
    qb::onClick(this, Button2, [this] { board_->Button2Click(); });
    qb::onClick(this, Button3, [this] { Button3Click(); });
    qb::onClick(this, Button4, [this] { Button4Click(); });
    qb::onClick(this, CloseBox, [this] { Button4Click(); });

    connect(Timer1, &QTimer::timeout, this,
            [this] { qb::runHandler(this, [this] { Timer1Timer(); }); });
    connect(Timer2, &QTimer::timeout, this,
            [this] { qb::runHandler(this, [this] { Timer2Timer(); }); });

    // Mouse and focus events reach their handlers through eventFilter().
    Client->installEventFilter(this);
    Panel1->installEventFilter(this);
    for (int r = 1; r <= qb::kRows; ++r) {
        Edit[r]->installEventFilter(this);
        Ed[r]->installEventFilter(this);
    }
    for (int g = 1; g <= qb::kGroups; ++g)
        RadioButton[g]->installEventFilter(this);
}

bool TForm1::eventFilter(QObject* watched, QEvent* event) {
    auto* widget = qobject_cast<QWidget*>(watched);
    if (!widget) return QWidget::eventFilter(watched, event);
    if (clientEvent(widget, event)) return false;
    if (const int r = rowOf(widget)) {
        rowEvent(r, widget, event);
        return false;
    }
    for (int g = 1; g <= qb::kGroups; ++g) {
        if (widget != RadioButton[g]) continue;
        groupEvent(g, event);
        return false;
    }
    return QWidget::eventFilter(watched, event);
}

// Double clicks and mouse moves over the client area or the panel. Events that a
// child ignored are passed on to its parent too; the window and the panel react
// only where no child covers the point. True when `widget` is one of the two.
bool TForm1::clientEvent(QWidget* widget, QEvent* event) {
    if (widget != Client && widget != Panel1) return false;
    auto ownBackground = [widget, event] {
        const QPoint pos = static_cast<QMouseEvent*>(event)->position().toPoint();
        return widget->rect().contains(pos) && widget->childAt(pos) == nullptr;
    };
    const QEvent::Type type = event->type();
    if (type == QEvent::MouseButtonDblClick &&
        static_cast<QMouseEvent*>(event)->button() == Qt::LeftButton && ownBackground())
        qb::runHandler(this, [this] { folders_->FormDblClick(); });
    else if (widget == Client && type == QEvent::MouseMove && ownBackground())
        qb::runHandler(this, [this] { FormMouseMove(); });
    return true;
}

// Clicks and focus changes of either field of row r.
void TForm1::rowEvent(int r, QWidget* widget, QEvent* event) {
    const QEvent::Type type = event->type();
    if (type == QEvent::MouseButtonPress || type == QEvent::MouseButtonDblClick) {
        // A double click arrives as press, release, double click, release.
        releaseEndsDoubleClick_ = type == QEvent::MouseButtonDblClick &&
                                  static_cast<QMouseEvent*>(event)->button() == Qt::LeftButton;
    } else if (type == QEvent::MouseButtonRelease) {
        auto* me = static_cast<QMouseEvent*>(event);
        if (me->button() != Qt::LeftButton) return;
        if (std::exchange(releaseEndsDoubleClick_, false)) return;
        if (widget->rect().contains(me->position().toPoint()))
            qb::runHandler(this, [this, r] { folders_->EditClick(r); });
    } else if (type == QEvent::FocusIn) {
        // Focus that arrives with the window's activation can be a move between
        // controls: a click on a slot of the inactive window; the enter handling
        // takes a repeated enter in its stride.
        qb::runHandler(this, [this, r] { folders_->EditEnter(r); });
    } else if (type == QEvent::FocusOut) {
        // Focus that leaves with the whole window's deactivation (another program,
        // the account dialog) is no move between controls.
        const Qt::FocusReason reason = static_cast<QFocusEvent*>(event)->reason();
        if (reason != Qt::ActiveWindowFocusReason && reason != Qt::PopupFocusReason)
            qb::runHandler(this, [this, r] { folders_->EditExit(r); });
    }
}

// Any mouse press on group button g.
void TForm1::groupEvent(int g, QEvent* event) {
    if (event->type() != QEvent::MouseButtonPress && event->type() != QEvent::MouseButtonDblClick)
        return;
    auto* me = static_cast<QMouseEvent*>(event);
    const Qt::MouseButton button = me->button();
    const Qt::KeyboardModifiers modifiers = me->modifiers();
    const QPoint pos = me->position().toPoint();
    qb::runHandler(this, [=, this] { board_->RadioButtonMouseDown(g, button, modifiers, pos); });
}

void TForm1::dragEnterEvent(QDragEnterEvent* event) {
    qb::runHandler(this, [this, event] { drops_->DragOver(event); });
}

void TForm1::dragMoveEvent(QDragMoveEvent* event) {
    qb::runHandler(this, [this, event] { drops_->DragOver(event); });
}

void TForm1::dropEvent(QDropEvent* event) {
    qb::runHandler(this, [this, event] { drops_->Drop(event); });
}

void TForm1::closeEvent(QCloseEvent* event) {
    // Closing the main window ends the program, as Button4 does.
    event->accept();
    qb::runHandler(this, [this] { Button4Click(); });
}

void TForm1::paintEvent(QPaintEvent*) {
    QPainter p(this);
    p.setPen(palette().color(QPalette::Dark));
    p.drawRect(rect().adjusted(0, 0, -1, -1));
}

void TForm1::FormCreate() {
    qb::makeDockWindow(this);
    qb::setTimerPeriod(*Timer1, 200);
    qb::setTimerPeriod(*Timer2, 100);
    LoadAccount();
}

void TForm1::Button1Click() {
    if (Form3) Form3->ShowModeless();
}

void TForm1::Button3Click() {
    if (Form4) Form4->ShowModeless();
}

void TForm1::Button4Click() {
    QCoreApplication::exit(0);
}

void TForm1::LoadAccount() {
    board_->LoadAccount();
}

void TForm1::Timer1Timer() {
    docking_->Timer1Timer();
}

void TForm1::Timer2Timer() {
    docking_->Timer2Timer();
}

void TForm1::FormMouseMove() {
    docking_->FormMouseMove();
}
