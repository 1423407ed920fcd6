#include "tests/support/SessionBus.h"

#include <QDir>
#include <QFile>
#include <QJsonDocument>

namespace qb::e2e {

namespace {
const QString kDoubles = QStringLiteral(QB_SOURCE_DIR "/tests/support/session_doubles.py");
const QString kPython = QStringLiteral("/usr/bin/python3");
} // namespace

SessionBus::~SessionBus() {
    daemon_.kill();
    daemon_.waitForFinished(3000);
}

bool SessionBus::start(QString* error, std::optional<uint> clientUid) {
    // %1: the socket, %2: the service folder, %3: further users allowed.
    static const char* const kConfig = R"(<!DOCTYPE busconfig PUBLIC
 "-//freedesktop//DTD D-Bus Bus Configuration 1.0//EN"
 "http://www.freedesktop.org/standards/dbus/1.0/busconfig.dtd">
<busconfig>
  <type>session</type>
  <listen>unix:path=%1</listen>
  <auth>EXTERNAL</auth>
  <servicedir>%2</servicedir>
  <policy context="default">%3
    <allow send_destination="*" eavesdrop="true"/>
    <allow eavesdrop="true"/>
    <allow own="*"/>
  </policy>
</busconfig>
)";
    const QString config = dir_.filePath(QStringLiteral("session.conf"));
    const QString services = dir_.filePath(QStringLiteral("services"));
    QFile file(config);
    const QByteArray text =
        QString::fromLatin1(kConfig)
            .arg(dir_.filePath(QStringLiteral("bus")), services,
                 clientUid ? QStringLiteral("\n    <allow user=\"%1\"/>").arg(*clientUid)
                           : QString())
            .toUtf8();
    // The other user must reach the socket in the private folder.
    if (clientUid)
        QFile::setPermissions(dir_.path(), QFile::permissions(dir_.path()) | QFile::ExeOther);
    if (!dir_.isValid() || !QDir().mkpath(services) || !file.open(QIODevice::WriteOnly) ||
        file.write(text) != text.size()) {
        if (error) *error = QStringLiteral("cannot write the bus configuration ") + config;
        return false;
    }
    file.close();
    startGuarded(daemon_, QStringLiteral("dbus-daemon"),
                 {QStringLiteral("--config-file=") + config, QStringLiteral("--nofork"),
                  QStringLiteral("--print-address=1")});
    QByteArray out;
    waitUntil(
        [&] {
            daemon_.waitForReadyRead(10);
            out += daemon_.readAllStandardOutput();
            return out.contains('\n') || daemon_.state() == QProcess::NotRunning;
        },
        10000);
    address_ = QString::fromUtf8(out.left(out.indexOf('\n')).trimmed());
    if (address_.isEmpty() && error)
        *error = QStringLiteral("dbus-daemon gave no address: ") +
                 QString::fromUtf8(daemon_.readAllStandardError());
    return !address_.isEmpty();
}

QProcessEnvironment SessionBus::environment() const {
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("DBUS_SESSION_BUS_ADDRESS"), address_);
    return env;
}

DesktopDoubles::DesktopDoubles(const SessionBus& bus, const QString& logFile,
                               const QString& services)
    : bus_(bus), log_(logFile), services_(services) {}

DesktopDoubles::~DesktopDoubles() {
    serve_.kill();
    serve_.waitForFinished(3000);
}

bool DesktopDoubles::start(QString* error) {
    serve_.setProcessEnvironment(bus_.environment());
    serve_.setProcessChannelMode(QProcess::MergedChannels);
    startGuarded(serve_, kPython, {kDoubles, services_, log_});
    QByteArray out;
    const bool ready = waitUntil(
        [&] {
            serve_.waitForReadyRead(10);
            out += serve_.readAll();
            return out.contains("ready\n") || serve_.state() == QProcess::NotRunning;
        },
        15000);
    if ((!ready || !out.contains("ready\n")) && error)
        *error = QStringLiteral("the desktop doubles did not start: ") + QString::fromUtf8(out);
    return out.contains("ready\n");
}

RunResult DesktopDoubles::client(const QStringList& args) const {
    return run(kPython, QStringList{kDoubles} + args, bus_.environment(), 15000);
}

RunResult DesktopDoubles::activate() const {
    return client({QStringLiteral("activate")});
}
RunResult DesktopDoubles::menu() const {
    return client({QStringLiteral("menu")});
}
RunResult DesktopDoubles::icon() const {
    return client({QStringLiteral("icon")});
}
RunResult DesktopDoubles::invoke(const QString& key) const {
    return client({QStringLiteral("invoke"), key});
}
RunResult DesktopDoubles::click(const QString& label) const {
    return client({QStringLiteral("click"), label});
}

bool DesktopDoubles::waitForItem(int timeoutMs) const {
    return waitUntil(
        [&] {
            const RunResult r = client({QStringLiteral("items")});
            return r.ok() && !r.out.trimmed().isEmpty();
        },
        timeoutMs, 100);
}

QList<QJsonObject> DesktopDoubles::events(const QString& kind) const {
    QList<QJsonObject> found;
    QFile f(log_);
    if (!f.open(QIODevice::ReadOnly)) return found;
    while (!f.atEnd()) {
        const QJsonObject event = QJsonDocument::fromJson(f.readLine()).object();
        if (event.value(QStringLiteral("event")).toString() == kind) found << event;
    }
    return found;
}

} // namespace qb::e2e
