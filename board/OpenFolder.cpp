#include "app/Unit1.h"

// Opening a slot's folder, the computer view and the other windows.
void TForm1::EditClick(int) {}
void TForm1::EdClick(int) {}
void TForm1::EditEnter(int) {}
void TForm1::EditExit(int) {}
void TForm1::EdEnter(int) {}
void TForm1::EdExit(int) {}
void TForm1::FormDblClick() {}
void TForm1::Panel1DblClick() {}
void TForm1::Button1Click() {}
void TForm1::Button3Click() {}
