// What an item is called at its destination, and which items of a drop are repeats.
#pragma once
#include <string>
#include <vector>

namespace qb {

// The n-th free-name candidate (n >= 2) for `name` under auto-rename:
// "report.pdf" -> "report (2).pdf", "data.tar.gz" -> "data (2).tar.gz", a folder
// "photos.2024" -> "photos.2024 (2)". A name that already ends in " (k)" counts on
// from k instead of growing a second number. Never longer than 255 bytes.
std::string renamedName(const std::string& name, bool isDir, int n);

// The items of one drop with repeats left out: a second name for the same entry
// (the same folder and name, however spelled) would only find its item gone, and so
// would an item inside a folder that is itself one of the items.
std::vector<std::string> distinctItems(const std::vector<std::string>& items);

} // namespace qb
