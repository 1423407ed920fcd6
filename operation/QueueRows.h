// The rows the progress windows list of the drop queue, and the hand that takes
// a waiting job out of it: installed by whoever runs the queue.
#pragma once
#include "engine/Operation.h"

#include <QString>

#include <functional>
#include <vector>

namespace qb {

// One job as the progress windows list it.
struct QueueRow {
    enum State { Waiting, Running, Paused };
    quint64 id = 0;
    QString slot;
    Op op = Op::Copy;
    qsizetype items = 0;
    qint64 bytes = -1; // -1: not counted yet
    State state = Waiting;
    bool operator==(const QueueRow&) const = default;
};

// The jobs of the drop controller, running first, then waiting in order.
using QueueRows = std::function<std::vector<QueueRow>()>;
// Takes a waiting job out of the queue; its files are not touched.
using QueueRemove = std::function<void(quint64 id)>;
void setDropQueue(const void* owner, QueueRows rows, QueueRemove remove);
// Clears what `owner` installed, unless another has installed its own since.
void clearDropQueue(const void* owner);
std::vector<QueueRow> dropQueueRows();
void removeQueuedDrop(quint64 id);

// A row's text: slot, copy or move, items, bytes ("…" until counted), state.
QString queueRowText(const QueueRow& row);

} // namespace qb
