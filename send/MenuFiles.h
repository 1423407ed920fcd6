#pragma once
// The "发送到 Quillbeck" entries in the file managers' menus: one entry per
// configured slot, each calling `quillbeck send --slot G:R` with the selection.
// Every file written here carries a marker line; a file without it is never
// replaced or removed, whatever its name.
#include <QByteArray>
#include <QList>
#include <QString>

namespace qb {

struct MenuSlot {
    int group = 0;
    int row = 0;
    QString name;
};

struct MenuFile {
    QString path; // relative to the user's data folder ($XDG_DATA_HOME)
    QByteArray content;
    bool executable = false;
};

// The folders below the data folder that the menus live in, or lived in under the
// title of another language.
QStringList sendMenuFolders();

// The files for `entries`, whose entries run `program`.
QList<MenuFile> sendMenuFiles(const QList<MenuSlot>& entries, const QString& program);

// Makes the program's files under `dataHome` exactly `files`: writes those that
// differ, removes earlier ones of the program that are not among them (an empty
// list removes them all). A file of someone else at a wanted name is left as it
// is. Returns false when some file could not be written or removed.
bool syncSendMenus(const QString& dataHome, const QList<MenuFile>& files);

// Whether `path` is a regular file the program wrote (its marker line is there).
bool isOwnMenuFile(const QString& path);

} // namespace qb
