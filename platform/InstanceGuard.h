#pragma once
#include <QString>

namespace qb {

// The marker of a running instance for the logged-on user: an exclusive flock on
// a file in the user's runtime folder ($XDG_RUNTIME_DIR/<name>.lock, or
// /tmp/<name>-<uid>.lock when that variable is unset). Testing for another
// instance and marking this one are a single step, so two instances started at
// the same moment cannot both win. The lock ends with the process, even when it
// is killed.
class InstanceGuard {
public:
    InstanceGuard() = default;
    ~InstanceGuard();
    InstanceGuard(const InstanceGuard&) = delete;
    InstanceGuard& operator=(const InstanceGuard&) = delete;

    // Returns false only when another live process holds the marker. Any other
    // failure (no runtime folder, a lock file we may not open) is not reported:
    // start-up goes on as for a first instance.
    bool claim(const QString& lockPath);

    // Whether this object holds the marker.
    bool held() const { return fd_ >= 0; }

private:
    int fd_ = -1;
};

// Where the marker of `name` lives for this user.
QString instanceLockPath(const QString& name);

} // namespace qb
