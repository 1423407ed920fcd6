// The main window's handlers by their fixed names, each a one-line delegate to the
// call that does the work. Who calls whom, in one table (r: row, g: group):
//
//   handler                 set off by                          call
//   FormCreate              start-up                            fit, dock window, docking, load
//   FormDblClick            double click on the background      folders.openTopLevel()
//   Panel1DblClick          double click on the board panel     folders.openTopLevel()
//   FormMouseMove           mouse move over the background      docking.rearm()
//   Button1Click            "设置用户"                           the account dialog, shown
//   Button2Click            "默认用户"                           board.loadDefaultAccount()
//   Button3Click            "帮助"                               the help window, shown
//   Button4Click            "退出", the close box, the tray      quitProgram(true)
//   MoveClick, CopyClick,   a mode, docking or policy button    board.storeChoice(c)
//   SetClick, RadioButton11Click .. RadioButton15Click becoming checked
//   RadioButtonClick(g)     group button g becoming checked     board.switchToGroup(g)
//   RadioButtonMouseDown(g) a press on group button g           board.renameGroup(g), right button
//   EditChange(r)           path field r's text changing        board.storeSlotPath(r)
//   EditClick(r), EdClick(r)  a left click on row r             folders.openSlot(r)
//   EditEnter(r), EdEnter(r)  row r getting the focus           folders.highlightRow(r)
//   EditExit(r), EdExit(r)    row r losing the focus            folders.unhighlightRow(r)
//   Timer1Timer             the hide poll (docking owns it)     docking.hideTick()
//   Timer2Timer             the reveal poll (docking owns it)   docking.revealTick()
//
// Drops go from dragEnterEvent/dragMoveEvent/dropEvent to the drop controller.
#include "app/Unit1.h"

#include "app/FitScreen.h"
#include "app/Unit3.h"
#include "board/Board.h"
#include "board/Folders.h"
#include "help/Unit4.h"
#include "platform/X11Window.h"

#include <QCoreApplication>

void TForm1::FormCreate() {
    qb::fitToScreens(*this);
    qb::makeDockWindow(this);
    docking_->start();
    LoadAccount();
}

// clang-format off: one line each, so the delegates read as the table above.
void TForm1::FormDblClick() {
    folders_->openTopLevel();
}
void TForm1::Panel1DblClick() {
    folders_->openTopLevel();
}
void TForm1::FormMouseMove() {
    docking_->rearm();
}

void TForm1::Button1Click() {
    if (Form3) Form3->ShowModeless();
}
void TForm1::Button2Click() {
    board_->loadDefaultAccount();
}
void TForm1::Button3Click() {
    if (Form4) Form4->ShowModeless();
}
void TForm1::Button4Click() {
    quitProgram(true);
}

void TForm1::MoveClick() {
    board_->storeChoice(qb::Choice::Move);
}
void TForm1::CopyClick() {
    board_->storeChoice(qb::Choice::Copy);
}
void TForm1::SetClick() {
    board_->storeChoice(qb::Choice::Set);
}
void TForm1::RadioButton11Click() {
    board_->storeChoice(qb::Choice::Hide);
}
void TForm1::RadioButton12Click() {
    board_->storeChoice(qb::Choice::Show);
}
void TForm1::RadioButton13Click() {
    board_->storeChoice(qb::Choice::Rename);
}
void TForm1::RadioButton14Click() {
    board_->storeChoice(qb::Choice::Replace);
}
void TForm1::RadioButton15Click() {
    board_->storeChoice(qb::Choice::AutoReplace);
}

void TForm1::RadioButtonClick(int g) {
    board_->switchToGroup(g);
}
// Only the right button renames; a right press neither checks nor switches.
void TForm1::RadioButtonMouseDown(int g, Qt::MouseButton button) {
    if (button == Qt::RightButton) board_->renameGroup(g);
}

void TForm1::EditChange(int r) {
    board_->storeSlotPath(r);
}
void TForm1::EditClick(int r) {
    folders_->openSlot(r);
}
void TForm1::EdClick(int r) {
    folders_->openSlot(r);
}
void TForm1::EditEnter(int r) {
    folders_->highlightRow(r);
}
void TForm1::EdEnter(int r) {
    folders_->highlightRow(r);
}
void TForm1::EditExit(int r) {
    folders_->unhighlightRow(r);
}
void TForm1::EdExit(int r) {
    folders_->unhighlightRow(r);
}

void TForm1::Timer1Timer() {
    docking_->hideTick();
}
void TForm1::Timer2Timer() {
    docking_->revealTick();
}

void TForm1::LoadAccount() {
    board_->loadCurrentAccount();
}
// clang-format on
