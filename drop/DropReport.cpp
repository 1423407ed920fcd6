// One drop's account, and the notification that words it.
#include "drop/DropReport.h"

#include "operation/DropHistory.h"

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

// What the destination's file system could not keep, said once for the drop.
QString missingText(std::uint32_t missing) {
    if (!missing) return {};
    QStringList what;
    if (missing & MissingModes) what << QCoreApplication::translate("qb::DropController", "权限");
    if (missing & MissingOwners)
        what << QCoreApplication::translate("qb::DropController", "所有者");
    if (missing & MissingTimes)
        what << QCoreApplication::translate("qb::DropController", "修改时间");
    if (missing & MissingXattrs)
        what << QCoreApplication::translate("qb::DropController", "扩展属性");
    if (missing & MissingLinks) what << QCoreApplication::translate("qb::DropController", "硬链接");
    return QCoreApplication::translate("qb::DropController", "（目标位置无法保留%1，内容已完整）")
        .arg(what.join(QCoreApplication::translate("qb::DropController", "、")));
}

DropReportSink& sink() {
    static DropReportSink s;
    return s;
}

} // namespace

// A declined replacement ends in the mode's success text, as it always has: the
// user chose it. What was skipped is told by the report, not the status line.
QString dropStatusText(Op op, Outcome outcome, bool destroyed, std::uint32_t missing) {
    const bool move = op == Op::Move;
    // A replacement no Trash could take is said, since the old file is gone for good.
    const QString noTrash =
        (destroyed ? QCoreApplication::translate("qb::DropController", "旧文件未能放入回收站")
                   : QString()) +
        missingText(missing);
    switch (outcome) {
    case Outcome::Done:
    case Outcome::Skipped:
        return (move ? QCoreApplication::translate("qb::DropController", "状态：移动成功！")
                     : QCoreApplication::translate("qb::DropController", "状态：复制成功！")) +
               noTrash;
    case Outcome::Failed:
        return (move ? QCoreApplication::translate("qb::DropController", "状态：移动失败！")
                     : QCoreApplication::translate("qb::DropController", "状态：复制失败！")) +
               noTrash;
    case Outcome::Cancelled:
        break;
    }
    return QCoreApplication::translate("qb::DropController", "状态：操作已取消！");
}

QString runningStatusText(Op op) {
    return op == Op::Move ? QCoreApplication::translate("qb::DropController", "状态：正在移动…")
                          : QCoreApplication::translate("qb::DropController", "状态：正在复制…");
}

DropReport::DropReport(Op operation, const QString& folder) : op(operation), destFolder(folder) {
    clock.start();
}

void DropReport::add(const QString& item, Outcome outcome, const QString& reason) {
    items.append({item, outcome, reason});
    switch (outcome) {
    case Outcome::Done:
        done << item;
        break;
    case Outcome::Failed:
        failed << item;
        break;
    case Outcome::Skipped:
        skipped << item;
        break;
    case Outcome::Cancelled:
        cancelled = true;
        break;
    }
}

Outcome DropReport::overall() const {
    if (cancelled) return Outcome::Cancelled;
    if (!failed.isEmpty() || !refusal.isEmpty()) return Outcome::Failed;
    if (!skipped.isEmpty()) return Outcome::Skipped;
    return Outcome::Done;
}

namespace {

// What verify found whole, after what the notice says of the drop.
void addVerified(Notice& n, const DropReport& report) {
    if (!report.verified) return;
    const int files = static_cast<int>(report.verified);
    n.body += u'\n';
    n.body += QCoreApplication::translate("qb::DropNotice",
                                          "已校验：%n 个文件从磁盘读回，与源文件一致", "", files);
}

} // namespace

std::optional<Notice> dropNotice(const DropReport& report) {
    if (report.cancelled ||
        (report.done.isEmpty() && report.failed.isEmpty() && report.skipped.isEmpty()))
        return std::nullopt;
    const bool move = report.op == Op::Move;
    Notice n;
    // What was left as it was is said, never counted among what was done.
    const QString skippedLine =
        report.skipped.isEmpty() ? QString()
                                 : QCoreApplication::translate("qb::DropNotice", "%1未替换，已跳过")
                                       .arg(itemsText(report.skipped));
    if (report.failed.isEmpty() && report.done.isEmpty()) {
        n.summary = QCoreApplication::translate("qb::DropNotice", "已跳过");
        n.body = skippedLine;
        return n;
    }
    if (report.failed.isEmpty()) {
        n.summary = move ? QCoreApplication::translate("qb::DropNotice", "移动完成")
                         : QCoreApplication::translate("qb::DropNotice", "复制完成");
        n.body = (move ? QCoreApplication::translate("qb::DropNotice", "%1已移动到 %2")
                       : QCoreApplication::translate("qb::DropNotice", "%1已复制到 %2"))
                     .arg(itemsText(report.done), report.destFolder);
        if (!skippedLine.isEmpty()) n.body += u'\n' + skippedLine;
        addVerified(n, report);
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
    addVerified(n, report);
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
    emit DropHistory::instance().changed();
}

} // namespace qb
