#include "harness/DragSource.h"

namespace qb::harness {

namespace {
const QString kScript = QStringLiteral(QB_SOURCE_DIR "/harness/drag_source.py");

// A step of the hand: a short pause, then the pointer at `p`.
void step(QStringList& args, QPoint p) {
    args << QStringLiteral("sleep") << QStringLiteral("0.05") << QStringLiteral("mousemove")
         << QStringLiteral("--") << QString::number(p.x()) << QString::number(p.y());
}
} // namespace

DragSource::DragSource(const Desktop& desk, const QStringList& paths) : desk_(desk) {
    proc_.setProcessEnvironment(desk.environment());
    proc_.setProcessChannelMode(QProcess::MergedChannels);
    startGuarded(proc_, QStringLiteral("/usr/bin/python3"), QStringList{kScript, kTitle} + paths);
}

DragSource::DragSource(const Desktop& desk, const QList<QByteArray>& paths)
    : DragSource(desk, [&] {
          // Pure ASCII arguments: a process argument is text and would lose the bytes.
          QStringList uris;
          for (const QByteArray& p : paths)
              uris << QString::fromLatin1("file://" + p.toPercentEncoding("/"));
          return uris;
      }()) {}

DragSource::~DragSource() {
    proc_.kill();
    proc_.waitForFinished(3000);
}

bool DragSource::waitReady(QString* error) {
    const bool ready = waitUntil(
        [&] {
            proc_.waitForReadyRead(10);
            out_ += proc_.readAll();
            return out_.contains("ready\n");
        },
        15000);
    if (!ready) return fail(error, "drag source not ready");
    for (const auto& [id, title] : desk_.windowsOf(proc_.processId()).asKeyValueRange()) {
        if (title != kTitle) continue;
        if (const auto info = desk_.windowInfo(id)) {
            start_ = info->geometry.center();
            return true;
        }
    }
    return fail(error, "drag source window not found");
}

QStringList DragSource::pickUp() const {
    QStringList args = {QStringLiteral("mousemove"), QString::number(start_.x()),
                        QString::number(start_.y()), QStringLiteral("sleep"),
                        QStringLiteral("0.1"),       QStringLiteral("mousedown"),
                        QStringLiteral("1")};
    for (int d = 4; d <= 24; d += 4)
        step(args, start_ - QPoint(d, 0));
    return args;
}

bool DragSource::xdotool(const QStringList& args, QString* error) {
    const RunResult r = desk_.tool(QStringLiteral("xdotool"), args, 20000);
    return r.ok() || fail(error, "xdotool: " + r.describe().toUtf8());
}

bool DragSource::dragTo(QPoint target, QString* error) {
    QStringList args = pickUp();
    const QPoint from = start_ - QPoint(24, 0);
    constexpr int kSteps = 12;
    for (int i = 1; i <= kSteps; ++i)
        step(args, from + (target - from) * i / kSteps);
    // A last nudge on the target, as a hand never stops dead.
    step(args, target + QPoint(1, 0));
    step(args, target);
    args << QStringLiteral("sleep") << QStringLiteral("0.2") << QStringLiteral("mouseup")
         << QStringLiteral("1");
    const qsizetype ends = out_.count("drag-end");
    return xdotool(args, error) && waitEnd(ends, error);
}

bool DragSource::carryTo(QPoint target, QString* error) {
    if (!xdotool(pickUp(), error)) return false;
    at_ = start_ - QPoint(24, 0);
    return moveOn(target, error);
}

bool DragSource::moveOn(QPoint target, QString* error) {
    QStringList args;
    constexpr int kSteps = 8;
    for (int i = 1; i <= kSteps + 2; ++i) {
        // The last two: a nudge beside the target and back, as a hand never stops dead.
        step(args, i <= kSteps ? at_ + (target - at_) * i / kSteps
                               : target + QPoint(i == kSteps + 1 ? 1 : 0, 0));
    }
    if (!xdotool(args, error)) return false;
    at_ = target;
    return true;
}

bool DragSource::letGo(QString* error) {
    const qsizetype ends = out_.count("drag-end");
    return xdotool({QStringLiteral("mouseup"), QStringLiteral("1")}, error) && waitEnd(ends, error);
}

bool DragSource::waitEnd(qsizetype ends, QString* error) {
    const bool ended = waitUntil(
        [&] {
            proc_.waitForReadyRead(10);
            out_ += proc_.readAll();
            return out_.count("drag-end") > ends;
        },
        10000);
    return ended || fail(error, "the drag did not end");
}

bool DragSource::fail(QString* error, const QByteArray& why) {
    if (error) *error = QString::fromUtf8(why + "\nsource output:\n" + out_);
    return false;
}

} // namespace qb::harness
