#pragma once
// Shared by the main window tests: a temporary program folder, dialogs answered
// without a person, and helpers to look at settings files byte for byte.
#include "app/Unit1.h"
#include "board/Accounts.h"
#include "platform/Dialogs.h"
#include "platform/Handler.h"
#include "platform/ProgramFolder.h"
#include "store/Account.h"
#include "store/Settings.h"
#include "tests/support/FakeDialogs.h"
#include "tests/support/Files.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRadioButton>
#include <QTemporaryDir>

#include <memory>

namespace mw {

using FakeDialogs = qb::FakeDialogs;
using qb::test::bytesOf;
using qb::test::gb;

inline void putFile(const QString& path, const QString& text) {
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile f(path);
    if (!f.open(QIODevice::WriteOnly | QIODevice::Truncate)) qFatal("cannot write test file");
    f.write(gb(text));
}

// A modification time far in the past, so that any later write shows.
inline void ageFile(const QString& path) {
    QFile f(path);
    if (!f.open(QIODevice::ReadWrite)) qFatal("cannot open test file");
    f.setFileTime(QDateTime(QDate(2001, 2, 3), QTime(4, 5, 6)), QFileDevice::FileModificationTime);
}

inline QDateTime mtimeOf(const QString& path) {
    return QFileInfo(path).fileTime(QFileDevice::FileModificationTime);
}

inline void makeReadOnly(const QString& path) {
    QFile::setPermissions(path, QFile::ReadOwner | QFile::ReadGroup | QFile::ReadOther);
}

// The group whose button is checked: 0 for none, -1 for more than one.
inline int checkedGroup(const TForm1& f) {
    int found = 0;
    for (int g = 1; g <= 10; ++g)
        if (f.RadioButton[g]->isChecked()) found = found ? -1 : g;
    return found;
}

// One temporary program folder per test, with the fake dialogs installed.
class Fixture {
public:
    Fixture() {
        qb::setProgramFolder(dir.path());
        qb::accountState() = {};
        qb::setDialogs(&dialogs);
    }
    ~Fixture() {
        qb::setDialogs(nullptr);
        qb::setProgramFolder(QString());
        // Read-only files must not keep the folder from being removed.
        QDir d(dir.path());
        for (const QFileInfo& fi : d.entryInfoList(QDir::Files | QDir::NoDotAndDotDot))
            QFile::setPermissions(fi.filePath(), QFile::ReadOwner | QFile::WriteOwner);
    }

    QString path(const QString& name) const { return dir.path() + u'/' + name; }
    QString sysIni() const { return path(QStringLiteral("sys.ini")); }

    // Creates the main window and runs its creation handler, as start-up does.
    TForm1& start() {
        form = std::make_unique<TForm1>();
        qb::runHandler(form.get(), [this] { form->FormCreate(); });
        return *form;
    }

    QString read(const QString& file, const QString& section, const QString& key) const {
        return qb::ReadSetting(file, section, key, QStringLiteral("<missing>"));
    }

    QTemporaryDir dir;
    FakeDialogs dialogs;
    std::unique_ptr<TForm1> form;
};

} // namespace mw
