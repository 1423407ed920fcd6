// What verify after copy costs: the engine's copy with each file read back from the
// drive and compared, beside the same copy without it, of
//   (a) one 1 GiB file, (b) 3,000 files of 1 to 64 KiB in 30 folders.
// Before each run the page cache is dropped (as root), so both read their source
// from the disk and the read-back cannot be served from memory; otherwise the
// figures are of cached sources, and the report says so. The copy without verify
// leaves its data in the cache, to be written later; the same copy followed by a
// sync shows what putting it on the drive costs. The sides take turns at going
// first; each figure is the median of the runs.
//   quillbeck-bench-verify [--runs N] [--dir FOLDER-ON-DISK] [--only ab]
#include "RunTimed.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <random>
#include <string>
#include <vector>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

const std::string kFileop = QB_FILEOP;

// Runs a command to its end; its wall time in seconds, or a negative on failure.
double timed(const std::vector<std::string>& cmd) {
    const qb::bench::RunTime r = qb::bench::runTimed(cmd);
    return r.ok ? r.wall : -1;
}

void writeFile(const std::string& path, std::size_t size, std::mt19937& rng) {
    std::vector<char> buf(std::min<std::size_t>(size, 1 << 20));
    const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    for (std::size_t done = 0; fd >= 0 && done < size;) {
        for (char& c : buf)
            c = static_cast<char>(rng());
        const std::size_t n = std::min(buf.size(), size - done);
        if (::write(fd, buf.data(), n) != static_cast<ssize_t>(n)) break;
        done += n;
    }
    if (fd >= 0) ::close(fd);
}

// Drops the page cache; false where this process may not.
bool dropCaches() {
    ::sync();
    const int fd = ::open("/proc/sys/vm/drop_caches", O_WRONLY);
    const bool ok = fd >= 0 && ::write(fd, "3\n", 2) == 2;
    if (fd >= 0) ::close(fd);
    return ok;
}

double median(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    const std::size_t n = v.size();
    return n == 0 ? 0 : n % 2 ? v[n / 2] : (v[n / 2 - 1] + v[n / 2]) / 2;
}

struct Case {
    const char* name;
    std::string source;
    std::vector<double> t[3]; // without verify, with it, without it but synced after
};

// One round: the copy without verify, with it, and without it followed by a sync
// (what a copy on the drive costs), in an order that turns with the round.
bool round(Case& c, int i, const std::string& work, bool& uncached) {
    double t[3] = {0, 0, 0};
    for (int k = 0; k < 3; ++k) {
        const int side = (i + k) % 3;
        const std::string out = work + "/out";
        if (timed({"rm", "-rf", out}) < 0 || ::mkdir(out.c_str(), 0755) != 0) return false;
        uncached = dropCaches() && uncached;
        std::string cmd = kFileop + (side == 1 ? " --verify" : "") + " copy '" + c.source + "' '" +
                          out + "'" + (side == 2 ? " && sync" : "");
        if ((t[side] = timed({"sh", "-c", cmd})) < 0) return false;
    }
    for (int side = 0; side < 3; ++side)
        c.t[side].push_back(t[side]);
    std::fprintf(stderr, "  %s round %d: without %.3f s, with verify %.3f s, synced %.3f s\n",
                 c.name, i + 1, t[0], t[1], t[2]);
    return true;
}

void report(const Case& c) {
    const double off = median(c.t[0]), on = median(c.t[1]), synced = median(c.t[2]);
    std::printf("%-24s without %7.3f s  with verify %7.3f s  (%.2fx; goal <= 1.3x %s)  "
                "without, synced %7.3f s (verify %.2fx of it)\n",
                c.name, off, on, on / off, on / off <= 1.3 ? "met" : "missed", synced, on / synced);
}

} // namespace

int main(int argc, char** argv) {
    int runs = 4;
    std::string base = "/var/tmp", only = "ab";
    for (int i = 1; i < argc; ++i) {
        if (!std::strcmp(argv[i], "--runs") && i + 1 < argc) {
            const int n = std::max(2, std::atoi(argv[++i]));
            runs = n + n % 2;
        } else if (!std::strcmp(argv[i], "--dir") && i + 1 < argc) {
            base = argv[++i];
        } else if (!std::strcmp(argv[i], "--only") && i + 1 < argc) {
            only = argv[++i];
        } else {
            std::fprintf(stderr, "usage: %s [--runs N] [--dir FOLDER-ON-DISK] [--only ab]\n",
                         argv[0]);
            return 2;
        }
    }
    std::string work = base + "/qb-bench-verify-XXXXXX";
    if (!::mkdtemp(work.data())) return std::perror(work.c_str()), 1;
    std::mt19937 rng(11);
    std::vector<Case> cases;
    if (only.find('a') != std::string::npos) {
        ::mkdir((work + "/a").c_str(), 0755);
        writeFile(work + "/a/big.bin", std::size_t(1) << 30, rng);
        cases.push_back({"(a) 1 GiB file", work + "/a/big.bin", {}});
    }
    if (only.find('b') != std::string::npos) {
        ::mkdir((work + "/tree").c_str(), 0755);
        for (int d = 0; d < 30; ++d) {
            const std::string dir = work + "/tree/folder" + std::to_string(d);
            ::mkdir(dir.c_str(), 0755);
            for (int f = 0; f < 100; ++f)
                writeFile(dir + "/file" + std::to_string(f), 1024 + rng() % (63 * 1024 + 1), rng);
        }
        cases.push_back({"(b) 3,000 small files", work + "/tree", {}});
    }
    bool uncached = true, ok = true;
    for (int i = 0; i < runs && ok; ++i)
        for (Case& c : cases)
            ok = ok && round(c, i, work, uncached);
    timed({"rm", "-rf", work});
    if (!ok) return std::fprintf(stderr, "a copy failed\n"), 1;
    std::printf("verify after copy, %d runs each, %s\n", runs,
                uncached ? "page cache dropped before every run"
                         : "CACHED: the page cache could not be dropped (not root)");
    for (const Case& c : cases)
        report(c);
}
