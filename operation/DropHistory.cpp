// The program's drop journal, opened lazily beside the settings or in the state folder.
#include "operation/DropHistory.h"

#include "history/JournalAside.h"
#include "operation/Log.h"
#include "platform/ProgramFolder.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QStandardPaths>

#include <utility>

namespace qb {

DropHistory& DropHistory::instance() {
    static DropHistory history;
    return history;
}

QString DropHistory::folder() {
    const QString program = programFolder();
    QString config = QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation);
    if (config.isEmpty()) config = QDir::homePath() + QStringLiteral("/.config");
    // A copy that keeps its settings beside itself keeps its journal there too.
    if (QDir::cleanPath(program) != QDir::cleanPath(config + QStringLiteral("/quillbeck")))
        return QDir::cleanPath(program);
    return QFile::decodeName(QByteArray::fromStdString(history::Journal::defaultFolder()));
}

history::Journal* DropHistory::journal() {
    if (tried_) return journal_.get();
    tried_ = true;
    std::string error;
    const std::string where = QFile::encodeName(folder()).toStdString();
    journal_ = history::Journal::open(where, error);
    // A file SQLite cannot read would keep every drop unrecorded for good: it is kept
    // aside, for whoever wants to look at it, and a fresh journal starts.
    const std::string file = where + '/' + history::Journal::kFileName;
    if (!journal_ && history::journalFileBroken(file)) {
        std::string why;
        const std::string aside = history::setJournalAside(file, why);
        if (aside.empty()) {
            qCWarning(lcHistory) << "broken drop journal not set aside:"
                                 << QString::fromStdString(why);
        } else {
            qCWarning(lcHistory) << "drop journal broken (" << QString::fromStdString(error)
                                 << "), set aside as" << QString::fromStdString(aside);
            setAside_ = QFile::decodeName(QByteArray::fromStdString(aside));
            journal_ = history::Journal::open(where, error);
        }
    }
    tellSetAside();
    if (!journal_) {
        if (!warned_)
            qCWarning(lcHistory) << "drop journal off, drops are not recorded:"
                                 << QString::fromStdString(error);
        warned_ = true;
        return nullptr;
    }
    // What a killed run left half-recorded is settled before anything new is written.
    const int settled = journal_->recover();
    qCInfo(lcHistory) << "drop journal" << QString::fromStdString(journal_->path())
                      << "- items a stopped run left, now settled:" << settled;
    return journal_.get();
}

history::Journal* DropHistory::recorded() {
    const QString file = folder() + u'/' + QLatin1String(history::Journal::kFileName);
    return QFile::exists(file) ? journal() : nullptr;
}

void DropHistory::setSetAsideHook(QObject* owner, std::function<void(const QString&)> hook) {
    setAsideOwner_ = owner;
    setAsideHook_ = std::move(hook);
    tellSetAside();
}

// Told once, to a window that is still there; kept until one is.
void DropHistory::tellSetAside() {
    if (!setAside_.isEmpty() && setAsideOwner_ && setAsideHook_)
        setAsideHook_(std::exchange(setAside_, QString()));
}

void DropHistory::close() {
    journal_.reset();
    tried_ = false;
}

QString DropHistory::lastDropText(std::int64_t last) {
    const history::Journal* j = recorded();
    const auto drop = j && last ? j->drop(last) : std::nullopt;
    return drop ? qb::lastDropText(*drop) : QStringLiteral("status ");
}

QString pathText(const std::string& p) {
    return QFile::decodeName(QByteArray::fromStdString(p));
}

QString pathName(const std::string& path) {
    QString p = pathText(path);
    while (p.size() > 1 && p.endsWith(u'/'))
        p.chop(1);
    return p.mid(p.lastIndexOf(u'/') + 1);
}

QString dropPlaceText(const history::DropRecord& d) {
    return d.slotName.empty() ? pathText(d.destFolder) : QString::fromStdString(d.slotName);
}

QString lastDropText(const history::DropRecord& drop) {
    const QString what =
        drop.undoOf
            ? QCoreApplication::translate("qb::UndoController", "已撤销 %n 项。", nullptr,
                                          drop.itemCount)
            : (drop.op == Op::Move ? QCoreApplication::translate("qb::UndoController",
                                                                 "已将 %n 项移动到“%1”（%2）。",
                                                                 nullptr, drop.itemCount)
                                   : QCoreApplication::translate("qb::UndoController",
                                                                 "已将 %n 项复制到“%1”（%2）。",
                                                                 nullptr, drop.itemCount))
                  .arg(dropPlaceText(drop), pathText(drop.destFolder));
    return what + QCoreApplication::translate("qb::UndoController", "按 Ctrl+Z 可撤销。");
}

} // namespace qb
