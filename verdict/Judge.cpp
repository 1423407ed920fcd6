#include "verdict/Judge.h"

namespace qb::verdict {

Verdict judge(const FileSystem& dest, const std::string& remembered, bool move,
              const DragCount& drag) {
    Verdict v;
    v.move = move;
    if (!dest.folder) {
        v.reason = Reason::Missing;
        return v;
    }
    if (!remembered.empty() && remembered != dest.identity) {
        v.reason = Reason::NotConnected;
        return v;
    }
    if (dest.readOnly) {
        v.reason = Reason::ReadOnly;
        return v;
    }
    // A move within the destination's file system renames: nothing is written but names.
    auto renamed = [&](const DraggedItem& i) { return move && i.exists && i.dev == dest.dev; };
    v.sameDisk = move && !drag.items.empty();
    std::vector<std::string> topNames;
    for (const DraggedItem& i : drag.items) {
        v.sameDisk = v.sameDisk && renamed(i);
        if (!i.exists) continue;
        const std::size_t slash = i.path.find_last_not_of('/');
        const std::string trimmed = i.path.substr(0, slash + 1);
        topNames.push_back(trimmed.substr(trimmed.rfind('/') + 1));
    }
    if (dest.caseInsensitive) {
        const std::string clash = caseClashAmong(topNames);
        if (!clash.empty()) {
            v.reason = Reason::CaseClash;
            v.name = clash;
            return v;
        }
    }
    v.counting = !drag.finished();
    for (const DraggedItem& i : drag.items) {
        if (!i.counted || renamed(i)) continue;
        v.bytes += i.bytes;
        auto refuse = [&](Reason r, const std::string& name, std::uint64_t size = 0) {
            if (v.ok()) {
                v.reason = r;
                v.name = name;
                v.size = size;
            }
        };
        if (i.longestName > dest.nameMax) refuse(Reason::NameTooLong, {});
        if (dest.fatNames && !i.fatForbidden.empty()) refuse(Reason::FatName, i.fatForbidden);
        if (dest.caseInsensitive && !i.caseClash.empty()) refuse(Reason::CaseClash, i.caseClash);
        if (i.largest > dest.maxFileSize) refuse(Reason::TooLarge, {}, i.largest);
    }
    if (v.ok() && !v.counting && v.bytes > dest.freeBytes) {
        v.reason = Reason::NoSpace;
        v.size = dest.freeBytes;
    }
    return v;
}

} // namespace qb::verdict
