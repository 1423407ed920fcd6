// Start-up and exit time of Quillbeck beside a minimal Qt widgets program (blank,
// and with one label), all on one private Xvfb + openbox desktop, runs
// alternating between them.
//
//   quillbeck-bench-startup [--runs N] [--quillbeck PATH] [--minimal PATH]
//   (15 runs by default; the two programs of this build unless given)
//
// Start-up: from just before fork/exec until the window is mapped, viewable and
// painted (its centre pixel is no longer the unpainted black of the root).
// Exit: from the close request (WM_DELETE_WINDOW, as a window manager's close
// box sends it) until the process has been reaped. Peak RSS: ru_maxrss of the
// reaped process. Quillbeck starts with an existing sys.ini (a warm-up run
// writes it), as every start but the first does. Build in Release for figures
// a user would see.
#include "BenchDesktop.h"

#include <QCoreApplication>

#include <xcb/xcb.h>

#include <algorithm>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <optional>
#include <string>
#include <sys/prctl.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
#include <vector>

using qb::bench::Desktop;
using qb::bench::Failure;
using qb::bench::Sandbox;
using Clock = std::chrono::steady_clock;

namespace {

double msSince(Clock::time_point t0) {
    return std::chrono::duration<double, std::milli>(Clock::now() - t0).count();
}

// A plain xcb connection: polling through X tools would cost more than the
// start-up being measured.
class X {
public:
    explicit X(const QString& display) {
        c_ = xcb_connect(display.toLatin1().constData(), nullptr);
        if (xcb_connection_has_error(c_)) return;
        root_ = xcb_setup_roots_iterator(xcb_get_setup(c_)).data->root;
        clientList_ = atom("_NET_CLIENT_LIST");
        wmPid_ = atom("_NET_WM_PID");
        protocols_ = atom("WM_PROTOCOLS");
        deleteWindow_ = atom("WM_DELETE_WINDOW");
    }
    ~X() { xcb_disconnect(c_); }
    bool ok() const { return !xcb_connection_has_error(c_) && root_ != 0; }

    // The viewable managed window of process `pid`, if any.
    std::optional<xcb_window_t> windowOf(uint32_t pid) {
        for (xcb_window_t w : property<xcb_window_t>(root_, clientList_, XCB_ATOM_WINDOW)) {
            const auto p = property<uint32_t>(w, wmPid_, XCB_ATOM_CARDINAL);
            if (p.size() == 1 && p[0] == pid && viewable(w)) return w;
        }
        return std::nullopt;
    }

    bool viewable(xcb_window_t w) {
        auto* r = xcb_get_window_attributes_reply(c_, xcb_get_window_attributes(c_, w), nullptr);
        const bool v = r && r->map_state == XCB_MAP_STATE_VIEWABLE;
        std::free(r);
        return v;
    }

    // The pixel at the window's centre, or nullopt when it cannot be read.
    std::optional<uint32_t> centrePixel(xcb_window_t w) {
        auto* g = xcb_get_geometry_reply(c_, xcb_get_geometry(c_, w), nullptr);
        if (!g) return std::nullopt;
        const int16_t x = int16_t(g->width / 2), y = int16_t(g->height / 2);
        std::free(g);
        auto* img = xcb_get_image_reply(
            c_, xcb_get_image(c_, XCB_IMAGE_FORMAT_Z_PIXMAP, w, x, y, 1, 1, ~0u), nullptr);
        if (!img) return std::nullopt;
        std::optional<uint32_t> px;
        if (xcb_get_image_data_length(img) >= 4) {
            const uint8_t* d = xcb_get_image_data(img);
            px = uint32_t(d[0]) | uint32_t(d[1]) << 8 | uint32_t(d[2]) << 16;
        }
        std::free(img);
        return px;
    }

    void requestClose(xcb_window_t w) {
        xcb_client_message_event_t ev{};
        ev.response_type = XCB_CLIENT_MESSAGE;
        ev.format = 32;
        ev.window = w;
        ev.type = protocols_;
        ev.data.data32[0] = deleteWindow_;
        ev.data.data32[1] = XCB_CURRENT_TIME;
        xcb_send_event(c_, 0, w, XCB_EVENT_MASK_NO_EVENT, reinterpret_cast<const char*>(&ev));
        xcb_flush(c_);
    }

private:
    xcb_atom_t atom(const char* name) {
        auto* r = xcb_intern_atom_reply(
            c_, xcb_intern_atom(c_, 0, uint16_t(std::char_traits<char>::length(name)), name),
            nullptr);
        const xcb_atom_t a = r ? r->atom : xcb_atom_t(XCB_ATOM_NONE);
        std::free(r);
        return a;
    }
    template <typename T> std::vector<T> property(xcb_window_t w, xcb_atom_t p, xcb_atom_t type) {
        auto* r = xcb_get_property_reply(c_, xcb_get_property(c_, 0, w, p, type, 0, 4096), nullptr);
        std::vector<T> v;
        if (r && r->format == 32) {
            const T* d = static_cast<const T*>(xcb_get_property_value(r));
            v.assign(d, d + xcb_get_property_value_length(r) / 4);
        }
        std::free(r);
        return v;
    }

    xcb_connection_t* c_ = nullptr;
    xcb_window_t root_ = 0;
    xcb_atom_t clientList_ = 0, wmPid_ = 0, protocols_ = 0, deleteWindow_ = 0;
};

struct Sample {
    double mappedMs = 0; // exec to window viewable
    double shownMs = 0;  // exec to painted window
    double exitMs = 0;   // close request to reaped
    double peakRssMiB = 0;
};

pid_t spawn(const QString& program, const QStringList& args, const QProcessEnvironment& env) {
    std::vector<std::string> envStrings;
    for (const QString& e : env.toStringList())
        envStrings.push_back(e.toStdString());
    std::vector<char*> envp;
    for (auto& s : envStrings)
        envp.push_back(s.data());
    envp.push_back(nullptr);
    std::string path = program.toStdString();
    std::vector<std::string> argStrings{path};
    for (const QString& a : args)
        argStrings.push_back(a.toStdString());
    std::vector<char*> argv;
    for (auto& a : argStrings)
        argv.push_back(a.data());
    argv.push_back(nullptr);
    const pid_t parent = getpid();
    const pid_t pid = fork();
    if (pid == 0) {
        prctl(PR_SET_PDEATHSIG, SIGTERM);
        if (getppid() != parent) _exit(127);
        const int null = open("/dev/null", O_WRONLY);
        dup2(null, 1);
        dup2(null, 2);
        execve(path.c_str(), argv.data(), envp.data());
        _exit(127);
    }
    if (pid < 0) throw Failure{QStringLiteral("fork failed")};
    return pid;
}

Sample measure(X& x, const QString& program, const QStringList& args,
               const QProcessEnvironment& env) {
    const auto t0 = Clock::now();
    const pid_t pid = spawn(program, args, env);
    struct Reaper { // never leave a child behind, whatever happens below
        pid_t pid;
        bool reaped = false;
        ~Reaper() {
            if (reaped) return;
            kill(pid, SIGKILL);
            waitpid(pid, nullptr, 0);
        }
    } reaper{pid};

    Sample s;
    std::optional<xcb_window_t> w;
    while (!(w = x.windowOf(uint32_t(pid)))) {
        if (msSince(t0) > 20000) throw Failure{program + QStringLiteral(" showed no window")};
        if (waitpid(pid, nullptr, WNOHANG) == pid) {
            reaper.reaped = true;
            throw Failure{program + QStringLiteral(" ended before showing its window")};
        }
        std::this_thread::sleep_for(std::chrono::microseconds(500));
    }
    s.mappedMs = msSince(t0);
    for (;;) {
        const auto px = x.centrePixel(*w);
        if (px && *px != 0) break;
        if (msSince(t0) > 20000) throw Failure{program + QStringLiteral(" never painted")};
        std::this_thread::sleep_for(std::chrono::microseconds(500));
    }
    s.shownMs = msSince(t0);

    std::this_thread::sleep_for(std::chrono::milliseconds(300)); // let it settle
    const auto t1 = Clock::now();
    x.requestClose(*w);
    int status = 0;
    rusage ru{};
    for (;;) {
        const pid_t r = wait4(pid, &status, WNOHANG, &ru);
        if (r == pid) break;
        if (msSince(t1) > 10000)
            throw Failure{program + QStringLiteral(" did not end on a close request")};
        std::this_thread::sleep_for(std::chrono::microseconds(200));
    }
    reaper.reaped = true;
    s.exitMs = msSince(t1);
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0)
        throw Failure{program + QStringLiteral(" ended abnormally (status %1)").arg(status)};
    s.peakRssMiB = double(ru.ru_maxrss) / 1024.0;
    return s;
}

double median(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    const size_t n = v.size();
    return n % 2 ? v[n / 2] : (v[n / 2 - 1] + v[n / 2]) / 2;
}

int run(const QStringList& args) {
    int runs = 15;
    QString quillbeck = QStringLiteral(QB_BINARY), floorProgram = QStringLiteral(QB_MINIMAL);
    for (int i = 1; i < args.size(); ++i) {
        if (args[i] == QStringLiteral("--runs") && i + 1 < args.size())
            runs = args[++i].toInt();
        else if (args[i] == QStringLiteral("--quillbeck") && i + 1 < args.size())
            quillbeck = args[++i];
        else if (args[i] == QStringLiteral("--minimal") && i + 1 < args.size())
            floorProgram = args[++i];
        else
            throw Failure{QStringLiteral(
                "usage: quillbeck-bench-startup [--runs N] [--quillbeck PATH] [--minimal PATH]")};
    }
    if (runs < 1) throw Failure{QStringLiteral("--runs needs a positive number")};

    Desktop desk;
    X x(desk.display());
    if (!x.ok()) throw Failure{QStringLiteral("cannot connect to ") + desk.display()};

    Sandbox quill(quillbeck), minimal(floorProgram);
    auto envOf = [&](const Sandbox& box) {
        QProcessEnvironment env = box.environment(desk);
        env.insert(QStringLiteral("QT_ENABLE_HIGHDPI_SCALING"), QStringLiteral("0"));
        return env;
    };
    // The pointer rests away from where the windows appear.
    desk.mouseMove(1200, 700);

    // Three programs, alternating: Quillbeck, the blank minimal window, and the
    // same window with one line of Chinese text (the floor once fonts are used).
    struct Subject {
        const char* name;
        const Sandbox* box;
        QStringList args;
        std::vector<Sample> samples;
    };
    Subject subjects[] = {{"quillbeck", &quill, {}, {}},
                          {"minimal Qt widgets", &minimal, {}, {}},
                          {"minimal + one label", &minimal, {QStringLiteral("--label")}, {}}};
    // Warm-up: page cache, font cache, and Quillbeck's settings files.
    for (Subject& s : subjects)
        measure(x, s.box->programPath(), s.args, envOf(*s.box));
    for (int i = 0; i < runs; ++i)
        for (Subject& s : subjects)
            s.samples.push_back(measure(x, s.box->programPath(), s.args, envOf(*s.box)));

    auto med = [](const Subject& s, double Sample::*f) {
        std::vector<double> d;
        for (const Sample& v : s.samples)
            d.push_back(v.*f);
        return median(d);
    };
    auto range = [](const Subject& s, double Sample::*f) {
        double lo = s.samples[0].*f, hi = lo;
        for (const Sample& v : s.samples)
            lo = std::min(lo, v.*f), hi = std::max(hi, v.*f);
        return std::pair(lo, hi);
    };

    std::printf("quillbeck: %s\nminimal:   %s\n%d runs each, alternating, Xvfb 1280x800 + "
                "openbox\n\n",
                qPrintable(quillbeck), qPrintable(floorProgram), runs);
    std::printf("%-20s %11s %12s %14s %10s %14s %15s\n", "program", "mapped (ms)", "shown (ms)",
                "shown min-max", "exit (ms)", "exit min-max", "peak RSS (MiB)");
    for (const Subject& s : subjects) {
        const auto [slo, shi] = range(s, &Sample::shownMs);
        const auto [elo, ehi] = range(s, &Sample::exitMs);
        std::printf("%-20s %11.1f %12.1f %6.1f-%-7.1f %10.1f %6.1f-%-7.1f %15.1f\n", s.name,
                    med(s, &Sample::mappedMs), med(s, &Sample::shownMs), slo, shi,
                    med(s, &Sample::exitMs), elo, ehi, med(s, &Sample::peakRssMiB));
    }
    const Subject &q = subjects[0], &m = subjects[1], &l = subjects[2];
    const double ratio = med(q, &Sample::shownMs) / med(m, &Sample::shownMs);
    std::printf("\nstart-up ratio to the minimal program (medians): %.2fx (goal <= 1.3x: %s)\n",
                ratio, ratio <= 1.3 ? "met" : "NOT met");
    std::printf("start-up ratio to minimal + one label:          %.2fx\n",
                med(q, &Sample::shownMs) / med(l, &Sample::shownMs));
    std::printf("exit ratio to the minimal program:              %.2fx\n",
                med(q, &Sample::exitMs) / med(m, &Sample::exitMs));
    std::printf("peak RSS ratio to the minimal program:          %.2fx\n",
                med(q, &Sample::peakRssMiB) / med(m, &Sample::peakRssMiB));
    return ratio <= 1.3 ? 0 : 3;
}

} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    try {
        return run(app.arguments());
    } catch (const Failure& f) {
        std::fprintf(stderr, "quillbeck-bench-startup: %s\n", qPrintable(f.why));
        return 2;
    }
}
