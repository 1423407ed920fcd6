#pragma once
#include <QString>

namespace qb {

// The default account; its settings live in sys.ini.
inline QString defaultAccount() {
    return QStringLiteral("默认");
}

// programFolder + "user/user" + name + ".ini"
QString accountFile(const QString& programFolder, const QString& account);
// sys.ini for the default account (exact comparison), otherwise the account file.
QString settingsFileFor(const QString& programFolder, const QString& account);

} // namespace qb
