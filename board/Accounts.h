#pragma once
#include <QString>
#include <QStringList>

namespace qb {

// The program folder, the current account and the current settings file. The
// program has one current account, shared by its windows: every load and the
// account dialog's creation set it, every handler that stores a setting reads it.
struct AccountState {
    QString programFolder;       // ends in "/"
    QString currentAccount;      // "默认" for the default account
    QString currentSettingsFile; // sys.ini, or the account's own file
    bool accountRefused = false; // sys.ini named no valid account: the default is current
};
AccountState& accountState();

// Finds the current account: the program folder, the account that sys.ini names
// and the settings file that goes with it. A name that could not have been
// registered (one with "/" could name a file anywhere) gives the default account
// and sets accountRefused. Makes sure the folder of the account files exists; a
// failure to create it shows later, as a refused write.
const AccountState& findCurrentAccount();
// The same for `programFolder`, read without writing anything.
AccountState currentAccountIn(const QString& programFolder);

// The account register (user.ini in the program folder of the current state).
QString accountRegisterFile();
// The registered accounts, in the order they stand in the register.
QStringList registeredAccounts();

// Whether `name` can be registered: it must name a valid file and keep the
// register's format ("[" and "]" delimit sections, blanks at the ends are lost).
bool accountNameAllowed(const QString& name);

enum class Registration { Done, Empty, NameNotAllowed };
// Registers `account` typed twice; Empty also stands for two texts that differ.
Registration registerAccount(const QString& account, const QString& confirmation);
// Removes the account from the register; its settings file stays.
void deleteAccount(const QString& account);

// Names `account` current in sys.ini; the next load loads it.
void chooseAccount(const QString& account);
// Names the default account current in sys.ini, also before any load.
void chooseDefaultAccount();

// The account's name as the windows show it. Only the default account's name is
// translated, and only here: the stored "默认" and every name read back from the
// register stay as they are.
QString shownAccountName(const QString& account);

} // namespace qb
