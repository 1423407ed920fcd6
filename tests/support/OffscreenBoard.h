#pragma once
// What the main window needs around it in an offscreen test: a temporary program
// folder as the default account's, a cursor the test moves, and boxes counted
// rather than shown (a failed settings write must fail the test).
#include "board/Accounts.h"
#include "platform/Dialogs.h"
#include "store/Account.h"
#include "tests/support/FakeCursor.h"
#include "tests/support/FakeDialogs.h"

#include <QTemporaryDir>

namespace qb::test {

class OffscreenBoard {
public:
    OffscreenBoard() {
        auto& account = accountState();
        account.programFolder = dir.path() + u'/';
        account.currentAccount = defaultAccount();
        account.currentSettingsFile = dir.filePath(QStringLiteral("sys.ini"));
        setDialogs(&dialogs);
        setCursor(&cursor);
    }
    ~OffscreenBoard() {
        setCursor(nullptr);
        setDialogs(nullptr);
    }
    OffscreenBoard(const OffscreenBoard&) = delete;
    OffscreenBoard& operator=(const OffscreenBoard&) = delete;

    QTemporaryDir dir;
    FakeDialogs dialogs;
    FakeCursor cursor;
};

} // namespace qb::test
