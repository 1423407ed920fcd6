#pragma once
// What the drop tests share: a temporary program folder and a scratch folder,
// dialogs answered without a person, and a stand-in for the file operation. The
// fixture that derives from it adds the window and ends it in its destructor.
#include "board/Accounts.h"
#include "drop/DropController.h"
#include "operation/DropHistory.h"
#include "platform/Dialogs.h"
#include "platform/ProgramFolder.h"
#include "store/Settings.h"
#include "tests/support/FakeDialogs.h"

#include <QDir>
#include <QFile>
#include <QMimeData>
#include <QTemporaryDir>
#include <QTimer>
#include <QUrl>

#include <functional>

namespace qb::test {

struct Call {
    Op op;
    Policy policy;
    QString source;
    QString dest;
};

// Stands in for the file operation: records each call and answers, after the call
// has returned, with the next scripted outcome (Done once the script is used up).
struct FakeOperation {
    QList<Call> calls;
    QList<OperationResult> outcomes; // Done once the script is used up
    std::function<void(int)> during; // runs inside call n (0-based)
};

class DropFixture {
public:
    explicit DropFixture(bool fakeOperation = true) {
        setProgramFolder(programDir.path());
        closeDropJournal(); // each test's own, beside its settings
        accountState() = {};
        setDialogs(&dialogs);
        if (!fakeOperation) return;
        setDropFileOperation([this](QWidget*, Op op, Policy policy, const QByteArray& source,
                                    const QByteArray& dest, OperationResultDone done) {
            const int n = int(fake.calls.size());
            fake.calls.append({op, policy, QFile::decodeName(source), QFile::decodeName(dest)});
            if (fake.during) fake.during(n);
            const OperationResult result =
                n < fake.outcomes.size() ? fake.outcomes[n] : OperationResult{Outcome::Done};
            QTimer::singleShot(0, [done, result] { done(result); });
        });
    }
    ~DropFixture() {
        setDropFileOperation({});
        setDialogs(nullptr);
        setProgramFolder(QString());
        QFile::setPermissions(sysIni(), QFile::ReadOwner | QFile::WriteOwner);
    }
    DropFixture(const DropFixture&) = delete;
    DropFixture& operator=(const DropFixture&) = delete;

    QString sysIni() const { return programDir.filePath(QStringLiteral("sys.ini")); }
    QString slotKey(int key) const {
        return ReadSetting(sysIni(), QStringLiteral("我的文件夹"), QString::number(key),
                           QStringLiteral("<missing>"));
    }
    // A folder or file below the test's scratch folder.
    QString scratch(const QString& name) const { return files.filePath(name); }
    QString folder(const QString& name) const {
        QDir().mkpath(scratch(name));
        return scratch(name);
    }
    // Local files as a file manager's drag carries them.
    static void carry(QMimeData& mime, const QStringList& paths) {
        QList<QUrl> urls;
        for (const QString& p : paths)
            urls << QUrl::fromLocalFile(p);
        mime.setUrls(urls);
    }

    QTemporaryDir programDir;
    QTemporaryDir files;
    FakeDialogs dialogs;
    FakeOperation fake;
};

} // namespace qb::test
