#include "app/SendService.h"

#include "app/SendCommand.h"
#include "app/Tray.h"
#include "app/Unit1.h"
#include "board/Accounts.h"
#include "board/Choices.h"
#include "board/FolderName.h"
#include "drop/DropController.h"
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

SendResult resultOf(Outcome o) {
    return o == Outcome::Done     ? SendResult::Done
           : o == Outcome::Failed ? SendResult::Failed
                                  : SendResult::Cancelled;
}

Policy boardPolicy(const BoardView& view) {
    if (view.isChecked(Choice::Rename)) return Policy::AutoRename;
    if (view.isChecked(Choice::AutoReplace)) return Policy::AutoReplace;
    return Policy::AskReplace; // also when none is checked: it can lose nothing
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
    SlotDrop drop;
    drop.group = target->group;
    drop.row = target->row;
    const bool move = request.mode == SendMode::Move ||
                      (request.mode == SendMode::Board && form_.isChecked(Choice::Move));
    drop.op = move ? Op::Move : Op::Copy;
    drop.policy = boardPolicy(form_);
    drop.items = request.files;
    // The shown group's slot goes where its field says, as a drop there would;
    // another group's to its stored folder.
    if (target->group != shown) drop.destFolder = QFile::encodeName(target->path);
    // Queued behind any drop that runs, as a drop on the board is.
    form_.dropController().enqueue(
        std::move(drop), [finished = std::move(finished)](Outcome o, const QString& status) {
            finished(resultOf(o), status);
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
