#pragma once
// A folder shown through the gate file system (gate_fs.c): reads of its files wait
// while the gate is shut, so a test holds a copy out of it mid-way on any machine
// instead of racing a copy that may end before the test looks.
#include <QProcess>
#include <QString>
#include <QTemporaryDir>

namespace qb::test {

class GatedFolder {
public:
    GatedFolder() = default;
    GatedFolder(const GatedFolder&) = delete;
    GatedFolder& operator=(const GatedFolder&) = delete;
    ~GatedFolder() { unmount(); }

    // Shows `folder` at the existing empty folder `mountPoint`, gate shut. False with
    // the reason when this machine cannot mount it (no FUSE, tool not built).
    bool mount(const QString& folder, const QString& mountPoint, QString* why);
    // Reads of the files opened after the first `letThrough` wait.
    void shut(int letThrough = 0);
    void open();
    void unmount();

private:
    QTemporaryDir dir_;
    QString gate_, mountPoint_;
    QProcess fs_;
};

} // namespace qb::test
