// The queue's rows as the progress windows show them.
#include "operation/QueueRows.h"

#include <QCoreApplication>
#include <QLocale>

namespace qb {
namespace {

struct Installed {
    const void* owner = nullptr;
    QueueRows rows;
    QueueRemove remove;
};

Installed& installed() {
    static Installed i;
    return i;
}

} // namespace

void setDropQueue(const void* owner, QueueRows rows, QueueRemove remove) {
    installed() = {owner, std::move(rows), std::move(remove)};
}

void clearDropQueue(const void* owner) {
    if (installed().owner == owner) installed() = {};
}

std::vector<QueueRow> dropQueueRows() {
    return installed().rows ? installed().rows() : std::vector<QueueRow>{};
}

void removeQueuedDrop(quint64 id) {
    if (installed().remove) installed().remove(id);
}

QString queueRowText(const QueueRow& row) {
    const QString op = row.op == Op::Move ? QCoreApplication::translate("qb::DropQueue", "移动")
                                          : QCoreApplication::translate("qb::DropQueue", "复制");
    const QString bytes =
        row.bytes < 0
            ? QStringLiteral("…")
            : QLocale::system().formattedDataSize(row.bytes, 1, QLocale::DataSizeTraditionalFormat);
    const QString state =
        row.state == QueueRow::Running ? QCoreApplication::translate("qb::DropQueue", "正在进行")
        : row.state == QueueRow::Paused ? QCoreApplication::translate("qb::DropQueue", "已暂停")
                                        : QCoreApplication::translate("qb::DropQueue", "等待中");
    // The count is the plural's %n ("1 item", "2 items"); lupdate reads no cast in the call.
    const int items = static_cast<int>(row.items);
    return QCoreApplication::translate("qb::DropQueue", "%1　%2 %n 项，%3　%4", nullptr, items)
        .arg(row.slot, op, bytes, state);
}

} // namespace qb
