// One account load's worth of settings-file accesses (35 reads, 24 writes) on an
// account file that holds all 200 slots and every key; prints the median time per
// load and per access. A last case loads from an account file grown large (the
// slots first, then some 50 MB of other sections), last changed a minute before.
//   quillbeck-bench-store [loads]     default 40 loads per case
#include "store/Settings.h"

#include <QDir>
#include <QElapsedTimer>
#include <QTemporaryDir>

#include <QFile>

#include <algorithm>
#include <cstdio>
#include <fcntl.h>
#include <sys/stat.h>
#include <vector>

using namespace qb;

namespace {

const QString kScheme = QStringLiteral("方案");
const QString kFolders = QStringLiteral("我的文件夹");

QString slotPath(int slot, int round) {
    return QStringLiteral("/home/用户/资料/项目 %1/报告与文档/%2").arg(slot).arg(round);
}

// The reads of a load in their order, then the writes its handlers make: the mode
// values and the 20 paths of the current group. `round` picks the written values:
// the stored ones (a reload) or new ones (a first load of changed values).
void load(const QString& sys, const QString& account, int round) {
    const QString id = ReadSetting(sys, "user", "id", "默认");
    if (id.isEmpty()) std::abort();
    const QString operate = ReadSetting(account, kScheme, "operate", "FileCopy");
    const QString same = ReadSetting(account, kScheme, "thesame", "FileReplace");
    const QString show = ReadSetting(account, kScheme, "show", "yes");
    const QString project = ReadSetting(account, kScheme, "project", "1");
    const int group = project.toInt();
    QStringList paths;
    for (int r = 1; r <= 20; ++r)
        paths << ReadSetting(account, kFolders, QString::number((group - 1) * 20 + r), "C:\\");
    for (int g = 1; g <= 10; ++g)
        ReadSetting(account, kScheme, "name" + QString::number(g), QString::number(g));

    WriteSetting(account, kScheme, "operate", operate);
    WriteSetting(account, kScheme, "thesame", same);
    WriteSetting(account, kScheme, "show", show);
    WriteSetting(account, kScheme, "project", project);
    for (int r = 1; r <= 20; ++r) {
        const int slot = (group - 1) * 20 + r;
        WriteSetting(account, kFolders, QString::number(slot),
                     round == 0 ? paths[r - 1] : slotPath(slot, round));
    }
}

double median(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
}

void run(const char* what, const QString& sys, const QString& account, int loads, bool changing) {
    std::vector<double> times;
    for (int i = 0; i < loads; ++i) {
        QElapsedTimer timer;
        timer.start();
        load(sys, account, changing ? i + 1 : 0);
        times.push_back(double(timer.nsecsElapsed()) / 1e6);
    }
    const double ms = median(times);
    std::printf("%-44s median %7.2f ms per load, %6.3f ms per access (59 accesses)\n", what, ms,
                ms / 59);
}

} // namespace

int main(int argc, char** argv) {
    const int loads = argc > 1 ? std::max(1, std::atoi(argv[1])) : 40;
    QTemporaryDir dir;
    QDir(dir.path()).mkdir("user");
    const QString sys = dir.filePath("sys");
    const QString account = dir.filePath("user/userbench");
    WriteSetting(sys, "user", "id", "bench");
    WriteSetting(account, kScheme, "operate", "FileMove");
    WriteSetting(account, kScheme, "thesame", "FileRename");
    WriteSetting(account, kScheme, "show", "no");
    WriteSetting(account, kScheme, "project", "7");
    for (int g = 1; g <= 10; ++g)
        WriteSetting(account, kScheme, "name" + QString::number(g),
                     QStringLiteral("分组 %1").arg(g));
    for (int slot = 1; slot <= 200; ++slot)
        WriteSetting(account, kFolders, QString::number(slot), slotPath(slot, 0));
    std::printf("account file: %lld bytes, %d loads per case\n",
                qint64(QFileInfo(account + ".ini").size()), loads);

    run("reload (writes store the values read)", sys, account, loads, false);
    run("20 paths changed", sys, account, loads, true);
    setSettingsFlushForTesting(SettingsFlush::Always);
    run("20 paths changed, flush forced", sys, account, loads, true);
    setSettingsFlushForTesting(SettingsFlush::Never);
    run("20 paths changed, never flushed", sys, account, loads, true);

    {
        QFile file(account + ".ini");
        if (!file.open(QIODevice::Append)) std::abort();
        QByteArray block;
        for (int i = 0; i < 1000; ++i)
            block += "[extra" + QByteArray::number(i) + "]\r\nkey=" + QByteArray(40, 'x') + "\r\n";
        while (file.size() < 50 * 1024 * 1024)
            file.write(block);
    }
    const timespec aMinuteAgo[2] = {{time(nullptr) - 60, 0}, {time(nullptr) - 60, 0}};
    ::utimensat(AT_FDCWD, QFile::encodeName(account + ".ini").constData(), aMinuteAgo, 0);
    std::printf("large account file: %lld bytes\n", qint64(QFileInfo(account + ".ini").size()));
    run("reload of the large file", sys, account, std::min(loads, 5), false);
    return 0;
}
