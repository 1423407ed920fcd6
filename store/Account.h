#pragma once
#include <QString>

namespace qb {

// The default account; its settings live in sys.ini.
inline QString defaultAccount() {
    return QStringLiteral("默认");
}

// Shared state set by every load and by the account dialog's creation, read by
// every handler that stores a setting.
struct AccountState {
    QString programFolder;       // ends in "/"
    QString currentAccount;      // "默认" for the default account
    QString currentSettingsFile; // sys.ini, or the account's own file
};
AccountState& accountState();

// programFolder + "user/user" + name + ".ini"
QString accountFile(const QString& programFolder, const QString& account);
// sys.ini for the default account (exact comparison), otherwise the account file.
QString settingsFileFor(const QString& programFolder, const QString& account);

} // namespace qb
