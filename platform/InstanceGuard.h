#pragma once
#include <QString>

namespace qb {

// The marker of a running instance for the logged-on user: an exclusive flock on
// a file in a folder only that user may write into. Testing for another instance
// and marking this one are a single step, so two instances started at the same
// moment cannot both win. The lock ends with the process, even when it is killed.
class InstanceGuard {
public:
    InstanceGuard() = default;
    ~InstanceGuard();
    InstanceGuard(const InstanceGuard&) = delete;
    InstanceGuard& operator=(const InstanceGuard&) = delete;

    // Returns false only when another live process holds the marker. Any other
    // failure (no private folder, a lock file we may not open) is not reported:
    // start-up goes on as for a first instance. A lock file that is not this
    // user's own is never used: another user could hold it and stop every start.
    bool claim(const QString& lockPath);

    // Whether this object holds the marker.
    bool held() const { return fd_ >= 0; }

private:
    int fd_ = -1;
};

// The folders the marker may live in, first usable one wins. Tests point them
// elsewhere; the program always uses the defaults.
struct LockPlaces {
    QString runtimeRoot = QStringLiteral("/run/user"); // holds the user's runtime folder <uid>
    QString tmp = QStringLiteral("/tmp");              // for a private folder <name>-<uid>
    QString home;                                      // empty: the home folder of the account
};

// Where the marker of `name` lives for this user: the same place for every start
// of the user whatever its environment ($XDG_RUNTIME_DIR is set in some starts and
// not in others), and a place no other user can take or block. Empty when there is
// no such place.
QString instanceLockPath(const QString& name, const LockPlaces& places = {});

} // namespace qb
