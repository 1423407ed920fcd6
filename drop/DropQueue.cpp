// The drop queue's plan: who may run beside whom; and the rows shown of it.
#include "drop/DropQueue.h"

#include <QCoreApplication>
#include <QLocale>

#include <algorithm>
#include <sys/stat.h>

namespace qb {
namespace {

std::string cleaned(std::string p) {
    while (p.size() > 1 && p.back() == '/')
        p.pop_back();
    return p;
}

// One path is the other or lies inside it.
bool related(const std::string& a, const std::string& b) {
    const std::string& shorter = a.size() <= b.size() ? a : b;
    const std::string& longer = a.size() <= b.size() ? b : a;
    if (longer.compare(0, shorter.size(), shorter) != 0) return false;
    return longer.size() == shorter.size() || shorter == "/" || longer[shorter.size()] == '/';
}

// `a`'s items meet what `b` touches in a way that makes order matter: a move
// takes its items away, and any job writes into its destination.
bool touches(const JobFootprint& a, const JobFootprint& b) {
    for (const std::string& s : a.sources) {
        if (related(s, b.dest)) return true;
        if (a.move || b.move)
            for (const std::string& t : b.sources)
                if (related(s, t)) return true;
    }
    return false;
}

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

JobFootprint footprintOf(Op op, const std::vector<std::string>& sources, const std::string& dest) {
    JobFootprint f;
    f.move = op == Op::Move;
    f.dest = cleaned(dest);
    struct stat st;
    const bool destKnown = ::stat(f.dest.c_str(), &st) == 0;
    const dev_t destDev = destKnown ? st.st_dev : 0;
    if (destKnown) f.devices.push_back(destDev);
    bool allThere = destKnown;
    for (const std::string& s : sources) {
        f.sources.push_back(cleaned(s));
        // The item itself, not what a link points to: a link is moved as a link.
        if (::lstat(f.sources.back().c_str(), &st) != 0) {
            allThere = false;
            continue;
        }
        if (st.st_dev != destDev) allThere = false;
        if (std::find(f.devices.begin(), f.devices.end(), st.st_dev) == f.devices.end())
            f.devices.push_back(st.st_dev);
    }
    f.rename = f.move && allThere;
    return f;
}

bool mustWait(const JobFootprint& a, const JobFootprint& b) {
    if (touches(a, b) || touches(b, a)) return true;
    if (a.rename || b.rename) return false; // constant time: waits for no copy, holds none up
    for (dev_t d : a.devices)
        if (std::find(b.devices.begin(), b.devices.end(), d) != b.devices.end()) return true;
    return false;
}

std::vector<std::size_t> startable(const std::vector<JobFootprint>& running,
                                   const std::vector<JobFootprint>& waiting) {
    std::vector<std::size_t> out;
    std::vector<const JobFootprint*> busy;
    for (const JobFootprint& r : running)
        busy.push_back(&r);
    for (std::size_t i = 0; i < waiting.size(); ++i) {
        bool free = std::none_of(busy.begin(), busy.end(),
                                 [&](const JobFootprint* r) { return mustWait(waiting[i], *r); });
        for (std::size_t j = 0; free && j < i; ++j)
            if (std::find(out.begin(), out.end(), j) == out.end() &&
                mustWait(waiting[i], waiting[j]))
                free = false;
        if (!free) continue;
        out.push_back(i);
        busy.push_back(&waiting[i]);
    }
    return out;
}

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
