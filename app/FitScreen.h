#pragma once
// Fitting the main window into the height of the monitor it stands on.

class TForm1;

namespace qb {

// Fits the main window into the available height of the primary monitor, where
// the load places it. A window that is taller (a short screen, or a large scale
// factor) keeps its layout and shows the client area in a view that scrolls, so
// every control stays reachable; one that fits is left exactly as it is.
void fitToScreens(TForm1& form);
// The same against a given available height. Called again with another height
// (the window went to another monitor) it shrinks or grows the window, back to
// its own size without a view where that fits.
void fitToHeight(TForm1& form, int available);

} // namespace qb
