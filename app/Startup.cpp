#include "app/Startup.h"

#include "app/Quit.h"
#include "app/Tray.h"
#include "app/Unit1.h"
#include "app/Unit3.h"
#include "help/Unit4.h"
#include "platform/Dialogs.h"
#include "platform/Handler.h"
#include "platform/InstanceGuard.h"

#include <QApplication>
#include <QCoreApplication>
#include <QEventLoop>
#include <QTimer>

#include <memory>

namespace qb {

bool claimSingleInstance(InstanceGuard& guard, const QString& lockPath) {
    if (guard.claim(lockPath)) return true;
    dialogs().messageBox(nullptr, QCoreApplication::translate("qb::Startup", "程序已运行"));
    return false;
}

std::unique_ptr<TForm3> createAccountDialog(TForm1* main) {
    auto dialog = std::make_unique<TForm3>();
    if (main) {
        QObject::connect(dialog.get(), &TForm3::currentAccountFound, main,
                         [main](const QString& account) { main->setAccountLabel(account); });
        // Run as a handler of the main window, so that the load's error reaches
        // the login through propagateFrom instead of crossing the signal.
        QObject::connect(dialog.get(), &TForm3::loggedIn, main,
                         [main] { runHandler(main, [main] { main->LoadAccount(); }); });
    }
    runHandler(dialog.get(), [&dialog] { dialog->FormCreate(); });
    return dialog;
}

namespace {

// How the wait for the first paint ended, when the program was not asked to end.
constexpr int kPainted = 1;

// Ends `loop` once `window` has been painted.
class FirstPaint final : public QObject {
public:
    FirstPaint(QWidget& window, QEventLoop& loop) : window_(window), loop_(loop) {
        window_.installEventFilter(this);
    }
    ~FirstPaint() override { window_.removeEventFilter(this); }
    FirstPaint(const FirstPaint&) = delete;
    FirstPaint& operator=(const FirstPaint&) = delete;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        // Takes effect once this paint has been flushed to the screen.
        if (watched == &window_ && event->type() == QEvent::Paint) loop_.exit(kPainted);
        return false;
    }

private:
    QWidget& window_;
    QEventLoop& loop_;
};

} // namespace

bool waitForFirstPaint(QWidget& window, int maxMs) {
    if (!window.isVisible()) return true;
    QEventLoop loop;
    FirstPaint watch(window, loop);
    QTimer::singleShot(maxMs, &loop, [&loop] { loop.exit(kPainted); });
    // Anything else ended it: QCoreApplication::exit(), as the window's close does.
    return loop.exec(QEventLoop::ExcludeUserInputEvents) == kPainted;
}

int runProgram() {
    InstanceGuard guard;
    if (!claimSingleInstance(guard, instanceLockPath(instanceName()))) return 0;

    std::unique_ptr<TForm1> form1;
    std::unique_ptr<TForm3> form3;
    std::unique_ptr<TForm4> form4;
    std::unique_ptr<DesktopIntegration> desktop;
    try {
        form1 = std::make_unique<TForm1>();
        Form1 = form1.get();
        // An error of the creation handler ends it; start-up goes on.
        runHandler(form1.get(), [&] { form1->FormCreate(); });
        form1->show();
        // The board reaches the screen first: the account dialog and the help
        // window are not seen before the user asks for them, and a tray icon that
        // appears a frame later is not missed. The user's input waits meanwhile.
        if (waitForFirstPaint(*form1, kFirstPaintWaitMs)) {
            form3 = createAccountDialog(form1.get());
            Form3 = form3.get();
            form4 = std::make_unique<TForm4>();
            Form4 = form4.get();
            desktop = std::make_unique<DesktopIntegration>(*form1);
            quitOnSignals(form1.get(),
                          [f = form1.get()] { runHandler(f, [f] { f->quitProgram(false); }); });
            QApplication::exec();
        }
    } catch (...) {
        showCurrentError(nullptr);
    }
    // The windows go before the application object, in reverse order of creation.
    desktop.reset();
    Form4 = nullptr;
    Form3 = nullptr;
    Form1 = nullptr;
    form4.reset();
    form3.reset();
    form1.reset();
    return 0;
}

} // namespace qb
