#pragma once

class TForm1;

namespace qb {

// Fits the main window into the smallest available monitor height. A window
// that is taller (a short screen, or a large scale factor) keeps its layout and
// shows the client area in a view that scrolls, so every control stays
// reachable; one that fits is left exactly as it is. Call before the first show.
void fitToScreens(TForm1& form);
// The same against a given available height.
void fitToHeight(TForm1& form, int available);

} // namespace qb
