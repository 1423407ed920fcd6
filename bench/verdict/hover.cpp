// Whether the board keeps up with a drag while the dragged tree is being counted:
// a tree of 100,000 files is dragged over the main window, the pointer moving to
// another slot every 20 ms. For each move: the time from the drag event until the
// slot shows its colour (painted); and throughout, how late a 10 ms timer fires,
// which bounds how late the reveal poll and every other timer of the window run.
// Both measured while the count runs and again with the count done.
//   quillbeck-bench-hover [--files N] [--moves N]   runs on any Qt platform (offscreen too)
#include "app/Unit1.h"
#include "board/Accounts.h"
#include "drop/DropController.h"
#include "platform/ProgramFolder.h"
#include "store/Settings.h"

#include <QApplication>
#include <QDir>
#include <QDragMoveEvent>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QLineEdit>
#include <QMimeData>
#include <QTemporaryDir>
#include <QTimer>
#include <QUrl>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <vector>

namespace {

struct Stats {
    std::vector<double> ms;
    void add(double v) { ms.push_back(v); }
    double at(double q) {
        if (ms.empty()) return 0;
        std::sort(ms.begin(), ms.end());
        return ms[std::min(ms.size() - 1, static_cast<std::size_t>(q * double(ms.size())))];
    }
};

void makeTree(const QString& root, int files) {
    for (int i = 0; i < files; ++i) {
        const QString dir = root + QStringLiteral("/d%1").arg(i / 100);
        if (i % 100 == 0) QDir().mkpath(dir);
        QFile f(dir + QStringLiteral("/f%1.txt").arg(i));
        if (!f.open(QIODevice::WriteOnly) || f.write("0123456789") != 10) {
            std::fprintf(stderr, "cannot write %s\n", qPrintable(f.fileName()));
            std::exit(1);
        }
    }
}

// Moves the drag over `moves` slots in turn, 20 ms apart; stops early once
// `untilCounted` and the count is done.
void drag(TForm1& form, QMimeData& mime, int moves, bool untilCounted, Stats& hover, Stats& late,
          int& made) {
    QElapsedTimer clock;
    clock.start();
    qint64 lastTick = clock.elapsed();
    QTimer tick;
    tick.setTimerType(Qt::PreciseTimer);
    QObject::connect(&tick, &QTimer::timeout, [&] {
        const qint64 now = clock.elapsed();
        late.add(double(std::max<qint64>(0, now - lastTick - 10)));
        lastTick = now;
    });
    tick.start(10);
    const Qt::DropActions offered = Qt::CopyAction | Qt::MoveAction;
    for (made = 0; made < moves; ++made) {
        if (untilCounted && form.dropController().verdicts().counting().snapshot().finished())
            break;
        const int r = made % 20 + 1;
        const QPoint at = form.Edit[r]->mapTo(&form, form.Edit[r]->rect().center());
        QElapsedTimer t;
        t.start();
        QDragMoveEvent move(at, offered, &mime, Qt::LeftButton, Qt::NoModifier);
        QCoreApplication::sendEvent(&form, &move);
        form.Edit[r]->repaint(); // the colour on screen, not only in the palette
        hover.add(double(t.nsecsElapsed()) / 1e6);
        QEventLoop wait; // the window's own loop, idle until the next move
        QTimer::singleShot(20, Qt::PreciseTimer, &wait, &QEventLoop::quit);
        wait.exec();
    }
}

} // namespace

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    int files = 100000, moves = 500;
    for (int i = 1; i + 1 < argc; i += 2) {
        if (std::strcmp(argv[i], "--files") == 0) files = std::atoi(argv[i + 1]);
        if (std::strcmp(argv[i], "--moves") == 0) moves = std::atoi(argv[i + 1]);
    }
    QTemporaryDir program, work;
    qb::setProgramFolder(program.path() + u'/');
    const QString sys = program.path() + QStringLiteral("/sys.ini");
    qb::WriteSetting(sys, QStringLiteral("方案"), QStringLiteral("operate"),
                     QStringLiteral("FileCopy"));
    qb::WriteSetting(sys, QStringLiteral("方案"), QStringLiteral("show"), QStringLiteral("no"));
    const QString dest = work.path() + QStringLiteral("/dest");
    QDir().mkpath(dest);
    for (int r = 1; r <= 20; ++r)
        qb::WriteSetting(sys, QStringLiteral("我的文件夹"), QString::number(r), dest);
    const QString tree = work.path() + QStringLiteral("/tree");
    QElapsedTimer t;
    t.start();
    makeTree(tree, files);
    std::printf("made a tree of %d files in %.1f s\n", files, double(t.elapsed()) / 1000);

    TForm1 form;
    form.FormCreate();
    form.show();
    QMimeData mime;
    mime.setUrls({QUrl::fromLocalFile(tree)});
    QDragEnterEvent enter(QPoint(100, 300), Qt::CopyAction | Qt::MoveAction, &mime, Qt::LeftButton,
                          Qt::NoModifier);
    Stats hoverCounting, lateCounting, hoverDone, lateDone;
    int made = 0;
    t.restart();
    QCoreApplication::sendEvent(&form, &enter);
    drag(form, mime, 1000000, true, hoverCounting, lateCounting, made);
    const double counted = double(t.elapsed()) / 1000;
    const qb::DragCount c = form.dropController().verdicts().counting().snapshot();
    std::printf("counted %llu files in %.2f s, during which %d moves were made\n",
                static_cast<unsigned long long>(c.items.empty() ? 0 : c.items[0].files), counted,
                made);
    drag(form, mime, moves, false, hoverDone, lateDone, made);
    std::printf("%-28s %10s %10s %10s\n", "ms", "median", "p99", "max");
    auto row = [](const char* what, Stats& s) {
        std::printf("%-28s %10.2f %10.2f %10.2f\n", what, s.at(0.5), s.at(0.99), s.at(1.0));
    };
    row("slot colour, counting", hoverCounting);
    row("slot colour, counted", hoverDone);
    row("timer lateness, counting", lateCounting);
    row("timer lateness, counted", lateDone);
    std::printf("status line at the end: %s\n", qPrintable(form.statusText()));
    QDragLeaveEvent leave;
    QCoreApplication::sendEvent(&form, &leave);
    return 0;
}
