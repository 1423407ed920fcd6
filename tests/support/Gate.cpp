#include "tests/support/Gate.h"

#include "harness/Program.h"

#include <QFile>
#include <QFileInfo>

#include <sys/stat.h>
#include <unistd.h>

namespace qb::test {

namespace {

bool ownDevice(const QString& path) {
    struct stat a {
    }, b{};
    return ::stat(QFile::encodeName(path).constData(), &a) == 0 &&
           ::stat(QFile::encodeName(path + QStringLiteral("/..")).constData(), &b) == 0 &&
           a.st_dev != b.st_dev;
}

} // namespace

bool GatedFolder::mount(const QString& folder, const QString& mountPoint, QString* why) {
    const QString tool = QStringLiteral(QB_GATE_FS);
    if (tool.isEmpty()) {
        *why = QStringLiteral("the gate file system was not built (needs libfuse3-dev)");
        return false;
    }
    if (!QFileInfo::exists(QStringLiteral("/dev/fuse"))) {
        *why = QStringLiteral("no /dev/fuse: FUSE file systems cannot be mounted here");
        return false;
    }
    gate_ = dir_.filePath(QStringLiteral("gate"));
    shut();
    // The program under test may run as another user: root lets it in.
    QString options = QStringLiteral("fsname=qb-gate,default_permissions");
    if (::geteuid() == 0) options += QStringLiteral(",allow_other");
    fs_.setProcessChannelMode(QProcess::MergedChannels);
    fs_.start(tool,
              {folder, gate_, mountPoint, QStringLiteral("-f"), QStringLiteral("-o"), options});
    if (!harness::waitUntil(
            [&] { return ownDevice(mountPoint) || fs_.state() == QProcess::NotRunning; }, 10000) ||
        !ownDevice(mountPoint)) {
        fs_.waitForFinished(100);
        *why = QStringLiteral("gate-fs did not mount: ") + QString::fromUtf8(fs_.readAll());
        fs_.kill();
        fs_.waitForFinished(3000);
        return false;
    }
    mountPoint_ = mountPoint;
    return true;
}

void GatedFolder::shut(int letThrough) {
    if (gate_.isEmpty()) return;
    QFile f(gate_);
    if (f.open(QIODevice::WriteOnly | QIODevice::Truncate) && letThrough > 0)
        f.write(QByteArray::number(letThrough));
}

void GatedFolder::open() {
    if (!gate_.isEmpty()) QFile::remove(gate_);
}

void GatedFolder::unmount() {
    if (fs_.state() == QProcess::NotRunning) return;
    open(); // a read held at the gate would keep the file system from ending
    fs_.terminate();
    if (!fs_.waitForFinished(10000)) {
        fs_.kill();
        fs_.waitForFinished(3000);
        QProcess::execute(QStringLiteral("umount"), {QStringLiteral("-l"), mountPoint_});
    }
}

} // namespace qb::test
