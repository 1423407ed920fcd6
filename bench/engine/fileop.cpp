// Runs one file operation of the engine from the command line:
//   quillbeck-fileop [--no-sync] [--verify] [--workers N] [--journal FOLDER] copy|move SOURCE
//                    DEST-FOLDER [rename|replace [TIME-FILE]]
// --no-sync: a move across file systems removes sources without first syncing the copies.
// --verify: each copy is read back from the drive and compared with its source.
// --workers: copy workers (1: none; by default as many as suit the machine).
// --journal: the operation is recorded in the drop journal in FOLDER, as a drop of its own.
// Clashes are renamed (or replaced); errors are printed and skipped. TIME-FILE
// receives the operation's own time in microseconds, without the process around it.
#include "engine/Operation.h"
#include "history/Recorder.h"

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {

class Printer final : public qb::OperationObserver {
public:
    qb::ReplaceAnswer askReplace(const qb::ItemInfo&, const qb::ItemInfo&) override {
        return qb::ReplaceAnswer::YesToAll;
    }
    qb::ReplaceAnswer askMerge(const qb::ItemInfo&, const qb::ItemInfo&) override {
        return qb::ReplaceAnswer::YesToAll;
    }
    qb::ErrorAnswer error(const qb::OpError& e) override {
        std::fprintf(stderr, "error %d: %s: %s\n", static_cast<int>(e.kind), e.path.c_str(),
                     std::strerror(e.code));
        return qb::ErrorAnswer::Skip;
    }
};

} // namespace

int main(int argc, char** argv) {
    qb::OperationOptions options;
    const char* journalFolder = nullptr;
    for (;;) {
        if (argc > 1 && std::strcmp(argv[1], "--no-sync") == 0) {
            options.durable = false;
            --argc;
            ++argv;
        } else if (argc > 1 && std::strcmp(argv[1], "--verify") == 0) {
            options.verify = true;
            --argc;
            ++argv;
        } else if (argc > 2 && std::strcmp(argv[1], "--journal") == 0) {
            journalFolder = argv[2];
            argc -= 2;
            argv += 2;
        } else if (argc > 2 && std::strcmp(argv[1], "--workers") == 0) {
            options.workers = static_cast<unsigned>(std::atoi(argv[2]));
            argc -= 2;
            argv += 2;
        } else {
            break;
        }
    }
    if (argc < 4 || (std::strcmp(argv[1], "copy") != 0 && std::strcmp(argv[1], "move") != 0)) {
        std::fprintf(stderr, "usage: %s copy|move SOURCE DEST-FOLDER [rename|replace]\n", argv[0]);
        return 2;
    }
    const qb::Op op = std::strcmp(argv[1], "copy") == 0 ? qb::Op::Copy : qb::Op::Move;
    const qb::Policy policy = argc > 4 && std::strcmp(argv[4], "replace") == 0
                                  ? qb::Policy::AutoReplace
                                  : qb::Policy::AutoRename;
    Printer printer;
    std::atomic<bool> cancel{false};
    const auto start = std::chrono::steady_clock::now();
    std::unique_ptr<qb::history::Journal> journal;
    std::int64_t drop = 0;
    if (journalFolder) {
        std::string error;
        journal = qb::history::Journal::open(journalFolder, error);
        if (!journal) std::fprintf(stderr, "journal: %s\n", error.c_str());
        qb::history::DropRecord d;
        d.op = op;
        d.policy = policy;
        d.destFolder = argv[3];
        if (journal) drop = journal->beginDrop(d);
    }
    const qb::Outcome o = qb::history::runRecorded(journal.get(), drop, op, policy, argv[2],
                                                   argv[3], printer, cancel, options)
                              .outcome;
    if (journal) journal->endDrop(drop, o);
    journal.reset();
    const auto us = std::chrono::duration_cast<std::chrono::microseconds>(
                        std::chrono::steady_clock::now() - start)
                        .count();
    if (argc > 5) {
        if (FILE* f = std::fopen(argv[5], "w")) {
            std::fprintf(f, "%lld\n", static_cast<long long>(us));
            std::fclose(f);
        }
    }
    return o == qb::Outcome::Done ? 0 : 1;
}
