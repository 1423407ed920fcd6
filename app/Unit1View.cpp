// The main window as the controllers see it: qb::BoardView and the docking window.
#include "app/Controls.h"
#include "app/EdgeDock.h"
#include "app/Unit1.h"

#include "board/Accounts.h"
#include "board/Board.h"
#include "board/Docking.h"
#include "board/Folders.h"
#include "drop/DropController.h"
#include "platform/Timers.h"

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

// The main window as docking sees it. The window has no frame from the window
// manager, so its frame geometry is the whole window, caption strip included.
class TForm1::DockAdapter final : public qb::docking::View {
public:
    explicit DockAdapter(TForm1& form) : form_(form) {}
    virtual ~DockAdapter() = default;

    bool autoHide() const override { return form_.isChecked(qb::Choice::Hide); }
    int left() const override { return form_.frameGeometry().x(); }
    int top() const override { return form_.frameGeometry().y(); }
    int width() const override { return form_.frameGeometry().width(); }
    int height() const override { return form_.frameGeometry().height(); }
    double scale() const override { return form_.devicePixelRatioF(); }
    void setLeft(int x) override {
        // The reveal poll sets 0 again and again while the cursor rests at the
        // edge: only a real change goes to the window system.
        if (x != left()) form_.move(x, top());
    }
    void moveTo(int x, int y) override {
        if (x != left() || y != top()) form_.move(x, y);
    }
    void activate() override {
        // Every mouse movement over the background lands here; asking the window
        // manager again while already active would only cost round trips.
        if (form_.isActiveWindow()) return;
        form_.raise();
        form_.activateWindow();
    }
    void setHidePeriod(int ms) override { qb::setTimerPeriod(*form_.Timer1, ms); }

    // The edge watch is installed at creation; before that there is none.
    bool allowsHiding() const override {
        const qb::EdgeDock* edge = qb::EdgeDock::of(form_);
        return !edge || edge->allowsHiding();
    }
    void syncEdge() override {
        if (qb::EdgeDock* edge = qb::EdgeDock::of(form_)) edge->syncSensor();
    }
    void hid(int x) override {
        if (qb::EdgeDock* edge = qb::EdgeDock::of(form_)) edge->hid(x);
    }
    void shown() override {
        if (qb::EdgeDock* edge = qb::EdgeDock::of(form_)) edge->shown();
    }

private:
    TForm1& form_;
};

TForm1::TForm1(QWidget* parent) : QWidget(parent) {
    setObjectName(QStringLiteral("Form1"));
    buildWindow();
    buildHeader();
    buildBoard();
    buildFooter();
    setTabOrder();
    createControllers();
    connectHandlers();
}

void TForm1::createControllers() {
    board_ = std::make_unique<qb::Board>(*this);
    folders_ = std::make_unique<qb::Folders>(*this);
    dockAdapter_ = std::make_unique<DockAdapter>(*this);
    docking_ = std::make_unique<qb::Docking>(*dockAdapter_);
    drops_ = std::make_unique<qb::DropController>(*this, *board_);
}

TForm1::~TForm1() {
    if (Form1 == this) Form1 = nullptr;
}

QString TForm1::pathText(int r) const {
    return Edit[r]->text();
}

void TForm1::setPathText(int r, const QString& text) {
    qb::setEditText(Edit[r], text);
}

void TForm1::setNameText(int r, const QString& text) {
    qb::setEditText(Ed[r], text);
}

// Name field first, then path field.
void TForm1::setRowHighlighted(int r, bool highlighted) {
    for (QLineEdit* edit : {Ed[r], Edit[r]}) {
        const QPalette inherited = edit->parentWidget()->palette();
        QPalette p = edit->palette();
        p.setColor(QPalette::Base,
                   highlighted ? highlightColour(inherited) : inherited.color(QPalette::Base));
        edit->setPalette(p);
    }
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

void TForm1::check(qb::Choice c) {
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

void TForm1::checkGroup(int g) {
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
    const QRect desk = screen->geometry();
    const QSize outer = frameGeometry().size();
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
