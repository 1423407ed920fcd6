// The find field on an account whose 200 slots all hold folders (names of mixed
// scripts, accents, full-width letters) and whose ten groups are named: a five-
// letter query typed one key at a time, many rounds. For each key: the search
// alone, the field's answer (search and list filled), and that answer painted.
// Also the opening of the field, which reads the settings file.
//   quillbeck-bench-find [--rounds N]   runs on any Qt platform (offscreen by default)
#include "app/Unit1.h"
#include "board/Accounts.h"
#include "board/Choices.h"
#include "find/FindBox.h"
#include "find/SlotIndex.h"
#include "platform/ProgramFolder.h"
#include "store/Settings.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QKeyEvent>
#include <QLineEdit>
#include <QTemporaryDir>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <vector>

namespace {

struct Stats {
    std::vector<double> ms;
    void add(double v) { ms.push_back(v); }
    void print(const char* what) {
        std::sort(ms.begin(), ms.end());
        const double median = ms.empty() ? 0 : ms[ms.size() / 2];
        const double p99 = ms.empty() ? 0 : ms[std::min(ms.size() - 1, ms.size() * 99 / 100)];
        std::printf("%-34s n=%-6zu median %7.3f ms   p99 %7.3f ms   slowest %7.3f ms\n", what,
                    ms.size(), median, p99, ms.empty() ? 0 : ms.back());
    }
};

double elapsedMs(const QElapsedTimer& t) {
    return double(t.nsecsElapsed()) / 1e6;
}

const char* const kWords[] = {"Reports", "Photos",  "项目资料", "Café Crème", "Ｄｏｃｕｍｅｎｔｓ",
                              "Música",  "archive", "Invoices", "下载",       "Projects"};

void fillAccount(const QString& sys) {
    for (int g = 1; g <= qb::kGroups; ++g) {
        qb::WriteSetting(sys, qb::schemeSection(), QStringLiteral("name%1").arg(g),
                         QStringLiteral("分组 Group %1").arg(g));
        for (int r = 1; r <= qb::kRows; ++r) {
            const QString name = QString::fromUtf8(kWords[(g * 7 + r) % 10]);
            qb::WriteSetting(
                sys, qb::foldersSection(), qb::slotKey(g, r),
                QStringLiteral("/home/用户/资料/%1 %2/%3 %4").arg(name).arg(g).arg(name).arg(r));
        }
    }
}

void type(QWidget* field, QChar c) {
    QKeyEvent press(QEvent::KeyPress, 0, Qt::NoModifier, QString(c));
    QApplication::sendEvent(field, &press);
}

} // namespace

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    int rounds = 400;
    for (int i = 1; i + 1 < argc; ++i)
        if (!std::strcmp(argv[i], "--rounds")) rounds = std::max(1, std::atoi(argv[i + 1]));
    QApplication app(argc, argv);
    QTemporaryDir program;
    qb::setProgramFolder(program.path() + u'/');
    fillAccount(program.filePath(QStringLiteral("sys.ini")));
    TForm1 form;
    form.FormCreate();
    form.show();
    QApplication::processEvents();
    qb::FindBox& find = form.findBox();

    const QString queries[] = {QStringLiteral("repor"), QStringLiteral("music"),
                               QStringLiteral("docum"), QStringLiteral("group"),
                               QStringLiteral("zzzzz"), QStringLiteral("资料下载项")};
    Stats open, search, answer, painted;
    QElapsedTimer t;
    for (int round = 0; round < rounds; ++round) {
        const QString& query = queries[round % 6];
        t.start();
        find.open();
        open.add(elapsedMs(t));
        const QList<qb::FindEntry> entries = qb::readSlots(qb::accountState().currentSettingsFile);
        for (int n = 1; n <= 5; ++n) {
            t.start();
            const auto hits = qb::findSlots(entries, query.left(n));
            search.add(elapsedMs(t));
            t.start();
            type(find.field(), query[n - 1]);
            answer.add(elapsedMs(t));
            find.repaint();
            painted.add(elapsedMs(t));
        }
        find.dismiss();
    }
    std::printf("200 slots, %d rounds of a 5-letter query typed key by key\n", rounds);
    open.print("open the field (reads the file)");
    search.print("search alone, per key");
    answer.print("search and list, per key");
    painted.print("search, list and paint, per key");
    return 0;
}
