#pragma once
#include <QString>

#include <memory>

class QWidget;
class TForm1;
class TForm3;

namespace qb {

class InstanceGuard;

// The name marking a running instance for the logged-on user.
inline QString instanceName() {
    return QStringLiteral("quillbeck001");
}

// Claims the single-instance marker at `lockPath`. When another instance holds
// it, shows "程序已运行" and returns false: the caller then ends without creating
// a window, loading or writing anything (a second instance that loaded would
// race the running one's writes to the same settings files).
bool claimSingleInstance(InstanceGuard& guard, const QString& lockPath);

// Creates the account dialog and runs its creation handler; with `main`, what the
// user chooses in it reaches the main window.
std::unique_ptr<TForm3> createAccountDialog(TForm1* main);

// Runs the event loop without the user's input until `window`, shown, has been
// painted, or for `maxMs` at most (a window off every screen is never painted).
// Returns false when the program was asked to end meanwhile.
bool waitForFirstPaint(QWidget& window, int maxMs);
inline constexpr int kFirstPaintWaitMs = 500;

// Everything after the application object exists: the guard, the three windows
// in their order (the main window painted before the others are made), the first
// load, the message loop. Always returns 0.
int runProgram();

} // namespace qb
