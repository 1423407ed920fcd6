#include "app/Unit1.h"

// Edge docking.
void TForm1::Timer1Timer() {}
void TForm1::Timer2Timer() {}
void TForm1::FormMouseMove() {}
