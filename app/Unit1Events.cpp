// The main window's events, each routed to the handler that owns it.
#include "app/Unit1.h"

#include "app/BoardKeys.h"
#include "app/SpringList.h"
#include "board/Board.h"
#include "drop/DropController.h"
#include "drop/SlotVerify.h"
#include "drop/UndoController.h"
#include "platform/Cursor.h"
#include "platform/Handler.h"

#include <QActionGroup>
#include <QCloseEvent>
#include <QContextMenuEvent>
#include <QCoreApplication>
#include <QDropEvent>
#include <QKeyEvent>
#include <QLineEdit>
#include <QMenu>
#include <QMouseEvent>
#include <QPainter>
#include <QPushButton>
#include <QRadioButton>
#include <QShortcut>
#include <QTimer>
#include <QWindow>

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
        onChecked(RadioButton[g], [this, g] { RadioButtonClick(g); });
    const std::pair<QAbstractButton*, void (TForm1::*)()> choices[] = {
        {Move, &TForm1::MoveClick},
        {Copy, &TForm1::CopyClick},
        {Set, &TForm1::SetClick},
        {RadioButton[11], &TForm1::RadioButton11Click},
        {RadioButton[12], &TForm1::RadioButton12Click},
        {RadioButton[13], &TForm1::RadioButton13Click},
        {RadioButton[14], &TForm1::RadioButton14Click},
        {RadioButton[15], &TForm1::RadioButton15Click},
    };
    for (const auto& choice : choices)
        onChecked(choice.first, [this, handler = choice.second] { (this->*handler)(); });
}

void TForm1::connectRows() {
    // A path field's change handler reports its own errors and never ends the
    // group switch, load or drop that set the text.
    for (int r = 1; r <= qb::kRows; ++r) {
        connect(Edit[r], &QLineEdit::textChanged, this,
                [this, r] { qb::runHandlerShowingErrors(this, [this, r] { EditChange(r); }); });
    }
}

void TForm1::connectHandlers() {
    connectChoices();
    connectRows();
    qb::onClick(this, Button1, [this] { Button1Click(); });
    qb::onClick(this, Button2, [this] { Button2Click(); });
    qb::onClick(this, Button3, [this] { Button3Click(); });
    qb::onClick(this, Button4, [this] { Button4Click(); });
    qb::onClick(this, CloseBox, [this] { Button4Click(); });
    // Ctrl+Z anywhere on the board takes the last drop back; a field with typing
    // of its own to undo keeps it (see rowEvent).
    auto* undo = new QShortcut(QKeySequence::Undo, this);
    undo->setObjectName(QStringLiteral("UndoShortcut"));
    connect(undo, &QShortcut::activated, this,
            [this] { qb::runHandler(this, [this] { undoLastDrop(); }); });
    connect(&qb::DropHistory::instance(), &qb::DropHistory::changed, this,
            [this] { qb::runHandler(this, [this] { describeLastDrop(); }); });
    // The two polls' ticks go to docking, which owns them.

    // Mouse and focus events reach their handlers through eventFilter().
    Client->installEventFilter(this);
    Panel1->installEventFilter(this);
    for (int r = 1; r <= qb::kRows; ++r) {
        Edit[r]->installEventFilter(this);
        Ed[r]->installEventFilter(this);
    }
    for (int g = 1; g <= qb::kGroups; ++g)
        RadioButton[g]->installEventFilter(this);
    // After the filters above, so the slots' keys reach it first.
    keys_ = new qb::BoardKeys(*this);
    springs_ = new qb::SpringLoader(*this);
    buildFind();
    // A subfolder takes a drop only where a drop would work, as the slot's verdict says.
    springs_->setMayLand([this](int row, const QString& folder, const QMimeData*) {
        qb::HoverVerdicts& verdicts = drops_->verdicts();
        return !verdicts
                    .planDrop(qb::DropWay::ListEntry, verdicts.counting().items(),
                              qb::SlotTarget{0, row, folder})
                    .refused();
    });
}

bool TForm1::eventFilter(QObject* watched, QEvent* event) {
    auto* widget = qobject_cast<QWidget*>(watched);
    if (!widget) return QWidget::eventFilter(watched, event);
    if (clientEvent(widget, event)) return false;
    if (const int r = rowOf(widget)) return rowEvent(r, widget, event);
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
    if (type == QEvent::ContextMenu) {
        auto* ce = static_cast<QContextMenuEvent*>(event);
        // Only the background's own: a group button's right click renames the group.
        if (!widget->childAt(ce->pos())) {
            QMenu menu;
            showContextMenu(&menu, ce->globalPos());
            ce->accept();
        }
        return true;
    }
    if (type == QEvent::MouseButtonDblClick &&
        static_cast<QMouseEvent*>(event)->button() == Qt::LeftButton && ownBackground())
        qb::runHandler(this, [this, widget] {
            if (widget == Panel1)
                Panel1DblClick();
            else
                FormDblClick();
        });
    else if (widget == Client && type == QEvent::MouseMove && ownBackground())
        qb::runHandler(this, [this] { FormMouseMove(); });
    return true;
}

// The board's context menu, ending in the history window's entry.
void TForm1::showContextMenu(QMenu* menu, QPoint globalPos) {
    if (!menu->isEmpty()) menu->addSeparator();
    QAction* history = menu->addAction(tr("历史记录…"));
    history->setObjectName(QStringLiteral("HistoryEntry"));
    connect(history, &QAction::triggered, this,
            [this] { qb::runHandler(this, [this] { showHistory(); }); });
    menu->exec(globalPos);
}

// Configure mode keeps its menu as it is: there a slot is being set, not used.
void TForm1::addSlotActions(QMenu* menu, int r) {
    menu->addSeparator();
    // Beside its own action, above it (the menu keeps ending with the actions):
    // whether its copies are read back from the drive.
    const int g = checkedGroup();
    QAction* verify = menu->addAction(tr("复制后校验"));
    verify->setObjectName(QStringLiteral("SlotVerify"));
    verify->setCheckable(true);
    verify->setEnabled(g > 0);
    verify->setChecked(qb::slotVerifies(g, r, pathText(r)));
    connect(verify, &QAction::triggered, this, [this, g, r](bool on) {
        qb::runHandlerShowingErrors(this, [g, r, on] { qb::storeSlotVerify(g, r, on); });
    });
    menu->addSeparator();
    auto* group = new QActionGroup(menu);
    const qb::SlotAction current = board_->slotAction(r);
    for (qb::SlotAction a : {qb::SlotAction::Copy, qb::SlotAction::Move, qb::SlotAction::Follow}) {
        QAction* action = menu->addAction(a == qb::SlotAction::Copy   ? tr("复制")
                                          : a == qb::SlotAction::Move ? tr("移动")
                                                                      : tr("跟随模式"));
        action->setObjectName(QStringLiteral("SlotAction") + QString::number(int(a)));
        action->setCheckable(true);
        action->setChecked(a == current);
        group->addAction(action);
        connect(action, &QAction::triggered, this, [this, r, a] {
            qb::runHandlerShowingErrors(this, [this, r, a] { board_->storeSlotAction(r, a); });
        });
    }
}

// Clicks, focus changes, Ctrl+Z and the context menu of either field of row r.
// True when the field is not to see the event.
bool TForm1::rowEvent(int r, QWidget* widget, QEvent* event) {
    const QEvent::Type type = event->type();
    if (type == QEvent::ShortcutOverride) {
        // An editable field takes every Ctrl+Z; with nothing of its own to undo it lets the
        // board's shortcut have it.
        auto* edit = static_cast<QLineEdit*>(widget);
        if (static_cast<QKeyEvent*>(event)->matches(QKeySequence::Undo) &&
            !edit->isUndoAvailable()) {
            event->ignore();
            return true;
        }
        return false;
    }
    if (type == QEvent::ContextMenu) {
        auto* edit = static_cast<QLineEdit*>(widget);
        std::unique_ptr<QMenu> menu(edit->createStandardContextMenu());
        if (!Set->isChecked()) addSlotActions(menu.get(), r);
        showContextMenu(menu.get(), static_cast<QContextMenuEvent*>(event)->globalPos());
        return true;
    }
    if (type == QEvent::MouseButtonPress || type == QEvent::MouseButtonDblClick) {
        // A double click arrives as press, release, double click, release.
        releaseEndsDoubleClick_ = type == QEvent::MouseButtonDblClick &&
                                  static_cast<QMouseEvent*>(event)->button() == Qt::LeftButton;
    } else if (type == QEvent::MouseButtonRelease) {
        auto* me = static_cast<QMouseEvent*>(event);
        if (me->button() != Qt::LeftButton) return false;
        if (std::exchange(releaseEndsDoubleClick_, false)) return false;
        const bool path = widget == Edit[r];
        if (widget->rect().contains(me->position().toPoint()))
            qb::runHandler(this, [this, r, path] { path ? EditClick(r) : EdClick(r); });
    } else if (type == QEvent::FocusIn) {
        // Focus that arrives with the window's activation can be a move between
        // controls: a click on a slot of the inactive window; the enter handling
        // takes a repeated enter in its stride.
        const bool path = widget == Edit[r];
        qb::runHandler(this, [this, r, path] { path ? EditEnter(r) : EdEnter(r); });
    } else if (type == QEvent::FocusOut) {
        // Focus that leaves with the whole window's deactivation (another program,
        // the account dialog) is no move between controls.
        const Qt::FocusReason reason = static_cast<QFocusEvent*>(event)->reason();
        const bool path = widget == Edit[r];
        if (reason != Qt::ActiveWindowFocusReason && reason != Qt::PopupFocusReason)
            qb::runHandler(this, [this, r, path] { path ? EditExit(r) : EdExit(r); });
    }
    return false;
}

// Any mouse press on group button g.
void TForm1::groupEvent(int g, QEvent* event) {
    if (event->type() != QEvent::MouseButtonPress && event->type() != QEvent::MouseButtonDblClick)
        return;
    const Qt::MouseButton button = static_cast<QMouseEvent*>(event)->button();
    qb::runHandler(this, [this, g, button] { RadioButtonMouseDown(g, button); });
}

void TForm1::dragEnterEvent(QDragEnterEvent* event) {
    qb::runHandler(this, [this, event] { dragOver(event, true); });
}

void TForm1::dragMoveEvent(QDragMoveEvent* event) {
    qb::runHandler(this, [this, event] { dragOver(event, false); });
}

// The verdict of a drop where the drag is, and a slot's subfolders once it rests there.
void TForm1::dragOver(QDragMoveEvent* event, bool entering) {
    const QPoint global = dragPos(event);
    drops_->hoverDrag(event, global, entering);
    const QWidget* under = widgetAt(global);
    springs_->dragOverBoard(under ? rowOf(under) : 0, global);
}

void TForm1::dragLeaveEvent(QDragLeaveEvent*) {
    qb::runHandler(this, [this] {
        // A drag refused over a slot ends in a leave, not a drop: let go over the
        // board, it was meant as a drop there.
        const std::optional<bool> held = qb::cursor().buttonHeld();
        const bool released = held && !*held && qb::cursor().seen() &&
                              QRect(mapToGlobal(QPoint(0, 0)), size()).contains(qb::cursor().pos());
        drops_->leaveDrag(released);
        springs_->dragLeft();
    });
}

// The drop's own position, not the pointer's: Xwayland does not move the pointer
// during a drag from a Wayland window. The toolkit made it relative to where it
// believes the platform window stands, which on the dock window has been seen to
// stay at 0,0; undone with that same belief.
QPoint TForm1::dragPos(const QDropEvent* event) const {
    const QWindow* handle = windowHandle();
    const QPoint origin = handle ? handle->geometry().topLeft() : geometry().topLeft();
    return event->position().toPoint() + origin;
}

void TForm1::dropEvent(QDropEvent* event) {
    qb::runHandler(this, [this, event] {
        springs_->closeAll();
        drops_->takeDrop(event, dragPos(event));
    });
}

void TForm1::closeEvent(QCloseEvent* event) {
    // Closing the main window ends the program, as Button4 does (which may ask first:
    // the window stays until the program ends).
    event->ignore();
    qb::runHandler(this, [this] { Button4Click(); });
}

void TForm1::paintEvent(QPaintEvent*) {
    QPainter p(this);
    p.setPen(palette().color(QPalette::Dark));
    p.drawRect(rect().adjusted(0, 0, -1, -1));
}
