// The program's drop journal, opened lazily beside the settings or in the state folder.
#include "operation/DropJournal.h"

#include "operation/Log.h"
#include "platform/ProgramFolder.h"

#include <QDir>
#include <QFile>
#include <QStandardPaths>

#include <memory>

namespace qb {

namespace {

struct State {
    std::unique_ptr<history::Journal> journal;
    bool tried = false;
    bool warned = false;
};

State& state() {
    static State s;
    return s;
}

} // namespace

QString dropJournalFolder() {
    const QString program = programFolder();
    QString config = QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation);
    if (config.isEmpty()) config = QDir::homePath() + QStringLiteral("/.config");
    // A copy that keeps its settings beside itself keeps its journal there too.
    if (QDir::cleanPath(program) != QDir::cleanPath(config + QStringLiteral("/quillbeck")))
        return QDir::cleanPath(program);
    return QFile::decodeName(QByteArray::fromStdString(history::Journal::defaultFolder()));
}

history::Journal* dropJournal() {
    State& s = state();
    if (s.tried) return s.journal.get();
    s.tried = true;
    std::string error;
    const std::string folder = QFile::encodeName(dropJournalFolder()).toStdString();
    s.journal = history::Journal::open(folder, error);
    if (!s.journal) {
        if (!s.warned)
            qCWarning(lcHistory) << "drop journal off, drops are not recorded:"
                                 << QString::fromStdString(error);
        s.warned = true;
        return nullptr;
    }
    // What a killed run left half-recorded is settled before anything new is written.
    const int settled = s.journal->recover();
    qCInfo(lcHistory) << "drop journal" << QString::fromStdString(s.journal->path())
                      << "- items a stopped run left, now settled:" << settled;
    return s.journal.get();
}

void closeDropJournal() {
    State& s = state();
    s.journal.reset();
    s.tried = false;
}

} // namespace qb
