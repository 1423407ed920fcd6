#include "board/Accounts.h"

#include "board/Log.h"
#include "platform/ProgramFolder.h"
#include "store/Account.h"
#include "store/Settings.h"

#include <QCoreApplication>
#include <QDir>

namespace qb {

namespace {

const QString userSection = QStringLiteral("user");
const QString idKey = QStringLiteral("id");

} // namespace

AccountState& accountState() {
    static AccountState state;
    return state;
}

AccountState currentAccountIn(const QString& programFolder) {
    AccountState state;
    state.programFolder = programFolder;
    state.currentSettingsFile = state.programFolder + QStringLiteral("sys.ini");
    state.currentAccount =
        ReadSetting(state.currentSettingsFile, userSection, idKey, defaultAccount());
    state.accountRefused = false;
    if (state.currentAccount != defaultAccount() && !accountNameAllowed(state.currentAccount)) {
        // The file is data: a name it holds never leads outside the account files.
        qCInfo(lcBoard) << "sys.ini names no valid account:" << state.currentAccount;
        state.accountRefused = true;
        state.currentAccount = defaultAccount();
    }
    if (state.currentAccount != defaultAccount())
        state.currentSettingsFile = accountFile(state.programFolder, state.currentAccount);
    return state;
}

const AccountState& findCurrentAccount() {
    AccountState& state = accountState();
    state = currentAccountIn(programFolder());
    QDir().mkpath(state.programFolder + QStringLiteral("user"));
    return state;
}

QString accountRegisterFile() {
    return accountState().programFolder + QStringLiteral("user");
}

QStringList registeredAccounts() {
    QStringList names;
    ListSettingSections(accountRegisterFile(), names);
    return names;
}

bool accountNameAllowed(const QString& name) {
    if (name.isEmpty() || name.front().isSpace() || name.back().isSpace()) return false;
    for (QChar c : name) {
        if (c == u'/' || c == u'\\' || c == u'[' || c == u']') return false;
        if (c.category() == QChar::Other_Control) return false;
    }
    return true;
}

Registration registerAccount(const QString& account, const QString& confirmation) {
    if (account.isEmpty() || confirmation.isEmpty() || account != confirmation)
        return Registration::Empty;
    // A name that is no valid file name, or that would break the register's
    // section lines, would give an account that can never be saved or listed.
    if (!accountNameAllowed(account)) return Registration::NameNotAllowed;
    WriteSetting(accountRegisterFile(), account, QStringLiteral("mima"), confirmation);
    return Registration::Done;
}

void deleteAccount(const QString& account) {
    EraseSettingSection(accountRegisterFile(), account);
}

void chooseAccount(const QString& account) {
    WriteSetting(accountState().programFolder + QStringLiteral("sys"), userSection, idKey, account);
}

void chooseDefaultAccount() {
    const QString& known = accountState().programFolder;
    const QString folder = known.isEmpty() ? programFolder() : known;
    WriteSetting(folder + QStringLiteral("sys"), userSection, idKey, defaultAccount());
}

QString shownAccountName(const QString& account) {
    if (account != defaultAccount()) return account;
    return QCoreApplication::translate("qb::Accounts", "默认");
}

} // namespace qb
