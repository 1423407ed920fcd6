// One drop's account, and the notification that words it.
#include "drop/DropReport.h"

#include "drop/UndoController.h"

#include <QCoreApplication>
#include <QFileInfo>

namespace qb {

namespace {

constexpr qint64 kDefaultThresholdMs = 5000;
// Names listed in a failure message; the rest are counted.
constexpr qsizetype kNamesShown = 3;

QString itemName(const QString& path) {
    const QString name = QFileInfo(path).fileName();
    return name.isEmpty() ? path : name;
}

QString nameList(const QStringList& paths) {
    QStringList names;
    for (qsizetype i = 0; i < paths.size() && i < kNamesShown; ++i)
        names << itemName(paths[i]);
    QString list = names.join(QCoreApplication::translate("qb::DropNotice", "、"));
    if (paths.size() > kNamesShown) list += QStringLiteral("…");
    return list;
}

// "“a.txt”" for one item, "3 项" for several.
QString itemsText(const QStringList& paths) {
    if (paths.size() == 1) return QStringLiteral("“%1”").arg(itemName(paths.first()));
    return QCoreApplication::translate("qb::DropNotice", "%1 项").arg(paths.size());
}

DropReportSink& sink() {
    static DropReportSink s;
    return s;
}

} // namespace

DropReport::DropReport(Op operation, const QString& folder) : op(operation), destFolder(folder) {
    clock.start();
}

void DropReport::add(const QString& item, Outcome outcome) {
    switch (outcome) {
    case Outcome::Done:
        done << item;
        break;
    case Outcome::Failed:
        failed << item;
        break;
    case Outcome::Cancelled:
        cancelled = true;
        break;
    }
}

std::optional<Notice> dropNotice(const DropReport& report) {
    if (report.cancelled || (report.done.isEmpty() && report.failed.isEmpty())) return std::nullopt;
    const bool move = report.op == Op::Move;
    Notice n;
    if (report.failed.isEmpty()) {
        n.summary = move ? QCoreApplication::translate("qb::DropNotice", "移动完成")
                         : QCoreApplication::translate("qb::DropNotice", "复制完成");
        n.body = (move ? QCoreApplication::translate("qb::DropNotice", "%1已移动到 %2")
                       : QCoreApplication::translate("qb::DropNotice", "%1已复制到 %2"))
                     .arg(itemsText(report.done), report.destFolder);
        return n;
    }
    n.summary = move ? QCoreApplication::translate("qb::DropNotice", "移动失败")
                     : QCoreApplication::translate("qb::DropNotice", "复制失败");
    n.body = (move ? QCoreApplication::translate("qb::DropNotice", "%1未能移动到 %2")
                   : QCoreApplication::translate("qb::DropNotice", "%1未能复制到 %2"))
                 .arg(itemsText(report.failed), report.destFolder);
    if (report.failed.size() > 1)
        n.body += QCoreApplication::translate("qb::DropNotice", "：") + nameList(report.failed);
    if (!report.done.isEmpty())
        n.body += u'\n' + (move ? QCoreApplication::translate("qb::DropNotice", "另有%1已移动")
                                : QCoreApplication::translate("qb::DropNotice", "另有%1已复制"))
                              .arg(itemsText(report.done));
    return n;
}

bool worthNotice(qint64 elapsedMs, qint64 thresholdMs, bool boardInUse) {
    return !boardInUse && elapsedMs >= thresholdMs;
}

qint64 noticeThresholdMs() {
    bool ok = false;
    const qint64 ms = qEnvironmentVariable("QB_NOTICE_AFTER_MS").toLongLong(&ok);
    return ok && ms >= 0 ? ms : kDefaultThresholdMs;
}

void setDropReportSink(DropReportSink s) {
    sink() = std::move(s);
}

void reportDrop(const DropReport& report) {
    if (sink()) sink()(report);
    // The journal holds the drop now: windows that show it read it again.
    emit journalEvents().changed();
}

} // namespace qb
