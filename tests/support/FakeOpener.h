#pragma once
#include "platform/Opener.h"

#include <QStringList>

#include <vector>

namespace qb {

// Records every request instead of starting programs. `accept` = false plays a
// desktop without a launcher; failPending() plays a launcher that exits with an error.
class FakeOpener final : public Opener {
public:
    QStringList folders;
    int topLevelCount = 0;
    QList<QUrl> webAddresses;
    bool accept = true;

    bool openFolder(const QString& path, FailureCallback onFailure) override {
        folders << path;
        if (!accept) return false;
        pending_.push_back(std::move(onFailure));
        return true;
    }
    bool openTopLevel() override {
        ++topLevelCount;
        return accept;
    }
    bool openWeb(const QUrl& url) override {
        webAddresses << url;
        return accept;
    }
    // Reports the oldest outstanding folder request as failed.
    void failPending() {
        if (pending_.empty()) return;
        FailureCallback cb = std::move(pending_.front());
        pending_.erase(pending_.begin());
        if (cb) cb();
    }
    void clear() {
        folders.clear();
        topLevelCount = 0;
        webAddresses.clear();
        pending_.clear();
    }

private:
    std::vector<FailureCallback> pending_;
};

// Installs a fake opener for the lifetime of the object.
class ScopedFakeOpener {
public:
    ScopedFakeOpener() { setOpener(&fake); }
    ~ScopedFakeOpener() { setOpener(nullptr); }
    ScopedFakeOpener(const ScopedFakeOpener&) = delete;
    ScopedFakeOpener& operator=(const ScopedFakeOpener&) = delete;
    FakeOpener fake;
};

} // namespace qb
