// The program ends as "退出" ends it, however it is asked to: the windows close in
// order, the lock goes and the compositor's pointer script is unloaded on the way
// out of the event loop. Running jobs are stopped first, never cut off mid-file.
#include "app/Quit.h"

#include "app/Unit1.h"
#include "drop/DropController.h"
#include "operation/FileOperation.h"
#include "operation/Log.h"
#include "platform/Dialogs.h"

#include <QCoreApplication>
#include <QSocketNotifier>
#include <QTimer>

#include <cerrno>
#include <csignal>

#include <fcntl.h>
#include <unistd.h>

namespace qb {

namespace {

int signalPipe[2] = {-1, -1};

void onSignal(int) {
    const int saved = errno;
    const char byte = 1;
    [[maybe_unused]] const ssize_t n = ::write(signalPipe[1], &byte, 1);
    errno = saved;
}

} // namespace

void quitOnSignals(QObject* context, std::function<void()> quit) {
    if (signalPipe[0] < 0 && ::pipe2(signalPipe, O_CLOEXEC | O_NONBLOCK) != 0) {
        qCWarning(lcDrop) << "SIGTERM and SIGINT end the program at once: no pipe for them";
        return;
    }
    auto* notifier = new QSocketNotifier(signalPipe[0], QSocketNotifier::Read, context);
    QObject::connect(notifier, &QSocketNotifier::activated, context, [quit = std::move(quit)] {
        char bytes[16];
        while (::read(signalPipe[0], bytes, sizeof bytes) > 0) {
        }
        qCInfo(lcDrop) << "asked by a signal to end";
        quit();
    });
    struct sigaction sa {};
    sa.sa_handler = onSignal;
    sigemptyset(&sa.sa_mask);
    // Once handled, the next one takes its default course: a stuck job cannot keep
    // the program from ending.
    sa.sa_flags = static_cast<int>(SA_RESTART | SA_RESETHAND);
    for (const int sig : {SIGTERM, SIGINT})
        ::sigaction(sig, &sa, nullptr);
}

} // namespace qb

// Without running jobs the program ends at once. With some, "退出" asks first, and
// a signal does not (nobody is there to answer): they are cancelled, and the
// program ends once each has ended as a cancel ends it.
void TForm1::quitProgram(bool ask) {
    const auto busy = [this] { return drops_->inProgress() || qb::runningOperations() > 0; };
    if (!busy()) return QCoreApplication::exit(0);
    if (quitting_) return;
    if (ask && !qb::dialogs().question(this, tr("有正在进行的复制或移动。要停止它并退出吗？"),
                                       tr("停止并退出"), tr("继续运行"))) {
        qCInfo(qb::lcDrop) << "quit declined: the jobs go on";
        return;
    }
    if (!busy()) return QCoreApplication::exit(0); // they ended while the question was open
    quitting_ = true;
    qCInfo(qb::lcDrop) << "quit: the running jobs are cancelled first";
    drops_->cancelAll();
    auto* poll = new QTimer(this);
    poll->setInterval(50);
    connect(poll, &QTimer::timeout, this, [this, busy, poll] {
        if (!busy()) {
            poll->stop();
            QCoreApplication::exit(0);
            return;
        }
        drops_->cancelAll(); // also what came in meanwhile
    });
    poll->start();
}
