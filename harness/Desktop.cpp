#include "harness/Desktop.h"

#include <QFileInfo>
#include <QRegularExpression>

namespace qb::harness {

QMap<unsigned long, QString> Desktop::windowsOf(qint64 pid) const {
    QMap<unsigned long, QString> found;
    const RunResult r =
        tool(QStringLiteral("xdotool"),
             {QStringLiteral("search"), QStringLiteral("--all"), QStringLiteral("--onlyvisible"),
              QStringLiteral("--pid"), QString::number(pid)});
    // xdotool exits 1 when nothing matches.
    for (const QByteArray& line : r.out.split('\n')) {
        bool ok = false;
        const unsigned long id = line.trimmed().toULong(&ok);
        if (!ok) continue;
        const RunResult n =
            tool(QStringLiteral("xdotool"), {QStringLiteral("getwindowname"), QString::number(id)});
        if (!n.ok()) continue; // gone meanwhile
        QByteArray name = n.out;
        if (name.endsWith('\n')) name.chop(1);
        found.insert(id, QString::fromUtf8(name));
    }
    return found;
}

std::optional<WindowInfo> Desktop::windowInfo(unsigned long id) const {
    const RunResult r = tool(QStringLiteral("xwininfo"), {"-id", QString::number(id)});
    if (!r.ok()) {
        lastError_ = r.describe();
        return std::nullopt;
    }
    const QString text = QString::fromUtf8(r.out);
    auto field = [&](const QString& label, bool* ok) {
        const QRegularExpression re(QRegularExpression::escape(label) +
                                    QStringLiteral(":\\s*(-?\\d+)"));
        const auto m = re.match(text);
        *ok = m.hasMatch();
        return *ok ? m.captured(1).toInt() : 0;
    };
    bool ok[4];
    WindowInfo w;
    w.id = id;
    w.geometry =
        QRect(field(QStringLiteral("Absolute upper-left X"), &ok[0]),
              field(QStringLiteral("Absolute upper-left Y"), &ok[1]),
              field(QStringLiteral("Width"), &ok[2]), field(QStringLiteral("Height"), &ok[3]));
    if (!(ok[0] && ok[1] && ok[2] && ok[3])) {
        lastError_ = QStringLiteral("unexpected xwininfo output: ") + text;
        return std::nullopt;
    }
    w.viewable = text.contains(QStringLiteral("Map State: IsViewable"));
    return w;
}

QString Desktop::property(unsigned long id, const QString& name) const {
    const RunResult r = tool(QStringLiteral("xprop"), {"-id", QString::number(id), name});
    const QString text = QString::fromUtf8(r.out).trimmed();
    const qsizetype eq = text.indexOf(QStringLiteral(" = "));
    if (!r.ok() || eq < 0) return {}; // "not found." or "no such atom"
    return text.mid(eq + 3);
}

// The window ids of a root window property, in their order.
static QList<unsigned long> rootWindows(const Desktop& desk, const char* name) {
    const RunResult r = desk.tool(QStringLiteral("xprop"), {"-root", QString::fromLatin1(name)});
    QList<unsigned long> ids;
    const QByteArray text = r.out.mid(r.out.indexOf('#') + 1);
    for (const QByteArray& item : text.split(',')) {
        bool ok = false;
        const unsigned long id = item.trimmed().toULong(&ok, 0);
        if (ok && id != 0) ids << id;
    }
    return r.ok() && r.out.contains('#') ? ids : QList<unsigned long>{};
}

QList<unsigned long> Desktop::stacking() const {
    return rootWindows(*this, "_NET_CLIENT_LIST_STACKING");
}

unsigned long Desktop::activeWindow() const {
    return rootWindows(*this, "_NET_ACTIVE_WINDOW").value(0, 0);
}

QStringList Desktop::netWmState(unsigned long id) const {
    QStringList atoms;
    for (const QString& a : property(id, QStringLiteral("_NET_WM_STATE")).split(','))
        if (!a.trimmed().isEmpty()) atoms << a.trimmed();
    return atoms;
}

static QStringList xy(QPoint p) {
    // "--" lets negative coordinates through.
    return {QStringLiteral("--"), QString::number(p.x()), QString::number(p.y())};
}

bool Desktop::mouseMove(QPoint p) const {
    const RunResult r =
        tool(QStringLiteral("xdotool"), QStringList{QStringLiteral("mousemove")} + xy(p));
    lastError_ = r.describe();
    return r.ok();
}

bool Desktop::pointerReaches(unsigned long id, QPoint p) const {
    const RunResult r =
        tool(QStringLiteral("xdotool"),
             QStringList{QStringLiteral("mousemove")} + xy(p) +
                 QStringList{QStringLiteral("sleep"), QStringLiteral("0.05"),
                             QStringLiteral("getmouselocation"), QStringLiteral("--shell")});
    lastError_ = r.describe();
    QString top;
    for (const QByteArray& line : r.out.split('\n'))
        if (line.startsWith("WINDOW=")) top = QString::fromLatin1(line.mid(7).trimmed());
    if (top.isEmpty()) return false;
    // The window manager's frame is what lies on top: the client is inside it.
    const RunResult tree =
        tool(QStringLiteral("xwininfo"), {QStringLiteral("-tree"), QStringLiteral("-id"), top});
    const QByteArray hex = "0x" + QByteArray::number(qulonglong(id), 16) + ' ';
    return top.toULong() == id || tree.out.contains(hex);
}

bool Desktop::mouseDrag(QPoint from, QPoint to) const {
    const QString pause = QStringLiteral("0.1");
    const QPoint mid = (from + to) / 2;
    const RunResult r =
        tool(QStringLiteral("xdotool"),
             QStringList{QStringLiteral("mousemove")} + xy(from) +
                 QStringList{QStringLiteral("sleep"), pause, QStringLiteral("mousedown"),
                             QStringLiteral("1"), QStringLiteral("sleep"), pause,
                             QStringLiteral("mousemove")} +
                 xy(mid) +
                 QStringList{QStringLiteral("sleep"), pause, QStringLiteral("mousemove")} + xy(to) +
                 QStringList{QStringLiteral("sleep"), pause, QStringLiteral("mouseup"),
                             QStringLiteral("1")});
    lastError_ = r.describe();
    return r.ok();
}

bool Desktop::click(QPoint p, int button) const {
    // Move first and give the program the motion before the press, as a real
    // mouse does (hover state, tool tips and the press position agree).
    if (!mouseMove(p)) return false;
    sleepMs(30);
    const RunResult r =
        tool(QStringLiteral("xdotool"), {QStringLiteral("click"), QString::number(button)});
    lastError_ = r.describe();
    return r.ok();
}

bool Desktop::doubleClick(QPoint p, int button) const {
    if (!mouseMove(p)) return false;
    sleepMs(30);
    const RunResult r =
        tool(QStringLiteral("xdotool"),
             {QStringLiteral("click"), QStringLiteral("--repeat"), QStringLiteral("2"),
              QStringLiteral("--delay"), QStringLiteral("80"), QString::number(button)});
    lastError_ = r.describe();
    return r.ok();
}

bool Desktop::key(unsigned long id, const QString& keyName) const {
    const QString w = QString::number(id);
    tool(QStringLiteral("xdotool"), {QStringLiteral("windowactivate"), w});
    const RunResult f = tool(QStringLiteral("xdotool"),
                             {QStringLiteral("windowfocus"), QStringLiteral("--sync"), w}, 5000);
    if (!f.ok()) {
        lastError_ = QStringLiteral("cannot focus window: ") + f.describe();
        return false;
    }
    sleepMs(50);
    const RunResult r = tool(QStringLiteral("xdotool"),
                             {QStringLiteral("key"), QStringLiteral("--clearmodifiers"), keyName});
    lastError_ = r.describe();
    return r.ok();
}

bool Desktop::screenshot(const QString& pngPath, unsigned long id) const {
    const RunResult r = tool(
        QStringLiteral("import"),
        {QStringLiteral("-window"), id ? QString::number(id) : QStringLiteral("root"), pngPath},
        30000);
    lastError_ = r.describe();
    return r.ok() && QFileInfo(pngPath).size() > 0;
}

} // namespace qb::harness
