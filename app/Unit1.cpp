// The main window's construction: the window structure, the controls and the
// controllers behind them.
#include "app/Unit1.h"

#include "app/HistoryWindow.h"
#include "board/Board.h"
#include "board/Folders.h"
#include "drop/DropController.h"
#include "drop/UndoController.h"
#include "platform/Dialogs.h"
#include "platform/X11Window.h"

#include <QApplication>
#include <QFontDatabase>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QMouseEvent>
#include <QPainter>
#include <QPointer>
#include <QPushButton>
#include <QRadioButton>
#include <QScreen>
#include <QStyle>
#include <QTimer>
#include <QToolButton>

TForm1* Form1 = nullptr;

namespace {

const QString kWindowHint = QStringLiteral(
    "Click to open the folder.Drag one or more files and/or folders to the specified Folder "
    "path to copy, move, and set the path.");

// Row tops of the board inside Panel1.
constexpr int kRowTop[21] = {0,   3,   23,  44,  64,  85,  105, 126, 146, 167, 187,
                             208, 228, 249, 269, 290, 310, 331, 351, 372, 393};

// The caption strip a dock window needs since no window manager frames it: the
// caption at the left, the close box at the right. Dragging it moves the window.
class CaptionBar final : public QWidget {
public:
    CaptionBar(const QString& caption, QWidget* parent) : QWidget(parent), caption_(caption) {}

protected:
    void paintEvent(QPaintEvent*) override {
        QPainter p(this);
        const QPalette& pal = palette();
        p.fillRect(rect(), pal.color(QPalette::Active, QPalette::Highlight));
        QFont f = font();
        f.setBold(true);
        p.setFont(f);
        p.setPen(pal.color(QPalette::Active, QPalette::HighlightedText));
        p.drawText(rect().adjusted(5, 0, -24, 0), Qt::AlignLeft | Qt::AlignVCenter, caption_);
    }
    void mousePressEvent(QMouseEvent* e) override {
        if (e->button() != Qt::LeftButton) return QWidget::mousePressEvent(e);
        dragOffset_ = e->globalPosition().toPoint() - qb::frameRect(*window()).topLeft();
        dragging_ = true;
    }
    void mouseMoveEvent(QMouseEvent* e) override {
        if (dragging_ && (e->buttons() & Qt::LeftButton))
            window()->move(e->globalPosition().toPoint() - dragOffset_);
    }
    void mouseReleaseEvent(QMouseEvent* e) override {
        if (e->button() == Qt::LeftButton) dragging_ = false;
    }

private:
    QString caption_;
    QPoint dragOffset_;
    bool dragging_ = false;
};

// A radio button that reacts to a click anywhere on its control, not only on the
// indicator and the text (the group buttons are wider than their names).
class WideRadioButton final : public QRadioButton {
public:
    using QRadioButton::QRadioButton;

protected:
    bool hitButton(const QPoint& pos) const override { return rect().contains(pos); }
};

QFont pixelFont(const QFont& base, int px) {
    QFont f = base;
    f.setPixelSize(px);
    return f;
}

// The captions' "5-pixel" request, legible.
QFont smallFont(const QFont& base) {
    return pixelFont(base, 9);
}

template <class W> W* place(W* w, const char* name, int left, int top, int width, int height) {
    w->setObjectName(QLatin1String(name));
    w->setGeometry(left, top, width, height);
    return w;
}

void makeRed(QWidget* w) {
    QPalette p = w->palette();
    p.setColor(QPalette::WindowText, Qt::red);
    w->setPalette(p);
}

} // namespace

TForm1::TForm1(QWidget* parent) : QWidget(parent) {
    setObjectName(QStringLiteral("Form1"));
    buildWindow();
    buildHeader();
    buildBoard();
    buildFooter();
    setTabOrder();
    createControllers();
    connectHandlers();
    // A desktop that centres the copy and move windows over the board (sway under
    // Xwayland): the board steps to its monitor's left edge, where it shows docked.
    qb::setMakeRoomForBoxes([self = QPointer<TForm1>(this)](QWidget* main, QRect) {
        if (!self || main != self.data()) return;
        const QScreen* screen = self->screen();
        if (!screen) return;
        const int left = screen->availableGeometry().left();
        if (qb::frameRect(*self).left() == left) return;
        self->docking().windowPlaced();
        self->move(left, qb::frameRect(*self).y());
    });
}

TForm1::~TForm1() {
    if (Form1 == this) Form1 = nullptr;
}

void TForm1::undoLastDrop() {
    undo_->undo();
}

qb::HistoryWindow& TForm1::historyWindow() {
    if (!history_) history_ = std::make_unique<qb::HistoryWindow>(*undo_);
    return *history_;
}

void TForm1::showHistory() {
    historyWindow().showModeless(this);
}

void TForm1::describeLastDrop() {
    const QString last = qb::DropHistory::instance().lastDropText(undo_->lastUndoable());
    Labeltip->setToolTip(last);
    // "status " is the tooltip the status line always had while there is no drop.
    Labeltip->setAccessibleDescription(
        last != QStringLiteral("status ") ? tr("状态栏：%1").arg(last) : tr("状态栏"));
}

void TForm1::createControllers() {
    board_ = std::make_unique<qb::Board>(*this);
    folders_ = std::make_unique<qb::Folders>(*this);
    qb::DockHost& host = *this;
    docking_ = std::make_unique<qb::Docking>(*this, host, *Timer1, *Timer2);
    drops_ = std::make_unique<qb::DropController>(*this, *board_);
    undo_ = std::make_unique<qb::UndoController>(
        *this, drops_.get(), [] { return qb::DropHistory::instance().recorded(); });
}

void TForm1::buildWindow() {
    setWindowFlags(Qt::Window | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint);
    setWindowTitle(QStringLiteral("QuillbeckV9.6"));
    // The desktop's sans-serif at 11 pixels; CJK glyphs come from the installed
    // CJK font through fallback.
    QFont base = QFontDatabase::systemFont(QFontDatabase::GeneralFont);
    base.setPixelSize(11);
    setFont(base);
    setAcceptDrops(true);
    setFixedSize(kClientWidth + 2 * kBorder, kCaptionHeight + kClientHeight + 2 * kBorder);

    auto* strip = new CaptionBar(windowTitle(), this);
    strip->setObjectName(QStringLiteral("CaptionStrip"));
    strip->setGeometry(kBorder, kBorder, kClientWidth, kCaptionHeight);
    CaptionStrip = strip;

    auto* close = new QToolButton(strip);
    close->setObjectName(QStringLiteral("CloseBox"));
    close->setGeometry(kClientWidth - 19, 2, 17, kCaptionHeight - 4);
    close->setIcon(style()->standardIcon(QStyle::SP_TitleBarCloseButton));
    close->setToolTip(QStringLiteral("Close"));
    close->setFocusPolicy(Qt::NoFocus);
    close->setAutoRaise(false);
    CloseBox = close;
    qb::passesWhileBusy(close);

    Client = new QWidget(this);
    Client->setObjectName(QStringLiteral("Client"));
    Client->setGeometry(kBorder, kBorder + kCaptionHeight, kClientWidth, kClientHeight);
    Client->setToolTip(kWindowHint);
    Client->setMouseTracking(true);
    Client->setAutoFillBackground(true);
}

// The account, the mode, the policy and the groups.
void TForm1::buildHeader() {
    const QFont small = smallFont(font());
    QWidget* c = Client;

    Label16 = place(new QLabel(tr("用户："), c), "Label16", 11, 8, 36, 13);
    Label16->setToolTip(QStringLiteral("Current account"));
    Label17 = place(new QLabel(c), "Label17", 46, 6, 121, 21);
    Label17->setTextFormat(Qt::PlainText); // an account name is never markup
    makeRed(Label17);
    Button1 = place(new QPushButton(tr("设置用户"), c), "Button1", 169, 5, 65, 18);
    Button1->setToolTip(QStringLiteral("Configuration account"));
    Button1->setFont(small);
    Button2 = place(new QPushButton(tr("默认用户"), c), "Button2", 169, 23, 65, 18);
    Button2->setToolTip(QStringLiteral("Default account"));
    Button2->setFont(small);

    Move = place(new WideRadioButton(tr("移动"), c), "Move", 18, 24, 49, 17);
    Move->setToolTip(QStringLiteral("Move  one or more files and/or folders"));
    Copy = place(new WideRadioButton(tr("复制"), c), "Copy", 71, 24, 49, 17);
    Copy->setToolTip(QStringLiteral("Copy  one or more files and/or folders"));
    Set = place(new WideRadioButton(tr("配置"), c), "Set", 123, 24, 49, 17);
    Set->setToolTip(QStringLiteral("Settings folder"));

    GroupBox3 = place(new QGroupBox(tr("文件重复："), c), "GroupBox3", 0, 40, 241, 41);
    RadioButton[13] =
        place(new WideRadioButton(tr("自动重命名"), GroupBox3), "RadioButton13", 8, 16, 89, 17);
    RadioButton[15] =
        place(new WideRadioButton(tr("自动替换"), GroupBox3), "RadioButton15", 104, 16, 73, 17);
    RadioButton[14] =
        place(new WideRadioButton(tr("替换"), GroupBox3), "RadioButton14", 184, 16, 49, 17);
    RadioButton[14]->setChecked(true); // before any handler is connected: writes nothing

    GroupBox1 = place(new QGroupBox(tr("文件夹分组："), c), "GroupBox1", 2, 80, 238, 112);
    GroupBox1->setToolTip(QStringLiteral("Folder groups "));
    constexpr int groupTop[5] = {16, 34, 53, 72, 91};
    for (int g = 1; g <= 10; ++g) {
        const QByteArray name = "RadioButton" + QByteArray::number(g);
        RadioButton[g] = place(new WideRadioButton(GroupBox1), name.constData(), g <= 5 ? 16 : 122,
                               groupTop[(g - 1) % 5], 97, 17);
    }
}

// The column captions and the 20 rows of path and name fields.
void TForm1::buildBoard() {
    const QFont small = smallFont(font());
    QWidget* c = Client;
    Label18 = place(new QLabel(tr("文件夹路径："), c), "Label18", 16, 193, 73, 17);
    Label18->setToolTip(QStringLiteral("Folder path"));
    Label18->setFont(small);
    Label19 = place(new QLabel(tr("文件夹名字："), c), "Label19", 136, 193, 81, 17);
    Label19->setToolTip(QStringLiteral("Folder name"));
    Label19->setFont(small);

    Panel1 = place(new QFrame(c), "Panel1", 3, 208, 238, 417);
    Panel1->setFrameStyle(QFrame::Panel | QFrame::Raised);
    Panel1->setToolTip(kWindowHint);
    const QFont rowFont = pixelFont(font(), 12);
    for (int r = 1; r <= 20; ++r) {
        const QByteArray label = "Label" + QByteArray::number(r <= 15 ? r : r + 4);
        RowLabel[r] =
            place(new QLabel(QString::number(r), Panel1), label.constData(), 5, kRowTop[r], 19, 19);
        RowLabel[r]->setAlignment(Qt::AlignCenter);
        RowLabel[r]->setFont(rowFont);
        const QByteArray edit = "Edit" + QByteArray::number(r);
        const QByteArray ed = "Ed" + QByteArray::number(r);
        Edit[r] = place(new QLineEdit(Panel1), edit.constData(), 24, kRowTop[r], 101, 19);
        Ed[r] = place(new QLineEdit(Panel1), ed.constData(), 127, kRowTop[r], 101, 19);
        // Without names a screen reader says "text" for each of the forty fields.
        Edit[r]->setAccessibleName(tr("槽位 %1 路径").arg(r));
        Ed[r]->setAccessibleName(tr("槽位 %1 名称").arg(r));
        for (QLineEdit* e : {Edit[r], Ed[r]}) {
            e->setReadOnly(true);
            // Drops over a slot go to the window, which finds the slot itself; a line
            // edit would insert the dropped URL as text.
            e->setAcceptDrops(false);
        }
    }

    for (QLabel* l : {Label16, Label17, Label18, Label19})
        l->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    // The fields' descriptions name the group they show.
    for (int g = 1; g <= qb::kGroups; ++g) {
        describeGroupButton(g);
        connect(RadioButton[g], &QAbstractButton::toggled, this, [this] {
            for (int r = 1; r <= qb::kRows; ++r)
                describeSlot(r);
        });
    }
}

// The two buttons, the docking choice, the status line and the timers.
void TForm1::buildFooter() {
    const QFont small = smallFont(font());
    QWidget* c = Client;
    Button3 = place(new QPushButton(tr("帮助"), c), "Button3", 37, 627, 73, 18);
    Button3->setToolTip(QStringLiteral("help"));
    Button3->setFont(small);
    Button4 = place(new QPushButton(tr("退出"), c), "Button4", 136, 627, 73, 18);
    Button4->setToolTip(QStringLiteral("quit"));
    Button4->setFont(small);
    qb::passesWhileBusy(Button4); // "退出" asks even while a job holds the window

    GroupBox2 = place(new QGroupBox(c), "GroupBox2", 3, 644, 238, 28);
    RadioButton[11] =
        place(new WideRadioButton(tr("隐藏窗口"), GroupBox2), "RadioButton11", 12, 8, 77, 17);
    RadioButton[11]->setToolTip(
        QStringLiteral("The main form is hidden on the left side of the screen automatically."));
    RadioButton[11]->setFont(small);
    RadioButton[12] =
        place(new WideRadioButton(tr("显示窗口"), GroupBox2), "RadioButton12", 136, 8, 81, 17);
    RadioButton[12]->setToolTip(QStringLiteral("The main form is always displayed."));
    RadioButton[12]->setFont(small);

    Labeltip = place(new QLabel(tr("状态：无操作"), c), "Labeltip", 4, 673, 221, 17);
    Labeltip->setToolTip(QStringLiteral("status "));
    // Its name is its text, which QLabel announces on each change.
    Labeltip->setAccessibleDescription(tr("状态栏"));
    Labeltip->setTextFormat(Qt::PlainText);
    Labeltip->setAlignment(Qt::AlignHCenter | Qt::AlignTop);
    Labeltip->setFont(small);
    makeRed(Labeltip);

    Timer1 = new QTimer(this);
    Timer1->setObjectName(QStringLiteral("Timer1"));
    Timer2 = new QTimer(this);
    Timer2->setObjectName(QStringLiteral("Timer2"));
}

void TForm1::setTabOrder() {
    // Panel1 first (path fields 1-15, name fields 1-15, then the pairs of rows 16-20),
    // GroupBox1, Move, Set, Copy, Button1-4, GroupBox2, GroupBox3.
    QList<QWidget*> chain;
    for (int r = 1; r <= 15; ++r)
        chain << Edit[r];
    for (int r = 1; r <= 15; ++r)
        chain << Ed[r];
    for (int r = 16; r <= 20; ++r)
        chain << Edit[r] << Ed[r];
    for (int g = 1; g <= 10; ++g)
        chain << RadioButton[g];
    chain << Move << Set << Copy << Button1 << Button2 << Button3 << Button4;
    chain << RadioButton[11] << RadioButton[12];
    chain << RadioButton[13] << RadioButton[15] << RadioButton[14];
    for (qsizetype i = 1; i < chain.size(); ++i)
        QWidget::setTabOrder(chain[i - 1], chain[i]);
}
