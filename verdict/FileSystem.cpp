// Probing a folder's file system: the mount table, statvfs, the disk's UUID.
#include "verdict/FileSystem.h"

#include <dirent.h>
#include <fcntl.h>
#include <linux/fs.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include <cctype>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <memory>
#include <sstream>
#include <vector>

namespace qb::verdict {
namespace {

std::string& diskByUuid() {
    static std::string dir = "/dev/disk/by-uuid";
    return dir;
}

// The mount table escapes blanks, tabs, newlines and backslashes as octal.
std::string unescape(const std::string& s) {
    std::string out;
    for (std::size_t i = 0; i < s.size(); ++i) {
        if (s[i] == '\\' && i + 3 < s.size() &&
            std::isdigit(static_cast<unsigned char>(s[i + 1]))) {
            out += static_cast<char>(std::stoi(s.substr(i + 1, 3), nullptr, 8));
            i += 3;
        } else {
            out += s[i];
        }
    }
    return out;
}

struct Mount {
    std::string point, type, source, options;
};

bool under(const std::string& path, const std::string& point) {
    if (point == "/") return true;
    return path.compare(0, point.size(), point) == 0 &&
           (path.size() == point.size() || path[point.size()] == '/');
}

// The mount that holds `real` on device `dev`: of bind mounts of one device, the
// deepest whose point contains the path.
Mount mountOf(const std::string& real, dev_t dev) {
    std::ifstream in("/proc/self/mountinfo");
    std::string line;
    Mount best;
    while (std::getline(in, line)) {
        std::istringstream f(line);
        std::string id, parent, majmin, root, point, options, field;
        f >> id >> parent >> majmin >> root >> point >> options;
        while (f >> field && field != "-") {
        }
        Mount m;
        f >> m.type >> m.source >> field;
        m.point = unescape(point);
        m.source = unescape(m.source);
        m.options = options + "," + field;
        const std::size_t colon = majmin.find(':');
        if (colon == std::string::npos) continue;
        const dev_t d =
            makedev(std::stoul(majmin.substr(0, colon)), std::stoul(majmin.substr(colon + 1)));
        if (d != dev || !under(real, m.point)) continue;
        if (m.point.size() >= best.point.size()) best = m;
    }
    return best;
}

bool hasOption(const std::string& options, const std::string& name) {
    std::istringstream s(options);
    std::string o;
    while (std::getline(s, o, ','))
        if (o == name) return true;
    return false;
}

// A FUSE mount of a block device names no kind; its boot sector does, where it can be read.
std::string sniffKind(const std::string& source) {
    const int fd = ::open(source.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0) return {};
    char sector[512] = {};
    const ssize_t n = ::pread(fd, sector, sizeof sector, 0);
    ::close(fd);
    if (n != static_cast<ssize_t>(sizeof sector)) return {};
    if (std::memcmp(sector + 3, "EXFAT   ", 8) == 0) return "exfat";
    if (std::memcmp(sector + 3, "NTFS    ", 8) == 0) return "ntfs";
    if (std::memcmp(sector + 0x52, "FAT32   ", 8) == 0 || std::memcmp(sector + 0x36, "FAT", 3) == 0)
        return "vfat";
    return {};
}

std::string kindOf(const Mount& m) {
    std::string t = m.type;
    if (t.rfind("fuse.", 0) == 0) t = t.substr(5);
    if (t == "fuseblk" || t == "fuse") {
        const std::string sniffed = sniffKind(m.source);
        if (!sniffed.empty()) return sniffed;
    }
    if (t == "fusefat" || t == "msdos" || t == "fat" || t == "umsdos") return "vfat";
    if (t == "exfat-fuse") return "exfat";
    return t;
}

// The UUID link whose device is `device`.
std::string uuidOf(dev_t device) {
    std::unique_ptr<DIR, int (*)(DIR*)> dir(::opendir(diskByUuid().c_str()), ::closedir);
    if (!dir) return {};
    while (const dirent* e = ::readdir(dir.get())) {
        if (e->d_name[0] == '.') continue;
        struct stat st {};
        const std::string link = diskByUuid() + "/" + e->d_name;
        if (::stat(link.c_str(), &st) == 0 && S_ISBLK(st.st_mode) && st.st_rdev == device)
            return e->d_name;
    }
    return {};
}

bool casefoldFolder(const std::string& folder) {
    const int fd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0) return false;
    int flags = 0;
    const bool got = ::ioctl(fd, FS_IOC_GETFLAGS, &flags) == 0;
    ::close(fd);
    constexpr int kCasefold = 0x40000000; // FS_CASEFOLD_FL, missing from older headers
    return got && (flags & kCasefold) != 0;
}

// The disk's device in sysfs: under a USB or MMC host, or flagged removable itself
// (a partition's flag is its disk's, one folder up).
bool removableDisk(dev_t disk) {
    if (major(disk) == 0) return false;
    const std::string dev =
        "/sys/dev/block/" + std::to_string(major(disk)) + ":" + std::to_string(minor(disk));
    std::unique_ptr<char, void (*)(void*)> real(::realpath(dev.c_str(), nullptr), std::free);
    if (!real) return false;
    const std::string path = real.get();
    if (path.find("/usb") != std::string::npos || path.find("/mmc") != std::string::npos)
        return true;
    for (const char* rel : {"/removable", "/../removable"}) {
        std::ifstream in(path + rel);
        char c = 0;
        if (in.get(c)) return c == '1';
    }
    return false;
}

} // namespace

void setDiskByUuidDir(const std::string& dir) {
    diskByUuid() = dir;
}

FileSystem probe(const std::string& folder) {
    FileSystem fs;
    struct stat st {};
    if (::stat(folder.c_str(), &st) != 0 || !S_ISDIR(st.st_mode)) return fs;
    fs.folder = true;
    fs.dev = st.st_dev;
    std::unique_ptr<char, void (*)(void*)> real(::realpath(folder.c_str(), nullptr), std::free);
    const Mount m = mountOf(real ? real.get() : folder, st.st_dev);
    fs.mountPoint = m.point;
    fs.type = kindOf(m);

    // A disk mounted through FUSE has an anonymous device number; its source names the disk.
    dev_t disk = st.st_dev;
    struct stat src {};
    if (::stat(m.source.c_str(), &src) == 0 && S_ISBLK(src.st_mode)) disk = src.st_rdev;
    const std::string uuid = major(disk) != 0 ? uuidOf(disk) : std::string();
    fs.identity = !uuid.empty() ? "uuid:" + uuid : "mount:" + m.point;

    struct statvfs vfs {};
    if (::statvfs(folder.c_str(), &vfs) == 0) {
        fs.freeBytes = static_cast<std::uint64_t>(vfs.f_bavail) * vfs.f_frsize;
        fs.readOnly = (vfs.f_flag & ST_RDONLY) != 0;
        if (vfs.f_namemax > 0) fs.nameMax = vfs.f_namemax;
    }
    // The file system, not the folder's permissions: a folder the user may not write to
    // fails item by item with the system's own word for it, as it always has.
    fs.readOnly = fs.readOnly || hasOption(m.options, "ro");

    if (fs.type == "vfat") {
        fs.maxFileSize = (std::uint64_t{1} << 32) - 1;
        fs.fatNames = fs.caseInsensitive = true;
    } else if (fs.type == "exfat") {
        fs.fatNames = fs.caseInsensitive = true;
    }
    fs.caseInsensitive = fs.caseInsensitive || casefoldFolder(folder);
    const bool fuse = m.type.rfind("fuse", 0) == 0;
    fs.removable = removableDisk(disk) ||
                   (fuse && (fs.type == "vfat" || fs.type == "exfat" || fs.type == "ntfs"));
    return fs;
}

} // namespace qb::verdict
