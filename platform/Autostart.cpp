#include "platform/Autostart.h"

#include "platform/DesktopEntry.h"
#include "platform/Product.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>
#include <QStandardPaths>

namespace qb {

QString autostartFile() {
    QString config = QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation);
    if (config.isEmpty()) config = QDir::homePath() + QStringLiteral("/.config");
    return config + QStringLiteral("/autostart/") + applicationId() + QStringLiteral(".desktop");
}

bool autostartEnabled() {
    QFile file(autostartFile());
    if (!file.open(QIODevice::ReadOnly)) return false;
    bool inMainGroup = false;
    while (!file.atEnd()) {
        const QByteArray line = file.readLine().trimmed();
        if (line.startsWith('[')) {
            inMainGroup = line == "[Desktop Entry]";
            continue;
        }
        if (!inMainGroup) continue;
        const qsizetype eq = line.indexOf('=');
        if (eq < 0) continue;
        const QByteArray key = line.left(eq).trimmed();
        const QByteArray value = line.mid(eq + 1).trimmed();
        if (key == "Hidden" && value == "true") return false;
        if (key == "X-GNOME-Autostart-enabled" && value == "false") return false;
    }
    return true;
}

void refreshAutostart(const QString& executable) {
    if (!autostartEnabled()) return;
    QFile file(autostartFile());
    if (!file.open(QIODevice::ReadOnly)) return;
    const QByteArray text = file.readAll();
    file.close();
    if (entryStarts(text, executable) && !text.contains("\nTryExec="))
        setAutostart(true, executable);
}

bool setAutostart(bool enabled, const QString& executable) {
    const QString path = autostartFile();
    if (!enabled) return !QFileInfo::exists(path) || QFile::remove(path);
    if (!QDir().mkpath(QFileInfo(path).absolutePath())) return false;
    QByteArray text = desktopEntryText(executable, applicationId());
    text += "X-GNOME-Autostart-enabled=true\n";
    QSaveFile out(path);
    if (!out.open(QIODevice::WriteOnly)) return false;
    return out.write(text) == text.size() && out.commit();
}

} // namespace qb
