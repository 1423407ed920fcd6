// A FUSE file system that shows a folder as it is and holds reads at a gate, so a
// test can stop a copy out of it at a point of its choosing, however fast the
// machine: usage `gate-fs FOLDER GATE MOUNTPOINT [fuse options]`.
//
// While the file GATE exists, reads wait. When GATE holds a number N, only reads
// of the files opened after the first N wait: a test can let some of a copy
// through, then hold the rest. Reads go on once GATE is removed.
#define FUSE_USE_VERSION 31
#define _GNU_SOURCE

#include <fuse.h>

#include <dirent.h>
#include <errno.h>
#include <fcntl.h>
#include <stdatomic.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <time.h>
#include <unistd.h>

static int root = -1; // the shown folder
static const char* gate;
static atomic_long opened;

// Paths come as "/a/b"; the shown folder is opened once, and all else is relative.
static const char* rel(const char* path) {
    while (*path == '/')
        ++path;
    return *path ? path : ".";
}

// -1 while the gate lets nothing through, N once it lets the first N files
// through, LONG_MAX once it is open.
static long gateLimit(void) {
    FILE* f = fopen(gate, "r");
    if (!f) return __LONG_MAX__;
    long n = -1;
    if (fscanf(f, "%ld", &n) != 1) n = -1;
    fclose(f);
    return n < 0 ? -1 : n;
}

static void waitAtGate(long ordinal) {
    const struct timespec step = {0, 10 * 1000 * 1000};
    while (ordinal >= gateLimit())
        nanosleep(&step, NULL);
}

static int gfsGetattr(const char* path, struct stat* st, struct fuse_file_info* fi) {
    (void)fi;
    return fstatat(root, rel(path), st, AT_SYMLINK_NOFOLLOW) == 0 ? 0 : -errno;
}

static int gfsReadlink(const char* path, char* buf, size_t size) {
    const ssize_t n = readlinkat(root, rel(path), buf, size - 1);
    if (n < 0) return -errno;
    buf[n] = '\0';
    return 0;
}

static int gfsReaddir(const char* path, void* buf, fuse_fill_dir_t fill, off_t off,
                      struct fuse_file_info* fi, enum fuse_readdir_flags flags) {
    (void)off, (void)fi, (void)flags;
    const int fd = openat(root, rel(path), O_RDONLY | O_DIRECTORY);
    if (fd < 0) return -errno;
    DIR* d = fdopendir(fd);
    if (!d) {
        close(fd);
        return -errno;
    }
    for (struct dirent* e; (e = readdir(d));) {
        struct stat st = {.st_ino = e->d_ino, .st_mode = (mode_t)(DTTOIF(e->d_type))};
        if (fill(buf, e->d_name, &st, 0, 0)) break;
    }
    closedir(d);
    return 0;
}

static int gfsOpen(const char* path, struct fuse_file_info* fi) {
    const int fd = openat(root, rel(path), fi->flags & ~O_CREAT);
    if (fd < 0) return -errno;
    // Every read goes through the gate, none is answered from the page cache.
    fi->direct_io = 1;
    // The file's place in the order of opening rides along with its descriptor.
    fi->fh = ((uint64_t)atomic_fetch_add(&opened, 1) << 32) | (uint32_t)fd;
    return 0;
}

static int gfsRead(const char* path, char* buf, size_t size, off_t at, struct fuse_file_info* fi) {
    (void)path;
    waitAtGate((long)(fi->fh >> 32));
    const ssize_t n = pread((int)(uint32_t)fi->fh, buf, size, at);
    return n < 0 ? -errno : (int)n;
}

static int gfsRelease(const char* path, struct fuse_file_info* fi) {
    (void)path;
    close((int)(uint32_t)fi->fh);
    return 0;
}

static int gfsUnlink(const char* path) {
    return unlinkat(root, rel(path), 0) == 0 ? 0 : -errno;
}

static int gfsRmdir(const char* path) {
    return unlinkat(root, rel(path), AT_REMOVEDIR) == 0 ? 0 : -errno;
}

static int gfsStatfs(const char* path, struct statvfs* st) {
    (void)path;
    return fstatvfs(root, st) == 0 ? 0 : -errno;
}

static void* gfsInit(struct fuse_conn_info* conn, struct fuse_config* cfg) {
    (void)conn;
    // A file removed while open goes at once, as on a local disk, rather than
    // being renamed aside (which this file system does not offer).
    cfg->hard_remove = 1;
    return NULL;
}

static const struct fuse_operations ops = {
    .init = gfsInit,
    .getattr = gfsGetattr,
    .readlink = gfsReadlink,
    .unlink = gfsUnlink,
    .rmdir = gfsRmdir,
    .open = gfsOpen,
    .read = gfsRead,
    .statfs = gfsStatfs,
    .release = gfsRelease,
    .readdir = gfsReaddir,
};

int main(int argc, char** argv) {
    if (argc < 4) {
        fprintf(stderr, "usage: %s FOLDER GATE MOUNTPOINT [fuse options]\n", argv[0]);
        return 2;
    }
    root = open(argv[1], O_RDONLY | O_DIRECTORY);
    if (root < 0) {
        perror(argv[1]);
        return 1;
    }
    // Absolute: the file system may change its working folder.
    if (argv[2][0] != '/') {
        fprintf(stderr, "%s: GATE must be an absolute path\n", argv[0]);
        return 2;
    }
    gate = argv[2];
    // fuse_main takes the program name, the mount point and the options.
    argv[2] = argv[0];
    return fuse_main(argc - 2, argv + 2, &ops, NULL);
}
