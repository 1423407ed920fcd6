// Ending the program: "退出", the close box and the tray's entry, and SIGTERM or SIGINT.
#pragma once
#include <functional>

class QObject;

namespace qb {

// Turns SIGTERM and SIGINT into a call of `quit` from the event loop, while
// `context` lives: the handler only writes a byte to a pipe, which a socket notifier
// reads. A second signal before the program ended ends it at once, as it would
// without this.
void quitOnSignals(QObject* context, std::function<void()> quit);

} // namespace qb
