// Copying one file: its bytes into a new file that takes its name only when whole.
#pragma once
#include "engine/Posix.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <set>

namespace qb::engine {

// A new file being written where no one can see it: an anonymous O_TMPFILE
// (name empty) or a hidden temporary name in the destination folder.
struct TempFile {
    Fd fd;
    std::string name;
};

// Called every few MiB with the bytes copied so far; may throw Stop.
using ChunkDone = std::function<void(std::uint64_t)>;

class ContentHash;
class ReadBackQueue;
struct ReadBackItem;

class ByteCopier {
public:
    // `once` (if given) is the job's, to log each fallback once per job.
    explicit ByteCopier(LogOnce* once = nullptr);
    ~ByteCopier();
    ByteCopier(const ByteCopier&) = delete;
    ByteCopier& operator=(const ByteCopier&) = delete;

    // Every file copied is read back from the drive and compared with what was read
    // from its source (copyFileTo). The bytes then pass through this process: no
    // clones or kernel copies, which would leave nothing to compare with.
    void setVerify(bool on) { verify_ = on; }
    bool verifies() const { return verify_; }
    // The copy is being read back (for a progress report from the chunk callback).
    bool readingBack() const { return readingBack_; }
    // Starts the hash of the next file's bytes; with `follow`, its copy written through
    // `fd` is read back behind the writing.
    void startHash(int fd, bool follow);
    // Reads back the rest of the copy open as `fd`, whose source was `copied` at its
    // last byte. Returns 0, kNotVerified (Verify.h) or errno.
    int verify(int fd, const struct stat& copied, const ChunkDone& chunk);
    // The same on the read-back thread, while the caller goes on with the next copy:
    // `done` runs there, with the result or kReadBackStopped (ReadBack.h) when the
    // read-back was stopped (setStopReadBack). Waits while `depth` copies are queued.
    void verifyLater(int fd, const struct stat& copied, std::function<void(int)> done,
                     std::size_t depth);
    void setStopReadBack(std::function<bool()> stop);
    // Stops reading back the copy being written (it failed, or the user cancelled).
    void abandonReadBack();

    // Copies the contents of `in` (described by `sst`) into `out`, keeping holes.
    // `outDev` is the device `out` lies on, 0 if the caller does not know it.
    // Returns 0 or errno.
    int copyData(int in, int out, dev_t outDev, const struct stat& sst, const ChunkDone& chunk);
    // copyData, then whatever was appended meanwhile; `now` is the source at the end.
    int copyWhole(int in, int out, dev_t outDev, const struct stat& sst, struct stat& now,
                  const ChunkDone& chunk);

    // Opens a temporary file in `ddir`. Returns 0 or errno.
    int openTemp(int ddir, TempFile& out);
    // Gives the whole temporary file the free name `dname` and closes it (a close
    // that fails takes the name back). Returns 0 or errno; the temporary file is gone.
    int commit(TempFile& t, int ddir, const std::string& dname);
    // Gives it a visible temporary name instead, ready to be swapped in; closes it.
    int commitAside(TempFile& t, int ddir, std::string& visible);
    // Drops an unfinished temporary file.
    static void discard(TempFile& t, int ddir);

private:
    // Copies what was appended after `copied` bytes, up to the end of file; `now` is
    // the source as its last byte was copied.
    int copyToEnd(int in, int out, std::uint64_t copied, struct stat& now, const ChunkDone& chunk);
    int copyRange(int in, int out, std::uint64_t from, std::uint64_t to,
                  std::pair<dev_t, dev_t> devs, const ChunkDone& chunk);
    int linkAnonymous(int fd, int ddir, const std::string& name);

    LogOnce* once_;
    bool tmpfileWorks_ = true;
    bool useProcLink_ = ::access("/proc/self/fd", X_OK) == 0;
    std::set<std::pair<dev_t, dev_t>> noReflink_;
    std::set<std::pair<dev_t, dev_t>> noCopyRange_;
    std::unique_ptr<char[]> buffer_;
    bool verify_ = false, readingBack_ = false;
    std::shared_ptr<ContentHash> hash_; // of the file being copied, while verifying
    std::unique_ptr<ReadBackQueue> readBack_;
    std::shared_ptr<ReadBackItem> following_; // the copy read back as it is written
};

// Why a file copy failed, or what it copied.
struct CopyFailure {
    ErrorKind kind = ErrorKind::Transfer;
    int code = 0;
    std::uint32_t missing = 0; // Missing flags
    struct stat copied {};     // the source as its last byte was copied
};

// Copies the regular file (sdir, sname), examined earlier as `sst`, into `ddir` with
// its permissions, times and extended attributes: under the free name `dname`, or,
// when `aside` is given, under a visible temporary name stored there, ready to be
// swapped in. `writeback` starts writing the data to the disk at once, for a sync
// soon after. May throw Stop from `chunk`, leaving nothing behind. False with `why`
// when it failed; the destination is then as it was. `ddev`: the device of `ddir`
// where the caller knows it (saves a stat a file), else 0.
bool copyFileTo(ByteCopier& copier, int sdir, const std::string& sname, const struct stat& sst,
                int ddir, const std::string& dname, std::string* aside, bool writeback,
                const ChunkDone& chunk, CopyFailure& why, dev_t ddev = 0);

// copyFileTo in two halves, for a copy checked elsewhere in between. The first
// writes the bytes into a temporary file (read back behind the writing with `follow`
// where the copier verifies); false with `why` when it failed, leaving nothing behind.
struct WrittenCopy {
    Fd in; // the source, for its extended attributes
    TempFile out;
};
bool writeCopy(ByteCopier& copier, int sdir, const std::string& sname, const struct stat& sst,
               int ddir, dev_t ddev, bool follow, const ChunkDone& chunk, WrittenCopy& w,
               CopyFailure& why);
// The second gives the copy its attributes and name, unless `checked` (the result of
// verify, else 0) says it failed: then it is discarded.
bool finishCopy(ByteCopier& copier, WrittenCopy& w, int checked, int ddir, const std::string& dname,
                std::string* aside, bool writeback, CopyFailure& why);

// Owner, permissions and times of `sst` onto an open file, the owner where the caller
// may (set-id bits go where it could not be kept); what the file system lacks is
// added to `missing`, not an error. Returns 0 or errno.
int copyModeAndTimes(int out, const struct stat& sst, std::uint32_t& missing);

// Extended attributes (ACLs among them) of one open file onto another, where the
// destination takes them. Returns 0 or errno.
int copyXattrs(int in, int out, std::uint32_t& missing);

// The target of the link (dir, name), whose lstat size is `size`. Returns 0 or errno.
int readLink(int dir, const std::string& name, std::size_t size, std::string& target);

} // namespace qb::engine
