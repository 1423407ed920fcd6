#pragma once
#include <QPoint>
#include <QWidget>

class QAbstractButton;
class QCloseEvent;
class QDragEnterEvent;
class QDragMoveEvent;
class QDropEvent;
class QFrame;
class QGroupBox;
class QLabel;
class QLineEdit;
class QPaintEvent;
class QPushButton;
class QRadioButton;
class QTimer;

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
// Handlers: every control event is routed to one member function below, always
// through qb::runHandler / qb::runHandlerShowingErrors, so no exception crosses a
// Qt dispatch. Several bodies live with the feature that owns them:
//   app/Unit1.cpp         construction, FormCreate, Button4Click, RadioButton11/12Click
//   store/LoadAccount.cpp LoadAccount, Button2Click
//   board/Groups.cpp      RadioButtonClick, RadioButtonMouseDown
//   board/SlotPath.cpp    EditChange
//   board/OpenFolder.cpp  EditClick, EdClick, Edit/EdEnter/Exit, FormDblClick,
//                         Panel1DblClick, Button1Click, Button3Click
//   app/Docking.cpp       Timer1Timer, Timer2Timer, FormMouseMove
//   drop/Modes.cpp        MoveClick, CopyClick, SetClick, RadioButton13/14/15Click
//   drop/DropHandler.cpp  dragEnterEvent, dragMoveEvent, dropEvent
class TForm1 : public QWidget {
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

    // ---- Handlers -------------------------------------------------------------
    // Creation: hides the program from the taskbar, starts the timers, runs the load.
    void FormCreate();
    // Ends the program (also the close box). Nothing is saved: every setting was
    // written when it changed.
    void Button4Click();

    // Puts the current account on the window; errors of the handlers it sets off
    // (except a path field's) end it and reach the caller.
    void LoadAccount();
    // Makes the default account current and loads it.
    void Button2Click();

    // Slot path change of row r (1..20): stores the path, derives the name.
    void EditChange(int r);
    // Group switch to group g (1..10), run when its button becomes checked.
    void RadioButtonClick(int g);
    // Any mouse press on group button g; the right button renames the group.
    void RadioButtonMouseDown(int g, Qt::MouseButton button, Qt::KeyboardModifiers modifiers,
                              const QPoint& pos);

    // Operation mode and duplicate policy: each writes its value when checked.
    void MoveClick();
    void CopyClick();
    void SetClick();
    void RadioButton13Click();
    void RadioButton14Click();
    void RadioButton15Click();
    // Docking choice: each writes "show" when checked.
    void RadioButton11Click();
    void RadioButton12Click();

    // Opening folders and the other windows.
    void EditClick(int r); // left click (release) on path field r
    void EdClick(int r);   // left click (release) on name field r
    void EditEnter(int r); // path field r gets the focus
    void EditExit(int r);  // path field r loses the focus
    void EdEnter(int r);
    void EdExit(int r);
    void FormDblClick();   // double click on the client area's own background
    void Panel1DblClick(); // double click on Panel1's own background
    void Button1Click();   // shows the account dialog
    void Button3Click();   // shows the help window

    // Edge docking.
    void Timer1Timer();
    void Timer2Timer();
    void FormMouseMove(); // mouse move over the client area's own background

    // The row whose path field or name field is `w`, or 0.
    int rowOf(const QWidget* w) const;

protected:
    // Drops of files and folders (the slot fields do not accept drops themselves,
    // so drops over them arrive here).
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dragMoveEvent(QDragMoveEvent* event) override;
    void dropEvent(QDropEvent* event) override;

    bool eventFilter(QObject* watched, QEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    void paintEvent(QPaintEvent* event) override;

private:
    void buildWindow();
    void buildControls();
    void setTabOrder();
    void connectHandlers();
    void centreOnPrimaryScreen();
};

// The three windows of the program, created once at start-up in this order.
class TForm3;
class TForm4;
extern TForm1* Form1;
extern TForm3* Form3;
extern TForm4* Form4;
