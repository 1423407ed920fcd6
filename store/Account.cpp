#include "store/Account.h"

namespace qb {

QString accountFile(const QString& programFolder, const QString& account) {
    return programFolder + QStringLiteral("user/user") + account + QStringLiteral(".ini");
}

QString settingsFileFor(const QString& programFolder, const QString& account) {
    if (account == defaultAccount()) return programFolder + QStringLiteral("sys.ini");
    return accountFile(programFolder, account);
}

} // namespace qb
