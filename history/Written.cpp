// Listing what a copied folder holds, and telling the copy's entries from later ones.
#include "history/Written.h"

#include "engine/Posix.h"
#include "history/Recorder.h"

#include <map>
#include <set>

namespace qb::history {

namespace {

void walk(int dirfd, const std::string& rel, std::vector<WrittenEntry>& out, int depth) {
    std::vector<engine::Entry> names;
    if (depth > 256 || engine::listEntries(dirfd, names) != 0) return;
    for (const engine::Entry& e : names) {
        ItemKind kind = ItemKind::File;
        const Identity id = entryIdentity(dirfd, e.name, &kind);
        if (!id.known) continue;
        const std::string path = rel.empty() ? e.name : rel + "/" + e.name;
        out.push_back({path, static_cast<int>(kind), id});
        if (kind != ItemKind::Folder) continue;
        engine::Fd sub(engine::openDir(dirfd, e.name));
        if (sub.ok()) walk(sub.get(), path, out, depth + 1);
    }
}

std::string upOf(const std::string& rel) {
    const auto slash = rel.rfind('/');
    return slash == std::string::npos ? std::string() : rel.substr(0, slash);
}

} // namespace

std::vector<WrittenEntry> listTree(int dirfd) {
    std::vector<WrittenEntry> out;
    walk(dirfd, {}, out, 0);
    return out;
}

CopyCheck checkCopy(const std::vector<WrittenEntry>& then, const std::vector<WrittenEntry>& now) {
    std::map<std::string, const WrittenEntry*> wrote;
    for (const WrittenEntry& e : then)
        wrote[e.rel] = &e;
    CopyCheck c;
    // Kept: added or changed, with all below it; dirty: a folder holding something kept.
    std::set<std::string> kept, dirty{""};
    for (const WrittenEntry& e : now) {
        if (kept.count(upOf(e.rel))) {
            kept.insert(e.rel);
            continue;
        }
        const auto it = wrote.find(e.rel);
        const auto kind = static_cast<ItemKind>(e.kind);
        if (it != wrote.end() && it->second->kind == e.kind &&
            unchanged(it->second->id, e.id, kind))
            continue;
        kept.insert(e.rel);
        c.kept.push_back(e.rel);
        for (std::string up = upOf(e.rel); !up.empty(); up = upOf(up))
            dirty.insert(up);
    }
    if (c.kept.empty()) return c;
    for (const WrittenEntry& e : now)
        if (!kept.count(e.rel) && !dirty.count(e.rel) && dirty.count(upOf(e.rel)))
            c.pieces.push_back(e.rel);
    return c;
}

} // namespace qb::history
