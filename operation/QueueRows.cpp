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
    return QCoreApplication::translate("qb::DropQueue", "%1　%2 %3 项，%4　%5")
        .arg(row.slot, op)
        .arg(row.items)
        .arg(bytes, state);
}

} // namespace qb
