// The program's drop journal, opened lazily beside the settings or in the state folder.
#include "operation/DropJournal.h"

#include "history/JournalAside.h"
#include "operation/Log.h"
#include "platform/ProgramFolder.h"

#include <QDir>
#include <QFile>
#include <QPointer>
#include <QStandardPaths>

#include <memory>
#include <utility>

namespace qb {

namespace {

struct State {
    std::unique_ptr<history::Journal> journal;
    bool tried = false;
    bool warned = false;
    QString setAside;        // a broken journal kept under this name, untold
    QPointer<QObject> owner; // the window that tells of it
    std::function<void(const QString&)> hook;
};

State& state() {
    static State s;
    return s;
}

// Told once, to a window that is still there; kept until one is.
void tellSetAside() {
    State& s = state();
    if (!s.setAside.isEmpty() && s.owner && s.hook) s.hook(std::exchange(s.setAside, QString()));
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
    // A file SQLite cannot read would keep every drop unrecorded for good: it is kept
    // aside, for whoever wants to look at it, and a fresh journal starts.
    const std::string file = folder + '/' + history::Journal::kFileName;
    if (!s.journal && history::journalFileBroken(file)) {
        std::string why;
        const std::string aside = history::setJournalAside(file, why);
        if (aside.empty()) {
            qCWarning(lcHistory) << "broken drop journal not set aside:"
                                 << QString::fromStdString(why);
        } else {
            qCWarning(lcHistory) << "drop journal broken (" << QString::fromStdString(error)
                                 << "), set aside as" << QString::fromStdString(aside);
            s.setAside = QFile::decodeName(QByteArray::fromStdString(aside));
            s.journal = history::Journal::open(folder, error);
        }
    }
    tellSetAside();
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

void setJournalSetAsideHook(QObject* owner, std::function<void(const QString&)> hook) {
    State& s = state();
    s.owner = owner;
    s.hook = std::move(hook);
    tellSetAside();
}

void closeDropJournal() {
    State& s = state();
    s.journal.reset();
    s.tried = false;
}

} // namespace qb
