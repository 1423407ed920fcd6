#pragma once
#include "board/BoardView.h"
#include "dock/Docking.h"

#include <QPoint>
#include <QWidget>

#include <memory>

class QAbstractButton;
class QCloseEvent;
class QDragEnterEvent;
class QDragLeaveEvent;
class QDragMoveEvent;
class QDropEvent;
class QFrame;
class QGroupBox;
class QLabel;
class QLineEdit;
class QMenu;
class QPaintEvent;
class QPushButton;
class QRadioButton;
class QTimer;

namespace qb {
class Board;
class BoardKeys;
class SpringLoader;
class DropController;
class FindBox;
struct FindEntry;
class Folders;
class HistoryWindow;
class UndoController;
} // namespace qb

// The main window: the account, the operation mode, the duplicate policy, the
// ten group buttons, the board of 20 slots, the docking choice and the status line.
//
// It is a dock-type X11 window without a frame from the window manager (so it can
// stand fully beyond the left screen edge); it draws its own caption strip with the
// caption and a close box above the 244 x 694 client area that holds the controls.
// Its outer geometry (frameGeometry) is what docking and centring use.
//
// Every control is a public member named as the program names it; its objectName
// is the same name. Rows and groups are arrays indexed from 1 (index 0 unused).
//
// The window is the view: it builds the controls and routes every control event,
// always through qb::runHandler / qb::runHandlerShowingErrors so no exception
// crosses a Qt dispatch, to its handler of the fixed name (Unit1Handlers.cpp
// maps each to the controller call that does the work):
//   qb::Board           (board/Board.h)            the load, groups, slot paths, choices
//   qb::Folders         (board/Folders.h)          opening folders, the row highlight
//   qb::Docking         (dock/Docking.h)           the two polls, the re-arm, the edge
//   qb::DropController  (drop/DropController.h)    drops
// The controllers reach the window only through qb::BoardView and qb::DockHost.
class TForm1 : public QWidget, public qb::BoardView, private qb::DockHost {
    Q_OBJECT

public:
    explicit TForm1(QWidget* parent = nullptr);
    ~TForm1() override;

    // Height of the caption strip drawn above the client area, in pixels.
    static constexpr int kCaptionHeight = 20;
    // Width of the border drawn around caption strip and client area.
    static constexpr int kBorder = 1;
    static constexpr int kClientWidth = 244;
    static constexpr int kClientHeight = 694;

    // Window structure (not controls of the board).
    QWidget* CaptionStrip = nullptr;     // objectName "CaptionStrip"
    QAbstractButton* CloseBox = nullptr; // objectName "CloseBox"; ends the program
    QWidget* Client = nullptr;           // objectName "Client"; 244 x 694

    // Controls, top to bottom.
    QLabel* Label16 = nullptr;
    QLabel* Label17 = nullptr; // current account's name, red
    QPushButton* Button1 = nullptr;
    QPushButton* Button2 = nullptr;
    QRadioButton* Move = nullptr;
    QRadioButton* Copy = nullptr;
    QRadioButton* Set = nullptr;
    QGroupBox* GroupBox3 = nullptr; // duplicate policy: RadioButton13..15
    QGroupBox* GroupBox1 = nullptr; // groups: RadioButton1..10
    // RadioButton[1]..[15]: groups 1-10, docking 11 ("隐藏窗口") and 12 ("显示窗口"),
    // policies 13-15. RadioButton[0] is unused.
    QRadioButton* RadioButton[16] = {};
    QLabel* Label18 = nullptr;
    QLabel* Label19 = nullptr;
    QFrame* Panel1 = nullptr;
    // Row r: RowLabel[r] (objectNames Label1..Label15, Label20..Label24), the path
    // field Edit[r] ("Edit1".."Edit20") and the name field Ed[r] ("Ed1".."Ed20").
    QLabel* RowLabel[21] = {};
    QLineEdit* Edit[21] = {};
    QLineEdit* Ed[21] = {};
    QPushButton* Button3 = nullptr;
    QPushButton* Button4 = nullptr;
    QGroupBox* GroupBox2 = nullptr; // docking: RadioButton11, RadioButton12
    QLabel* Labeltip = nullptr;     // status line
    QTimer* Timer1 = nullptr;       // hide poll
    QTimer* Timer2 = nullptr;       // reveal poll

    // ---- The window's handlers, by their fixed names ---------------------------------
    // Each is a one-line delegate; Unit1Handlers.cpp lists what each one calls.
    // Rows r are 1..20, groups g 1..10.
    void FormCreate();
    void FormDblClick();
    void Panel1DblClick();
    void FormMouseMove();
    void Button1Click();
    void Button2Click();
    void Button3Click();
    void Button4Click();
    void MoveClick();
    void CopyClick();
    void SetClick();
    void RadioButtonClick(int g);
    void RadioButtonMouseDown(int g, Qt::MouseButton button);
    void RadioButton11Click();
    void RadioButton12Click();
    void RadioButton13Click();
    void RadioButton14Click();
    void RadioButton15Click();
    void EditChange(int r);
    void EditClick(int r);
    void EdClick(int r);
    void EditEnter(int r);
    void EdEnter(int r);
    void EditExit(int r);
    void EdExit(int r);
    void Timer1Timer();
    void Timer2Timer();

    // Entry points that start-up and the other windows use.
    void LoadAccount();
    // Ends the program; running jobs are stopped first, after asking when `ask` (Quit.cpp).
    void quitProgram(bool ask);

    qb::DropController& dropController() { return *drops_; }
    qb::Docking& docking() { return *docking_; }
    qb::UndoController& undoController() { return *undo_; }
    qb::BoardKeys& boardKeys() { return *keys_; }
    qb::SpringLoader& springLoader() { return *springs_; }
    qb::FindBox& findBox() { return *find_; }

    // Undoes the last drop, asking first (Ctrl+Z, the tray).
    void undoLastDrop();
    // The history window, made the first time it is asked for.
    qb::HistoryWindow& historyWindow();
    void showHistory();

    // ---- qb::BoardView ------------------------------------------------------------
    QString pathText(int r) const override;
    void applyPathText(int r, const QString& text) override;
    void setNameText(int r, const QString& text) override;
    void setRowHighlighted(int r, bool highlighted) override;
    bool isChecked(qb::Choice c) const override;
    void applyChoice(qb::Choice c) override;
    void uncheck(qb::Choice c) override;
    int checkedGroup() const override;
    void applyGroup(int g) override;
    void uncheckGroups() override;
    QString groupCaption(int g) const override;
    void setGroupCaption(int g, const QString& caption) override;
    void setAccountLabel(const QString& name) override;
    QString statusText() const override;
    void setStatusText(const QString& text) override;
    void centre() override;
    QWidget* dialogOwner() override { return this; }
    QWidget* widgetAt(QPoint globalPos) override;
    // The row whose path field or name field is `w`, or 0.
    int rowOf(const QWidget* w) const override;
    void focusRowAfterDrop(int r) override;
    void focusAfterDrop(QWidget* w) override;
    void showDropShade(int r, Shade shade) override;
    void showSlotAction(int r, qb::SlotAction a) override;

protected:
    // Drops of files and folders (the slot fields do not accept drops themselves,
    // so drops over them arrive here).
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dragMoveEvent(QDragMoveEvent* event) override;
    void dragLeaveEvent(QDragLeaveEvent* event) override;
    void dropEvent(QDropEvent* event) override;

    bool eventFilter(QObject* watched, QEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    void paintEvent(QPaintEvent* event) override;

private:
    // ---- qb::DockHost -----------------------------------------------------------
    bool autoHide() const override;
    void showDockingStatus(const QString& text) override;
    void fitToMonitorHeight(int available) override;

    void buildWindow();
    void buildHeader();
    void buildBoard();
    void buildFooter();
    void setTabOrder();
    void createControllers();
    void connectHandlers();
    void connectChoices();
    void connectRows();
    QRadioButton* choiceButton(qb::Choice c) const;
    bool clientEvent(QWidget* widget, QEvent* event);
    bool rowEvent(int r, QWidget* widget, QEvent* event);
    void showContextMenu(QMenu* menu, QPoint globalPos);
    // The status line's tooltip: the last drop an undo can take back.
    void describeLastDrop();
    void groupEvent(int g, QEvent* event);
    // What a screen reader says of the controls that show no text of their own.
    void describeSlot(int r);
    void describeGroupButton(int g);
    // The slot's own action, chosen from row r's context menu.
    void addSlotActions(QMenu* menu, int r);
    // The global position of a drag or drop event's point (see dropEvent).
    QPoint dragPos(const QDropEvent* event) const;
    void dragOver(QDragMoveEvent* event, bool entering);
    // The find field over the board, and the row labels' drags of their folders.
    void buildFind();
    // Opens a found slot's folder as a click on the slot does.
    void openFound(const qb::FindEntry& entry);

    std::unique_ptr<qb::Board> board_;
    std::unique_ptr<qb::Folders> folders_;
    std::unique_ptr<qb::Docking> docking_;
    std::unique_ptr<qb::DropController> drops_;
    std::unique_ptr<qb::UndoController> undo_;
    std::unique_ptr<qb::HistoryWindow> history_;
    qb::BoardKeys* keys_ = nullptr;       // a child of the window
    qb::SpringLoader* springs_ = nullptr; // a child of the window
    qb::FindBox* find_ = nullptr;         // a child of the window
    // Set by a slot's double click: the release that follows ends the double
    // click and opens nothing, so a double click opens the folder once.
    bool releaseEndsDoubleClick_ = false;
    bool quitting_ = false;        // the running jobs are being stopped before the program ends
    bool rowHighlighted_[21] = {}; // by the focus: what a drag's colour gives back
};

// The three windows of the program, created once at start-up in this order.
class TForm3;
class TForm4;
extern TForm1* Form1;
extern TForm3* Form3;
extern TForm4* Form4;
