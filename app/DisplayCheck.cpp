#include "app/DisplayCheck.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>
#include <xcb/xcb.h>

namespace qb {

namespace {

std::string variable(const char* name) {
    const char* value = std::getenv(name);
    return value ? value : "";
}

std::string x11Problem(std::string display) {
    if (display.empty()) display = variable("DISPLAY");
    if (display.empty()) return "cannot open the display (DISPLAY is not set)";
    xcb_connection_t* c = xcb_connect(display.c_str(), nullptr);
    const bool failed = xcb_connection_has_error(c) != 0;
    xcb_disconnect(c);
    return failed ? "cannot open the display " + display : std::string();
}

std::string waylandProblem() {
    const std::string name = variable("WAYLAND_DISPLAY");
    // The client library's own default when the variable is not set.
    std::string path = name.empty() ? "wayland-0" : name;
    if (path[0] != '/') {
        const std::string runtime = variable("XDG_RUNTIME_DIR");
        if (runtime.empty()) return "cannot open the display (XDG_RUNTIME_DIR is not set)";
        path = runtime + '/' + path;
    }
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    if (path.size() >= sizeof address.sun_path) return {}; // the toolkit will say
    std::memcpy(address.sun_path, path.c_str(), path.size() + 1);
    const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0) return {};
    const bool reached =
        ::connect(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) == 0;
    const int error = errno;
    ::close(fd);
    if (reached) return {};
    if (name.empty()) return "cannot open the display (WAYLAND_DISPLAY is not set)";
    return "cannot open the display " + name + ": " + std::strerror(error);
}

} // namespace

std::string displayProblem(const std::string& platform, const std::string& display) {
    std::string chosen = platform.empty() ? variable("QT_QPA_PLATFORM") : platform;
    // The program's own choice when none is made (see main).
    if (chosen.empty()) chosen = "xcb";
    // A list ("wayland;xcb") falls back by itself: left to the toolkit.
    if (chosen.find(';') != std::string::npos) return {};
    chosen = chosen.substr(0, chosen.find(':'));
    if (chosen == "xcb") return x11Problem(display);
    if (chosen == "wayland" || chosen == "wayland-egl") return waylandProblem();
    return {}; // offscreen, vnc, ...: nothing to open
}

} // namespace qb
