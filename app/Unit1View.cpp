// The main window as the controllers see it: qb::BoardView and qb::DockHost.
#include "app/Controls.h"
#include "app/FitScreen.h"
#include "app/Unit1.h"

#include "board/Accounts.h"
#include "platform/X11Window.h"

#include <QApplication>
#include <QLabel>
#include <QLineEdit>
#include <QRadioButton>
#include <QScreen>

namespace {

// The highlight stands out clearly from the fields' normal background, like the
// border colour of an inactive window, whatever the desktop's colour scheme.
QColor highlightColour(const QPalette& palette) {
    const QColor base = palette.color(QPalette::Base);
    for (QPalette::ColorRole role : {QPalette::Midlight, QPalette::Mid, QPalette::Dark}) {
        const QColor c = palette.color(role);
        if (qAbs(c.lightness() - base.lightness()) >= 40) return c;
    }
    return palette.color(QPalette::Highlight);
}

} // namespace

QString TForm1::pathText(int r) const {
    return Edit[r]->text();
}

void TForm1::applyPathText(int r, const QString& text) {
    qb::setEditText(Edit[r], text);
}

void TForm1::setNameText(int r, const QString& text) {
    qb::setEditText(Ed[r], text);
}

// Name field first, then path field.
void TForm1::setRowHighlighted(int r, bool highlighted) {
    rowHighlighted_[r] = highlighted;
    for (QLineEdit* edit : {Ed[r], Edit[r]}) {
        const QPalette inherited = edit->parentWidget()->palette();
        QPalette p = edit->palette();
        p.setColor(QPalette::Base,
                   highlighted ? highlightColour(inherited) : inherited.color(QPalette::Base));
        edit->setPalette(p);
    }
}

// Green where the drop works, amber while counting, red where it cannot; the
// colours of the desktop's own scheme are too close to the highlight's to tell apart.
void TForm1::showDropShade(int r, Shade shade) {
    if (shade == Shade::None) {
        for (QLineEdit* edit : {Ed[r], Edit[r]}) {
            QPalette p = edit->palette();
            p.setColor(QPalette::Text, edit->parentWidget()->palette().color(QPalette::Text));
            edit->setPalette(p);
        }
        setRowHighlighted(r, rowHighlighted_[r]);
        return;
    }
    const QColor colour = shade == Shade::Works      ? QColor(0xc8, 0xee, 0xc8)
                          : shade == Shade::Counting ? QColor(0xf6, 0xe7, 0xb0)
                                                     : QColor(0xf4, 0xc0, 0xc0);
    for (QLineEdit* edit : {Ed[r], Edit[r]}) {
        QPalette p = edit->palette();
        p.setColor(QPalette::Base, colour);
        p.setColor(QPalette::Text, Qt::black); // light shades, whatever the scheme's text
        edit->setPalette(p);
    }
}

void TForm1::showSlotAction(int r, qb::SlotAction a) {
    const QString tip = a == qb::SlotAction::Follow ? QString()
                        : a == qb::SlotAction::Copy ? tr("本槽位：复制")
                                                    : tr("本槽位：移动");
    for (QLineEdit* edit : {Ed[r], Edit[r]})
        edit->setToolTip(tip);
    describeSlot(r);
}

// The group the board shows, and the slot's own action where it has one (a set
// description hides the tooltip from screen readers).
void TForm1::describeSlot(int r) {
    const int g = checkedGroup();
    const QString group = g ? tr("第 %1 组").arg(g) : QString();
    const QString tip = Edit[r]->toolTip();
    const QString text = tip.isEmpty()     ? group
                         : group.isEmpty() ? tip
                                           : tr("%1，%2").arg(group, tip);
    for (QLineEdit* edit : {Edit[r], Ed[r]})
        edit->setAccessibleDescription(text);
}

// A caption other than the group's number is read before it.
void TForm1::describeGroupButton(int g) {
    const QString caption = RadioButton[g]->text();
    const QString number = tr("第 %1 组").arg(g);
    RadioButton[g]->setAccessibleName(caption.isEmpty() || caption == QString::number(g)
                                          ? number
                                          : tr("%1（%2）").arg(caption, number));
    RadioButton[g]->setAccessibleDescription(tr("显示本组的槽位，右键重命名"));
}

QRadioButton* TForm1::choiceButton(qb::Choice c) const {
    switch (c) {
    case qb::Choice::Move:
        return Move;
    case qb::Choice::Copy:
        return Copy;
    case qb::Choice::Set:
        return Set;
    case qb::Choice::Rename:
        return RadioButton[13];
    case qb::Choice::Replace:
        return RadioButton[14];
    case qb::Choice::AutoReplace:
        return RadioButton[15];
    case qb::Choice::Hide:
        return RadioButton[11];
    case qb::Choice::Show:
        return RadioButton[12];
    }
    return nullptr;
}

bool TForm1::isChecked(qb::Choice c) const {
    return choiceButton(c)->isChecked();
}

void TForm1::applyChoice(qb::Choice c) {
    qb::checkRadio(choiceButton(c));
}

void TForm1::uncheck(qb::Choice c) {
    qb::uncheckRadio(choiceButton(c));
}

int TForm1::checkedGroup() const {
    for (int g = 1; g <= qb::kGroups; ++g)
        if (RadioButton[g]->isChecked()) return g;
    return 0;
}

void TForm1::applyGroup(int g) {
    qb::checkRadio(RadioButton[g]);
}

void TForm1::uncheckGroups() {
    for (int g = 1; g <= qb::kGroups; ++g)
        qb::uncheckRadio(RadioButton[g]);
}

QString TForm1::groupCaption(int g) const {
    return RadioButton[g]->text();
}

void TForm1::setGroupCaption(int g, const QString& caption) {
    RadioButton[g]->setText(caption);
    describeGroupButton(g);
}

void TForm1::setAccountLabel(const QString& name) {
    Label17->setText(qb::shownAccountName(name));
}

QString TForm1::statusText() const {
    return Labeltip->text();
}

void TForm1::setStatusText(const QString& text) {
    Labeltip->setText(text);
}

void TForm1::centre() {
    const QScreen* screen = QGuiApplication::primaryScreen();
    if (!screen) return;
    // The hide check must not take this move for a window manager's refusal.
    docking_->windowPlaced();
    fitToMonitorHeight(screen->availableGeometry().height());
    const QRect desk = screen->geometry();
    const QSize outer = qb::frameRect(*this).size();
    // Integer division cuts toward zero, as the placement rule wants.
    move(desk.x() + (desk.width() - outer.width()) / 2,
         desk.y() + (desk.height() - outer.height()) / 2);
}

// Mapped by the window's own geometry: on the dock window the platform window's
// position has been seen to stay at 0,0, which leaves mapFromGlobal() in screen
// coordinates.
QWidget* TForm1::widgetAt(QPoint globalPos) {
    const QPoint local = globalPos - geometry().topLeft();
    if (!rect().contains(local)) return nullptr;
    QWidget* child = childAt(local);
    return child ? child : this;
}

int TForm1::rowOf(const QWidget* w) const {
    for (int r = 1; r <= qb::kRows; ++r)
        if (w == Edit[r] || w == Ed[r]) return r;
    return 0;
}

void TForm1::focusRowAfterDrop(int r) {
    focusAfterDrop(Edit[r]);
}

void TForm1::focusAfterDrop(QWidget* w) {
    activateWindow();
    if (!isActiveWindow()) QApplication::setActiveWindow(this);
    w->setFocus(Qt::OtherFocusReason);
}

bool TForm1::autoHide() const {
    return isChecked(qb::Choice::Hide);
}

void TForm1::showDockingStatus(const QString& text) {
    setStatusText(text);
}

void TForm1::fitToMonitorHeight(int available) {
    qb::fitToHeight(*this, available);
}
