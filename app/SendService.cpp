#include "app/SendService.h"

#include "app/SendCommand.h"
#include "app/Tray.h"
#include "app/Unit1.h"
#include "board/Accounts.h"
#include "board/Choices.h"
#include "board/FolderName.h"
#include "drop/DropController.h"
#include "operation/OperationText.h"
#include "send/Log.h"
#include "send/MenuFiles.h"
#include "store/Settings.h"

#include <QCoreApplication>
#include <QFile>
#include <QStandardPaths>
#include <QTimer>

#include <sys/stat.h>

namespace qb {

namespace {

// The slot whose folder is named `name`: the shown group first, then by group and row.
std::optional<ConfiguredSlot> slotNamed(const QList<ConfiguredSlot>& entries, const QString& name,
                                        int shownGroup) {
    std::optional<ConfiguredSlot> found;
    for (const ConfiguredSlot& s : entries) {
        if (s.name != name) continue;
        if (s.group == shownGroup) return s;
        if (!found) found = s;
    }
    return found;
}

SendResult resultOf(const DropReport& report) {
    if (!report.refusal.isEmpty()) return SendResult::Refused;
    switch (report.overall()) {
    case Outcome::Done:
        return SendResult::Done;
    case Outcome::Failed:
        return SendResult::Failed;
    case Outcome::Skipped:
        return SendResult::Skipped;
    case Outcome::Cancelled:
        break;
    }
    return SendResult::Cancelled;
}

const char* outcomeWord(Outcome outcome) {
    switch (outcome) {
    case Outcome::Done:
        return "done";
    case Outcome::Skipped:
        return "skipped";
    case Outcome::Failed:
        return "failed";
    case Outcome::Cancelled:
        break;
    }
    return "cancelled";
}

// What became of each sent file, in the order sent, under the name it was sent
// as. A file the drop never reached (it was cancelled first) counts as cancelled;
// one a move took along inside a sent folder, or sent twice, as that item went.
QList<SentItem> sentItems(const QList<QByteArray>& files, const DropReport& report) {
    QList<SentItem> out;
    QList<bool> told(report.items.size(), false);
    for (const QByteArray& file : files) {
        const QString path = QFile::decodeName(file);
        qsizetype found = -1, covering = -1;
        for (qsizetype i = 0; i < report.items.size() && found < 0; ++i) {
            const QString& item = report.items[i].path;
            if (item == path && !told[i])
                found = i;
            else if (covering < 0 && (item == path || path.startsWith(item + u'/')))
                covering = i;
        }
        if (found >= 0) {
            told[found] = true;
            const DropReport::Item& item = report.items[found];
            out << SentItem{outcomeWord(item.outcome), file, item.reason};
        } else if (covering >= 0) {
            out << SentItem{outcomeWord(report.items[covering].outcome), file, {}};
        } else {
            out << SentItem{"cancelled", file, {}};
        }
    }
    return out;
}

// What the program looks at of the sent files before it takes them: that they are
// there, and on which disk.
verdict::DragCount looked(const QList<QByteArray>& files) {
    verdict::DragCount count;
    for (const QByteArray& f : files)
        count.items.push_back(verdict::look(f.toStdString()));
    return count;
}

QString settingsKeyFile() {
    return accountState().programFolder + QStringLiteral("sys");
}
// What changes with any change of the account or its entries: the settings file is
// replaced on every write.
QString accountFingerprint() {
    const AccountState& state = accountState();
    struct stat info {};
    if (::stat(QFile::encodeName(state.currentSettingsFile).constData(), &info) != 0) info = {};
    return QStringLiteral("%1\n%2\n%3.%4.%5.%6")
        .arg(state.currentAccount, state.currentSettingsFile)
        .arg(info.st_ino)
        .arg(info.st_mtim.tv_sec)
        .arg(info.st_mtim.tv_nsec)
        .arg(info.st_size);
}

const QString kMenuSection = QStringLiteral("sendto");
const QString kMenuKey = QStringLiteral("filemanagers");

} // namespace

QString SendService::send(const SendRequest& request, Finished finished) {
    // A file gone is refused before anything is done: told now, the sender needs no
    // box that waits for a click.
    for (const QByteArray& f : request.files) {
        struct stat info {};
        if (::lstat(f.constData(), &info) == 0) continue;
        return operationErrorText(
            Op::Copy, OpError{ErrorKind::SourceMissing, f.toStdString(), {}, errno, false});
    }
    const QString& file = accountState().currentSettingsFile;
    const int shown = form_.checkedGroup();
    std::optional<ConfiguredSlot> target;
    if (request.group) {
        // One key read: a request by slot does not parse the file two hundred times.
        const QString path = ReadSetting(file, foldersSection(),
                                         slotKey(request.group, request.row), defaultSlotPath());
        if (!path.isEmpty() && path != defaultSlotPath())
            target = ConfiguredSlot{request.group, request.row, folderName(path), path};
        if (!target)
            return QCoreApplication::translate("qb::SendService", "槽位 %1:%2 没有设置目录")
                .arg(request.group)
                .arg(request.row);
    } else {
        target = slotNamed(configuredSlots(file), request.name, shown);
        if (!target)
            return QCoreApplication::translate("qb::SendService", "没有名为“%1”的槽位")
                .arg(request.name);
    }
    // The same plan as a drag onto the slot gets: what it does, and whether it can.
    DropController& drops = form_.dropController();
    const AskedOp asked = request.mode == SendMode::Move   ? AskedOp::Move
                          : request.mode == SendMode::Copy ? AskedOp::Copy
                                                           : AskedOp::Board;
    const DropPlan plan = drops.planner().plan(
        DropWay::Send, SlotTarget{target->group, target->row, {}}, asked, looked(request.files));
    // For the shown group the board's field is the slot's folder: one it shows as
    // never set (its file changed behind the program's back) takes nothing, or the
    // files would land in the root folder.
    if (plan.destFolder.isEmpty() || plan.destFolder == defaultSlotPath())
        return QCoreApplication::translate("qb::SendService", "槽位 %1:%2 没有设置目录")
            .arg(plan.group)
            .arg(plan.row);
    if (plan.refused()) {
        qCInfo(lcSend) << "send refused:" << plan.reason;
        return plan.reason;
    }
    // Queued behind any drop that runs, as a drop on the board is.
    drops.enqueue(plan, request.files,
                  [finished = std::move(finished), files = request.files](const DropReport& report,
                                                                          const QString& status) {
                      finished(resultOf(report), status, sentItems(files, report));
                  });
    return {};
}

void SendService::show() {
    board_.show();
}

bool sendMenusEnabled() {
    return ReadSetting(settingsKeyFile(), kMenuSection, kMenuKey, QStringLiteral("0")) ==
           QStringLiteral("1");
}

void setSendMenusEnabled(bool enabled) {
    WriteSetting(settingsKeyFile(), kMenuSection, kMenuKey,
                 enabled ? QStringLiteral("1") : QStringLiteral("0"));
}

SendMenus::SendMenus(const QString& program, QObject* parent)
    : QObject(parent), program_(program), timer_(new QTimer(this)) {
    // A stat a second while on; the settings file is replaced on every change.
    timer_->setInterval(1000);
    connect(timer_, &QTimer::timeout, this, [this] { poll(); });
    enabled_ = sendMenusEnabled();
    if (enabled_) {
        timer_->start();
        refresh();
    }
}

bool SendMenus::setEnabled(bool enabled) {
    setSendMenusEnabled(enabled); // a refused write leaves everything as it was
    enabled_ = enabled;
    if (enabled)
        timer_->start();
    else
        timer_->stop();
    return refresh();
}

bool SendMenus::refresh() {
    const QString dataHome = QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation);
    if (dataHome.isEmpty()) return false;
    QList<MenuSlot> entries;
    if (enabled_) {
        seen_ = accountFingerprint();
        for (const ConfiguredSlot& s : configuredSlots(accountState().currentSettingsFile))
            entries << MenuSlot{s.group, s.row, s.name};
    }
    qCInfo(lcSend) << "menus for" << entries.size() << "entries";
    return syncSendMenus(dataHome, sendMenuFiles(entries, program_));
}

void SendMenus::poll() {
    if (accountFingerprint() != seen_) refresh();
}

} // namespace qb
