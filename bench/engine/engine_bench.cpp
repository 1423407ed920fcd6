// Copy and move speed of the engine beside GNU cp -a and mv:
//   (a) one 1 GiB file, (b) 20,000 files of 1 to 64 KiB in 200 folders,
//   (c) moving tree (b) within one file system, (d) moving it from /dev/shm to the disk
//   with each copy on the disk before its source goes, and (d) again without that sync.
// Runs of both sides alternate, each after a sync, so other work on the machine
// weighs on both alike. Which side goes second in a round can matter a lot (on a
// virtual machine the second 1 GiB copy may run several times slower, whichever
// tool makes it), so each ratio comes from two rounds of opposite order: the
// geometric mean of their ratios. The figure is the median of those, of wall time
// and of CPU time (user + system of the process, less swayed by a busy machine).
// The drop journal's cost: (j) copy (b) recorded beside the same copy unrecorded,
// fresh and into existing folders (a row per file), and (q) the history window's query
// with 10,000 drops recorded.
//   quillbeck-bench-engine [--runs N] [--dir FOLDER-ON-DISK] [--only abcdjq]
// (N even, 8 by default; --only runs the named cases, "d" and "j" both of their rows)
#include "RunTimed.h"
#include "history/Journal.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <random>
#include <string>
#include <vector>

#include <fcntl.h>
#include <ftw.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

char g_work[4096], g_shm[4096]; // removed on exit, even when interrupted

void removeAll() {
    const pid_t pid = ::fork();
    if (pid == 0) {
        if (g_shm[0])
            ::execlp("rm", "rm", "-rf", g_work, g_shm, static_cast<char*>(nullptr));
        else
            ::execlp("rm", "rm", "-rf", g_work, static_cast<char*>(nullptr));
        ::_exit(127);
    }
    int status;
    if (pid > 0) ::waitpid(pid, &status, 0);
}

void onSignal(int) {
    removeAll();
    ::_exit(130);
}

struct Time {
    double wall = 0, cpu = 0;
};

// Runs a command and times it. A failing command ends the run.
Time timed(const std::vector<std::string>& cmd) {
    const qb::bench::RunTime r = qb::bench::runTimed(cmd);
    if (!r.ok) {
        std::string line;
        for (const auto& a : cmd)
            line += a + ' ';
        std::fprintf(stderr, "failed: %s\n", line.c_str());
        removeAll();
        std::exit(1);
    }
    return {r.wall, r.cpu};
}

void run(const std::vector<std::string>& cmd) {
    timed(cmd);
}

void writeFile(const std::string& path, std::size_t size, std::mt19937& rng) {
    std::vector<char> buf(std::min<std::size_t>(size, 1 << 20));
    const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    if (fd < 0) {
        std::perror(path.c_str());
        removeAll();
        std::exit(1);
    }
    for (std::size_t done = 0; done < size;) {
        for (std::size_t i = 0; i < buf.size(); i += 64)
            buf[i] = static_cast<char>(rng());
        const std::size_t n = std::min(buf.size(), size - done);
        if (::write(fd, buf.data(), n) != static_cast<ssize_t>(n)) {
            std::perror(path.c_str());
            removeAll();
            std::exit(1);
        }
        done += n;
    }
    ::close(fd);
}

void makeTree(const std::string& root) {
    std::mt19937 rng(2024);
    ::mkdir(root.c_str(), 0755);
    for (int d = 0; d < 200; ++d) {
        const std::string dir = root + "/folder" + std::to_string(d);
        ::mkdir(dir.c_str(), 0755);
        for (int f = 0; f < 100; ++f)
            writeFile(dir + "/file" + std::to_string(f) + ".dat", 1024 + rng() % (63 * 1024 + 1),
                      rng);
    }
}

// Reads a file or tree, so both sides start from the same warm cache: whoever ran
// first after the previous case would otherwise pay for reading it in.
int warmOne(const char* path, const struct stat* st, int type, struct FTW*) {
    if (type != FTW_F || !S_ISREG(st->st_mode)) return 0;
    static std::vector<char> buf(1 << 20);
    const int fd = ::open(path, O_RDONLY);
    if (fd < 0) return 0;
    while (::read(fd, buf.data(), buf.size()) > 0) {
    }
    ::close(fd);
    return 0;
}

void warm(const std::string& path) {
    ::nftw(path.c_str(), warmOne, 64, FTW_PHYS);
}

// Ratios of rounds 2k and 2k+1, which ran the two sides in opposite orders, as one.
std::vector<double> balanced(const std::vector<double>& ratios) {
    std::vector<double> out;
    for (std::size_t i = 0; i + 1 < ratios.size(); i += 2)
        out.push_back(std::sqrt(ratios[i] * ratios[i + 1]));
    return out;
}

double median(std::vector<double> v) {
    if (v.empty()) return 0;
    std::sort(v.begin(), v.end());
    const std::size_t n = v.size();
    return n % 2 ? v[n / 2] : (v[n / 2 - 1] + v[n / 2]) / 2;
}

struct Result {
    const char* name;
    const char* goal;
    double limit;
    std::vector<double> ours, theirs, ratios, cpuRatios;
};

const std::string kFileop = QB_FILEOP;

// One round: both sides once, in alternating order. `prepare` and `tidy` run
// untimed before and after each side; `timed` gives the command of a side.
template <typename Prep, typename Cmd, typename Tidy>
void round(Result& r, int i, Prep prepare, Cmd command, Tidy tidy) {
    Time t[2];
    for (int k = 0; k < 2; ++k) {
        const int side = (i + k) % 2; // 0 ours, 1 GNU
        prepare(side);
        ::sync();
        t[side] = timed(command(side));
        tidy(side);
    }
    r.ours.push_back(t[0].wall);
    r.theirs.push_back(t[1].wall);
    r.ratios.push_back(t[0].wall / t[1].wall);
    r.cpuRatios.push_back(t[0].cpu / std::max(t[1].cpu, 1e-6));
    std::fprintf(stderr, "  %s round %d: ours %.4f s (cpu %.4f), GNU %.4f s (cpu %.4f)\n", r.name,
                 i + 1, t[0].wall, t[0].cpu, t[1].wall, t[1].cpu);
}

} // namespace

int main(int argc, char** argv) {
    int runs = 8;
    std::string base = "/var/tmp";
    std::string only = "abcdjq";
    for (int i = 1; i < argc; ++i) {
        if (!std::strcmp(argv[i], "--runs") && i + 1 < argc) {
            const int n = std::max(2, std::atoi(argv[++i]));
            runs = n + n % 2; // whole pairs
        } else if (!std::strcmp(argv[i], "--dir") && i + 1 < argc) {
            base = argv[++i];
        } else if (!std::strcmp(argv[i], "--only") && i + 1 < argc) {
            only = argv[++i];
        } else {
            std::fprintf(stderr,
                         "usage: %s [--runs N (even)] [--dir FOLDER-ON-DISK] [--only abcd]\n",
                         argv[0]);
            return 2;
        }
    }
    std::snprintf(g_work, sizeof g_work, "%s/qb-bench-engine-XXXXXX", base.c_str());
    if (!::mkdtemp(g_work)) {
        std::perror(g_work);
        return 1;
    }
    std::signal(SIGINT, onSignal);
    std::signal(SIGTERM, onSignal);
    std::snprintf(g_shm, sizeof g_shm, "/dev/shm/qb-bench-engine-XXXXXX");
    if (!::mkdtemp(g_shm)) g_shm[0] = 0;
    const std::string work = g_work, shm = g_shm;

    std::fprintf(stderr, "making the test data in %s ...\n", g_work);
    std::mt19937 rng(7);
    ::mkdir((work + "/a").c_str(), 0755);
    const auto wanted = [&](char c) { return only.find(c) != std::string::npos; };
    if (wanted('a')) writeFile(work + "/a/big.bin", std::size_t(1) << 30, rng);
    makeTree(work + "/tree");
    ::mkdir((work + "/moved").c_str(), 0755);
    for (const char* d : {"/out0", "/out1"})
        ::mkdir((work + d).c_str(), 0755);

    Result a{"(a) 1 GiB file, copy", "<= 1.0x cp -a", 1.0, {}, {}, {}, {}};
    Result b{"(b) 20,000 files, copy", "<= 0.7x cp -a", 0.7, {}, {}, {}, {}};
    Result c{"(c) tree, move on one disk", "<= 1.1x mv", 1.1, {}, {}, {}, {}};
    Result d{"(d) tree, move /dev/shm -> disk", "<= 1.3x mv", 1.3, {}, {}, {}, {}};
    Result e{"(d) the same without the sync", "(its cost)", 1e9, {}, {}, {}, {}};
    Result j{"(j) copy (b), journal on : off", "<= 1.05x", 1.05, {}, {}, {}, {}};
    Result k{"(j) into its folders, a row per file", "<= 1.05x", 1.05, {}, {}, {}, {}};
    const auto out = [&](int side) { return work + (side == 0 ? "/out0" : "/out1"); };
    std::vector<double> engineUs; // (c) inside the tool, without the process around it
    const auto clear = [&](int side) {
        run({"rm", "-rf", out(side)});
        ::mkdir(out(side).c_str(), 0755);
    };
    // Copied trees are set aside, not removed, until the end: on a file system without
    // a journal, ext4 passes over inodes freed in the last minutes when it makes new
    // ones, so whichever side ran after a removal of 20,000 files would pay for it.
    ::mkdir((work + "/spent").c_str(), 0755);
    int spent = 0;
    const auto setAside = [&](int side) {
        ::rename(out(side).c_str(), (work + "/spent/" + std::to_string(spent++)).c_str());
        ::mkdir(out(side).c_str(), 0755);
    };

    for (int i = 0; i < runs; ++i) {
        if (wanted('a'))
            round(
                a, i, [&](int) { warm(work + "/a/big.bin"); },
                [&](int side) -> std::vector<std::string> {
                    if (side == 0) return {kFileop, "copy", work + "/a/big.bin", out(0)};
                    return {"cp", "-a", work + "/a/big.bin", out(1) + "/"};
                },
                clear);
        if (wanted('b'))
            round(
                b, i, [&](int) { warm(work + "/tree"); },
                [&](int side) -> std::vector<std::string> {
                    if (side == 0) return {kFileop, "copy", work + "/tree", out(0)};
                    return {"cp", "-a", work + "/tree", out(1) + "/"};
                },
                setAside);
        if (wanted('j')) {
            const auto journaled = [&](int side, const std::string& dest) {
                std::vector<std::string> cmd{kFileop};
                if (side == 0) cmd.insert(cmd.end(), {"--journal", work + "/journal"});
                cmd.insert(cmd.end(), {"copy", work + "/tree", dest});
                return cmd;
            };
            round(
                j, i, [&](int) { warm(work + "/tree"); },
                [&](int side) { return journaled(side, out(side)); }, setAside);
            // The same tree's folders wait there empty: every file is an entry of a merge.
            round(
                k, i,
                [&](int side) {
                    warm(work + "/tree");
                    ::mkdir((out(side) + "/tree").c_str(), 0755);
                    for (int f = 0; f < 200; ++f)
                        ::mkdir((out(side) + "/tree/folder" + std::to_string(f)).c_str(), 0755);
                },
                [&](int side) { return journaled(side, out(side)); }, setAside);
        }
        if (wanted('c'))
            round(
                c, i, [](int) {},
                [&](int side) -> std::vector<std::string> {
                    if (side == 0)
                        return {kFileop,         "move",   work + "/tree",
                                work + "/moved", "rename", work + "/engine-us"};
                    return {"mv", work + "/tree", work + "/moved/"};
                },
                [&](int side) {
                    run({"mv", work + "/moved/tree", work + "/"});
                    if (side != 0) return;
                    if (FILE* f = std::fopen((work + "/engine-us").c_str(), "r")) {
                        long long us = 0;
                        if (std::fscanf(f, "%lld", &us) == 1) engineUs.push_back(double(us));
                        std::fclose(f);
                    }
                });
        if (!shm.empty() && wanted('d')) {
            round(
                d, i,
                [&](int) {
                    run({"cp", "-a", work + "/tree", shm + "/"});
                },
                [&](int side) -> std::vector<std::string> {
                    if (side == 0) return {kFileop, "move", shm + "/tree", out(0)};
                    return {"mv", shm + "/tree", out(1) + "/"};
                },
                setAside);
            round(
                e, i,
                [&](int) {
                    run({"cp", "-a", work + "/tree", shm + "/"});
                },
                [&](int side) -> std::vector<std::string> {
                    if (side == 0) return {kFileop, "--no-sync", "move", shm + "/tree", out(0)};
                    return {"mv", shm + "/tree", out(1) + "/"};
                },
                setAside);
        }
    }
    double firstPage = 0, filtered = 0, opened = 0;
    if (wanted('q')) {
        // 10,000 drops of three items each, then what the history window asks first.
        std::string error;
        auto journal = qb::history::Journal::open(work + "/q", error);
        if (!journal) std::fprintf(stderr, "journal: %s\n", error.c_str());
        for (int n = 0; journal && n < 10000; ++n) {
            qb::history::DropRecord dr;
            dr.slotName = "slot " + std::to_string(n % 20);
            dr.destFolder = work + "/dest" + std::to_string(n % 20);
            const std::int64_t id = journal->beginDrop(dr);
            for (int item = 0; item < 3; ++item) {
                qb::history::ItemRecord r;
                r.dropId = id;
                r.source = work + "/src/file" + std::to_string(n * 3 + item) + ".dat";
                r.dest = dr.destFolder + "/file" + std::to_string(n * 3 + item) + ".dat";
                journal->finishItem(journal->beginItem(r, false), qb::history::ItemState::Done,
                                    qb::history::ItemKind::File, {});
            }
            journal->endDrop(id, qb::Outcome::Done);
        }
        journal.reset();
        const auto ms = [](auto f) {
            const auto t0 = std::chrono::steady_clock::now();
            f();
            return std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - t0)
                .count();
        };
        std::unique_ptr<qb::history::Journal> again;
        opened = ms([&] { again = qb::history::Journal::open(work + "/q", error); });
        if (again) {
            firstPage = ms([&] { again->drops({}, 200); });
            filtered = ms([&] { again->drops("file2999", 200); });
        }
    }
    removeAll();

    std::printf("%-34s %10s %10s %7s %7s   %s\n", "case", "ours (s)", "GNU (s)", "ratio", "cpu",
                "goal");
    bool allMet = true;
    for (Result* r : {&a, &b, &c, &d, &e, &j, &k}) {
        if (r->ratios.empty()) continue;
        const double ratio = median(balanced(r->ratios));
        allMet = allMet && ratio <= r->limit;
        std::printf("%-34s %10.4f %10.4f %6.2fx %6.2fx   %s%s\n", r->name, median(r->ours),
                    median(r->theirs), ratio, median(balanced(r->cpuRatios)), r->goal,
                    ratio <= r->limit ? "" : "  (missed)");
    }
    if (!j.ratios.empty())
        std::printf("(j) rows: \"ours\" is the copy recorded in the journal, \"GNU\" the same "
                    "copy unrecorded\n");
    if (wanted('q'))
        std::printf("(q) 10,000 drops recorded: journal opened in %.1f ms, newest 200 listed in "
                    "%.1f ms, filtered over names and paths in %.1f ms\n",
                    opened, firstPage, filtered);
    if (!engineUs.empty())
        std::printf("(c) the engine's own time for the move, without the process: %.0f us\n",
                    median(engineUs));
    std::printf("(ratios: medians over %d pairs of rounds in opposite orders; times: medians of %d "
                "rounds, including the start of the process)\n",
                runs / 2, runs);
    return allMet ? 0 : 3;
}
