// Many small files dropped on a slot through the window of the real program, beside
// cp -a of the same folder into the same file system:
//   quillbeck-bench-drop [--runs N (even)] [--dir FOLDER-ON-DISK]
// 3,000 files of 1-64 KiB in 30 folders are dragged as one folder from a GTK drag
// source onto slot 5 in copy mode. The program's time is from its log: from the
// drop's arrival to its end, both stamped by the program itself. cp -a is timed as a
// process. Pairs run in alternating order, the source warm in the page cache for
// both, and the copies are set aside untimed. The figure is the median of the pairs'
// ratios.
#include "harness/DragSource.h"
#include "harness/Program.h"

#include <QCoreApplication>
#include <QDir>
#include <QDirIterator>
#include <QElapsedTimer>
#include <QRegularExpression>

#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>
#include <vector>

using namespace qb::harness;

namespace {

constexpr int kFolders = 30, kPerFolder = 100;

[[noreturn]] void die(const QString& why) {
    std::fprintf(stderr, "quillbeck-bench-drop: %s\n", qPrintable(why));
    std::exit(1);
}

// The same files every time: sizes from a fixed sequence, contents from it too.
void makeTree(const QString& root) {
    std::uint32_t r = 1;
    std::vector<char> buf(64 * 1024);
    for (int f = 0; f < kFolders; ++f) {
        const QString dir = root + QStringLiteral("/folder%1").arg(f);
        if (!QDir().mkpath(dir)) die(QStringLiteral("cannot make ") + dir);
        for (int i = 0; i < kPerFolder; ++i) {
            r = r * 1103515245u + 12345u;
            const std::size_t size = 1024 + (r >> 8) % (63 * 1024);
            for (std::size_t b = 0; b < size; ++b)
                buf[b] = static_cast<char>((r >> (b % 24)) + b);
            std::ofstream out(QStringLiteral("%1/file%2.bin").arg(dir).arg(i).toStdString(),
                              std::ios::binary);
            out.write(buf.data(), static_cast<std::streamsize>(size));
        }
    }
}

int runTool(const QStringList& args) {
    QProcess p;
    p.start(args.first(), args.mid(1));
    if (!p.waitForFinished(600000)) die(QStringLiteral("timed out: ") + args.join(u' '));
    return p.exitCode();
}

// Reads every file once so that both sides start from a warm page cache.
void warm(const QString& tree) {
    runTool({QStringLiteral("sh"), QStringLiteral("-c"),
             QStringLiteral("cat $(find '%1' -type f) > /dev/null").arg(tree)});
}

void clear(const QString& folder) {
    runTool({QStringLiteral("rm"), QStringLiteral("-rf"), folder});
    QDir().mkpath(folder);
    ::sync();
}

double secondsOfCp(const QString& tree, const QString& into) {
    QElapsedTimer t;
    t.start();
    if (runTool({QStringLiteral("cp"), QStringLiteral("-a"), tree, into + u'/'}) != 0)
        die(QStringLiteral("cp -a failed"));
    return static_cast<double>(t.nsecsElapsed()) / 1e9;
}

// The program's own times of the last drop's start and end, from its log.
bool dropTimes(const QByteArray& log, double& begin, double& end) {
    static const QRegularExpression start(QStringLiteral("^ *([0-9.]+) drop: copy"),
                                          QRegularExpression::MultilineOption);
    static const QRegularExpression done(
        QStringLiteral("^ *([0-9.]+) drop (done|failed|cancelled)"),
        QRegularExpression::MultilineOption);
    const QString text = QString::fromUtf8(log);
    QRegularExpressionMatch s, d;
    for (auto it = start.globalMatch(text); it.hasNext();)
        s = it.next();
    for (auto it = done.globalMatch(text); it.hasNext();)
        d = it.next();
    if (!s.hasMatch() || !d.hasMatch() || d.capturedStart() < s.capturedStart()) return false;
    if (d.captured(2) != QStringLiteral("done")) die(QStringLiteral("the drop did not succeed"));
    begin = s.captured(1).toDouble();
    end = d.captured(1).toDouble();
    return true;
}

int filesIn(const QString& folder) {
    int n = 0;
    for (QDirIterator it(folder, QDir::Files, QDirIterator::Subdirectories); it.hasNext();
         it.next())
        ++n;
    return n;
}

double median(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    const std::size_t n = v.size();
    return n % 2 ? v[n / 2] : (v[n / 2 - 1] + v[n / 2]) / 2;
}

} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    int runs = 6;
    QString base = QStringLiteral("/var/tmp");
    const QStringList args = app.arguments();
    for (int i = 1; i < args.size(); ++i) {
        if (args[i] == QStringLiteral("--runs") && i + 1 < args.size())
            runs = std::max(2, args[++i].toInt() / 2 * 2);
        else if (args[i] == QStringLiteral("--dir") && i + 1 < args.size())
            base = args[++i];
        else
            die(QStringLiteral(
                "usage: quillbeck-bench-drop [--runs N (even)] [--dir FOLDER-ON-DISK]"));
    }
    QTemporaryDir work(base + QStringLiteral("/qb-bench-drop-XXXXXX"));
    if (!work.isValid()) die(QStringLiteral("no folder in ") + base);
    const QString tree = work.path() + QStringLiteral("/tree");
    const QString ours = work.path() + QStringLiteral("/ours"),
                  theirs = work.path() + QStringLiteral("/theirs");
    std::printf("making the test data in %s ...\n", qPrintable(work.path()));
    std::fflush(stdout);
    makeTree(tree);
    QDir().mkpath(ours);
    QDir().mkpath(theirs);

    Desktop desk;
    QString err;
    if (!desk.start(&err)) die(err);
    Sandbox box;
    if (!box.isValid()) die(box.error());
    const QString sysIni = box.path(QStringLiteral("sys.ini"));
    writeSetting(sysIni, QStringLiteral("方案"), QStringLiteral("operate"),
                 QStringLiteral("FileCopy"));
    writeSetting(sysIni, QStringLiteral("方案"), QStringLiteral("thesame"),
                 QStringLiteral("FileRename"));
    writeSetting(sysIni, QStringLiteral("我的文件夹"), QStringLiteral("5"), ours);
    box.setVariable(QStringLiteral("QT_LOGGING_RULES"), QStringLiteral("quillbeck.drop.info=true"));
    box.setVariable(QStringLiteral("QT_MESSAGE_PATTERN"),
                    QStringLiteral("%{time boot} %{message}"));
    Program program(desk, box);
    const auto win = program.startToMainWindow(&err);
    if (!win) die(err);
    DragSource source(desk, QStringList{tree});
    if (!source.waitReady(&err)) die(err);

    std::vector<double> ratios, oursT, theirsT;
    for (int i = 0; i < runs; ++i) {
        double t[2] = {0, 0};
        for (int k = 0; k < 2; ++k) {
            const int side = (i % 2) ^ k; // 0: the program, 1: cp -a
            clear(side == 0 ? ours : theirs);
            warm(tree);
            if (side == 1) {
                t[1] = secondsOfCp(tree, theirs);
                continue;
            }
            const QByteArray before = program.output();
            if (!source.dragTo(win->point(QStringLiteral("Edit5")), &err)) die(err);
            double begin = 0, end = 0;
            if (!waitUntil(
                    [&] { return dropTimes(program.output().mid(before.size()), begin, end); },
                    600000))
                die(QStringLiteral("the drop did not end:\n") +
                    QString::fromUtf8(program.output()));
            t[0] = end - begin;
            if (filesIn(ours + QStringLiteral("/tree")) != kFolders * kPerFolder)
                die(QStringLiteral("the drop did not copy every file"));
        }
        oursT.push_back(t[0]);
        theirsT.push_back(t[1]);
        ratios.push_back(t[0] / t[1]);
        std::printf("pair %d: program %.3f s, cp -a %.3f s, %.2fx\n", i + 1, t[0], t[1],
                    t[0] / t[1]);
        std::fflush(stdout);
    }
    const double ratio = median(ratios);
    std::printf("\n%d files of 1-64 KiB dropped through the window\n"
                "program %.3f s, cp -a %.3f s (medians), ratio %.2fx (goal <= 0.8x: %s)\n",
                kFolders * kPerFolder, median(oursT), median(theirsT), ratio,
                ratio <= 0.8 ? "met" : "NOT met");
    return 0;
}
