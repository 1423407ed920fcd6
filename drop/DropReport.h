// The account of one drop's copies or moves, and its desktop notification.
#pragma once
// The notification tells a user who looked away what the drop came to.
#include "engine/Operation.h"
#include "platform/Notifier.h"

#include <QElapsedTimer>
#include <QString>
#include <QStringList>

#include <functional>
#include <optional>

namespace qb {

struct DropReport {
    DropReport(Op operation, const QString& folder);
    // Counts one dropped item's outcome; `reason` says why one failed.
    void add(const QString& item, Outcome outcome, const QString& reason = {});
    // The worst outcome of its items: cancelled, failed, skipped, done.
    Outcome overall() const;

    struct Item {
        QString path;
        Outcome outcome;
        QString reason;
    };
    Op op;
    QString destFolder;
    QStringList done;
    QStringList failed;
    QStringList skipped; // not replaced, as the user chose
    QList<Item> items;   // every item, in order
    bool cancelled = false;
    bool unrecorded = false;    // the drop journal took no record of it: no undo
    std::uint64_t verified = 0; // files read back from the drive and found whole
    QString refusal;            // refused before anything was touched: the words why
    QElapsedTimer clock;        // started with the drop's first item
};

// The status line a job leaves once its items so far came to `outcome`; `destroyed`:
// a replacement no Trash could take; `missing`: Missing flags.
QString dropStatusText(Op op, Outcome outcome, bool destroyed, std::uint32_t missing);
// The status line while a job runs and others wait behind it.
QString runningStatusText(Op op);

// The notification for a drop: what was done and where, or what failed. None for
// a drop the user cancelled (they were there to see it).
std::optional<Notice> dropNotice(const DropReport& report);

// A drop is worth a notification when it ran at least `thresholdMs` and the user
// is not looking at the program (the board is hidden or another program is active).
bool worthNotice(qint64 elapsedMs, qint64 thresholdMs, bool boardInUse);

// How long a drop must run before its end is announced: a few seconds, or
// $QB_NOTICE_AFTER_MS milliseconds when set (tests).
qint64 noticeThresholdMs();

// Where the end of each copy or move drop is reported (the desktop integration);
// an empty function reports nowhere.
using DropReportSink = std::function<void(const DropReport&)>;
void setDropReportSink(DropReportSink sink);
void reportDrop(const DropReport& report);

} // namespace qb
