#include "app/SendCommand.h"

#include "app/DisplayCheck.h"
#include "app/Startup.h"
#include "board/Accounts.h"
#include "board/Choices.h"
#include "board/FolderName.h"
#include "platform/InstanceGuard.h"
#include "platform/ProgramFolder.h"
#include "send/SendClient.h"
#include "send/SendServer.h"
#include "store/Settings.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QFile>
#include <QThread>

#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <spawn.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#include <variant>

extern char** environ;

namespace qb {

namespace {

// How long a started program may take to open its socket (it shows its window first).
constexpr int kStartTimeoutMs = 60000;

bool put(FILE* stream, const QByteArray& line) {
    const QByteArray bytes = line + '\n';
    return std::fwrite(bytes.constData(), 1, static_cast<size_t>(bytes.size()), stream) ==
               static_cast<size_t>(bytes.size()) &&
           std::fflush(stream) == 0;
}

void say(FILE* stream, const QString& text) {
    put(stream, text.toLocal8Bit());
}

// Why `file` cannot be sent, or "" when it can: it must be there and readable (a
// link is taken as it is, so only it must be there).
QByteArray unsendable(const std::string& file) {
    struct stat info {};
    if (::lstat(file.c_str(), &info) != 0) return std::strerror(errno);
    if (S_ISLNK(info.st_mode)) return {};
    const int wanted = S_ISDIR(info.st_mode) ? R_OK | X_OK : R_OK;
    if (::access(file.c_str(), wanted) != 0) return std::strerror(errno);
    return {};
}

// `file` as an absolute path, bytes exact: only the working folder is put before it.
QByteArray absolute(const std::string& file) {
    if (!file.empty() && file[0] == '/') return QByteArray::fromStdString(file);
    char cwd[PATH_MAX];
    if (!::getcwd(cwd, sizeof cwd)) return {};
    QByteArray path(cwd);
    if (!path.endsWith('/')) path += '/';
    return path + QByteArray::fromStdString(file);
}

// Whether a live program holds the single-instance lock at `lockPath`.
bool programRuns(const QByteArray& lockPath) {
    const int fd = ::open(lockPath.constData(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) return false;
    int rc;
    do {
        rc = ::flock(fd, LOCK_SH | LOCK_NB);
    } while (rc != 0 && errno == EINTR);
    const bool held = rc != 0 && errno == EWOULDBLOCK;
    ::close(fd);
    return held;
}

QByteArray ownExecutable() {
    char path[PATH_MAX];
    const ssize_t n = ::readlink("/proc/self/exe", path, sizeof path - 1);
    return n > 0 ? QByteArray(path, n) : QByteArray();
}

// Starts the program in a session of its own, apart from this command's streams (a
// script reading them would otherwise wait for the program's end). Returns its pid,
// or -1 and the errno in `error`.
pid_t startProgram(int* error) {
    const QByteArray program = ownExecutable();
    if (program.isEmpty()) {
        *error = errno;
        return -1;
    }
    posix_spawn_file_actions_t files;
    posix_spawnattr_t attr;
    posix_spawn_file_actions_init(&files);
    posix_spawnattr_init(&attr);
    for (int fd = 0; fd < 3; ++fd)
        posix_spawn_file_actions_addopen(&files, fd, "/dev/null", fd == 0 ? O_RDONLY : O_WRONLY, 0);
    posix_spawnattr_setflags(&attr, POSIX_SPAWN_SETSID);
    char* argv[] = {const_cast<char*>(program.constData()), nullptr};
    pid_t pid = -1;
    const int rc = ::posix_spawn(&pid, program.constData(), &files, &attr, argv, environ);
    posix_spawn_file_actions_destroy(&files);
    posix_spawnattr_destroy(&attr);
    *error = rc;
    return rc == 0 ? pid : -1;
}

// Returns 0 once connected, else the exit code, and `why` says what went wrong.
int connectToProgram(SendClient& client, const QByteArray& lockPath, const QByteArray& socket,
                     QString* why) {
    if (client.connectTo(socket)) return 0;
    const QByteArray startLock = socket + ".start";
    const int turn = ::open(startLock.constData(), O_RDWR | O_CREAT | O_NOFOLLOW | O_CLOEXEC, 0600);
    if (turn >= 0)
        while (::flock(turn, LOCK_EX) != 0 && errno == EINTR) {
        }
    pid_t started = -1;
    QDeadlineTimer deadline(kStartTimeoutMs);
    int code = 0;
    while (!client.connectTo(socket)) {
        if (started < 0 && !programRuns(lockPath)) {
            // A program that cannot open its window would only end at once.
            const std::string problem = displayProblem();
            if (!problem.empty()) {
                *why = QString::fromStdString(problem);
                code = 1;
                break;
            }
            int error = 0;
            started = startProgram(&error);
            if (started < 0) {
                *why = QStringLiteral("cannot start the program: ") +
                       QString::fromLocal8Bit(std::strerror(error));
                code = 3;
                break;
            }
        }
        if (started > 0) {
            int status = 0;
            if (::waitpid(started, &status, WNOHANG) == started) {
                *why = QStringLiteral("the program ended before it took requests");
                code = 3;
                break;
            }
        }
        if (deadline.hasExpired()) {
            *why = QStringLiteral("the program did not answer");
            code = 3;
            break;
        }
        QThread::msleep(50);
    }
    if (turn >= 0) ::close(turn);
    return code;
}

} // namespace

QByteArray escapedField(const QByteArray& text) {
    QByteArray out;
    out.reserve(text.size());
    for (const char c : text) {
        const auto byte = static_cast<unsigned char>(c);
        if (c == '\\')
            out += "\\\\";
        else if (c == '\t')
            out += "\\t";
        else if (c == '\n')
            out += "\\n";
        else if (c == '\r')
            out += "\\r";
        else if (byte < 0x20 || byte == 0x7f)
            out += "\\x" + QByteArray::number(byte, 16).rightJustified(2, '0');
        else
            out += c;
    }
    return out;
}

namespace {

// The request the command line asks for; 0 when it can be sent, else the exit code
// (a file missing or unreadable refuses the whole send: it is never half run).
int requestOf(const CommandLine& line, SendRequest& request) {
    if (line.action == CommandLine::Action::Show) {
        request.command = SendCommand::Show;
        return 0;
    }
    bool sendable = true;
    for (const std::string& f : line.files) {
        const QByteArray why = unsendable(f);
        if (why.isEmpty()) continue;
        put(stderr, "quillbeck: " + QByteArray::fromStdString(f) + ": " + why);
        sendable = false;
    }
    if (!sendable) {
        say(stderr, QStringLiteral("quillbeck: nothing was sent"));
        return static_cast<int>(SendResult::Refused);
    }
    request.mode = line.mode == 'c'   ? SendMode::Copy
                   : line.mode == 'm' ? SendMode::Move
                                      : SendMode::Board;
    request.group = line.group;
    request.row = line.row;
    request.name = QString::fromLocal8Bit(line.name);
    request.wait = line.wait;
    for (const std::string& f : line.files) {
        const QByteArray path = absolute(f);
        if (path.isEmpty()) {
            put(stderr,
                QByteArray("quillbeck: cannot tell the working folder: ") + std::strerror(errno));
            return 3;
        }
        request.files << path;
    }
    if (encodeRequest(request).size() > kSendMaxMessage + 4) {
        say(stderr, QStringLiteral("quillbeck: too many files for one request"));
        return 3;
    }
    return 0;
}

// The program's last word on `request`, or the exit code that ends the command.
// Show answers at once; a send answers once the job is taken, and with --wait
// once more at its end, however long that is.
std::variant<SendReply, int> exchange(const SendRequest& request) {
    const QString lockPath = instanceLockPath(instanceName());
    const QString socket = sendSocketPath(lockPath);
    if (socket.isEmpty()) {
        say(stderr, QStringLiteral("quillbeck: no private runtime folder for the socket"));
        return 3;
    }
    SendClient client;
    QString why;
    int code =
        connectToProgram(client, QFile::encodeName(lockPath), QFile::encodeName(socket), &why);
    if (code == 0 && !client.sendRequest(request)) code = 3;
    if (code != 0) {
        say(stderr, QStringLiteral("quillbeck: ") +
                        (why.isEmpty() ? QStringLiteral("the program did not answer") : why));
        return code;
    }
    const std::optional<SendReply> first = client.readReply(30000);
    if (!first) {
        say(stderr, QStringLiteral("quillbeck: the program did not answer"));
        return 3;
    }
    if (first->kind != SendReply::Kind::Accepted) return *first;
    if (!request.wait) return 0;
    const std::optional<SendReply> last = client.readReply(-1);
    if (!last || last->kind != SendReply::Kind::Finished) {
        say(stderr, QStringLiteral("quillbeck: the program ended before the job"));
        return 1;
    }
    return *last;
}

// One line per item, for scripts; the board's words only when asked for.
int reportOutcome(const SendReply& last, bool verbose) {
    bool written = true;
    for (const SentItem& item : last.items) {
        QByteArray text = item.outcome + '\t' + escapedField(item.path);
        if (item.outcome == "failed") text += '\t' + escapedField(item.reason.toLocal8Bit());
        written = put(stdout, text) && written;
    }
    if (verbose)
        say(stderr, QStringLiteral("quillbeck: ") + QString::fromLatin1(resultName(last.result)) +
                        (last.message.isEmpty() ? QString() : QStringLiteral(": ") + last.message));
    if (!written) {
        put(stderr, QByteArray("quillbeck: cannot write the outcome: ") + std::strerror(errno));
        return static_cast<int>(SendResult::Failed);
    }
    return static_cast<int>(last.result);
}

} // namespace

int runSendCommand(const CommandLine& line) {
    SendRequest request;
    if (const int refused = requestOf(line, request)) return refused;
    const std::variant<SendReply, int> answer = exchange(request);
    if (const int* code = std::get_if<int>(&answer)) return *code;
    const SendReply& last = std::get<SendReply>(answer);
    if (last.result == SendResult::Refused) {
        say(stderr, QStringLiteral("quillbeck: refused: ") + last.message);
        return static_cast<int>(SendResult::Refused);
    }
    if (request.command == SendCommand::Show) return last.result == SendResult::Done ? 0 : 3;
    return reportOutcome(last, line.verbose);
}

QList<ConfiguredSlot> configuredSlots(const QString& settingsFile) {
    QList<ConfiguredSlot> found;
    for (int g = 1; g <= kGroups; ++g) {
        for (int r = 1; r <= kRows; ++r) {
            // No line of a settings file holds a line break: a missing key reads as one.
            const QString path =
                ReadSetting(settingsFile, foldersSection(), slotKey(g, r), QStringLiteral("\n"));
            // The root stands for a slot never set (each load stores it).
            if (path.isEmpty() || path == QStringLiteral("\n") || path == defaultSlotPath())
                continue;
            found << ConfiguredSlot{g, r, folderName(path), path};
        }
    }
    return found;
}

namespace {

// A name or path as a field of the list: a tab or line break in it would split
// fields or lines, and other control characters would reach the terminal.
} // namespace

QByteArray slotsListing(const QList<ConfiguredSlot>& listed) {
    QByteArray out;
    for (const ConfiguredSlot& s : listed)
        out += QByteArray::number(s.group) + '\t' + QByteArray::number(s.row) + '\t' +
               escapedField(QFile::encodeName(s.name)) + '\t' +
               escapedField(QFile::encodeName(s.path)) + '\n';
    return out;
}

int printSlots() {
    // Read only: no settings file and no folder is made for a question.
    const AccountState state =
        currentAccountIn(chooseProgramFolder(QCoreApplication::applicationDirPath(), false));
    const QByteArray out = slotsListing(configuredSlots(state.currentSettingsFile));
    if (std::fwrite(out.constData(), 1, static_cast<size_t>(out.size()), stdout) ==
            static_cast<size_t>(out.size()) &&
        std::fflush(stdout) == 0)
        return 0;
    put(stderr, QByteArray("quillbeck: cannot write the slots: ") + std::strerror(errno));
    return 1;
}

} // namespace qb
