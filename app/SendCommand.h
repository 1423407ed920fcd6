#pragma once
// `quillbeck send`, `quillbeck show` and `quillbeck slots`: the program run as a
// command that talks to the running program, or reads its settings.
#include "app/CommandLine.h"

#include <QByteArray>
#include <QList>
#include <QString>

namespace qb {

// Sends the request of `line` (Send or Show), starting the program first when
// none runs. Returns the exit code; says what happened on the standard streams.
int runSendCommand(const CommandLine& line);

// A slot of the current account that has a path of its own (not the root, which
// stands for a slot never set).
struct ConfiguredSlot {
    int group = 0;
    int row = 0;
    QString name;
    QString path;
};
// The slots of `settingsFile` that have a path, by group and row.
QList<ConfiguredSlot> configuredSlots(const QString& settingsFile);

// The slots, one a line: group, row, name and path, separated by tabs. A tab, line
// break or other control character and a backslash in a name or path are written
// as \t, \n, \r, \xHH (two hex digits) and \\; everything else as it is.
QByteArray slotsListing(const QList<ConfiguredSlot>& listed);

// Prints the current account's configured slots; the application object exists.
int printSlots();

// `text` as one field of a tab-separated line: a backslash, a tab, a line break
// and any other control character become \\, \t, \n and \xHH.
QByteArray escapedField(const QByteArray& text);

} // namespace qb
