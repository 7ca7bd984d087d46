/* An LD_PRELOAD shim that makes one system call fail, for the fault test.
 *
 *   TESSALY_FAULT=CALL:N:ERRNO   the Nth call (from 1) of CALL fails with ERRNO
 *   TESSALY_FAULT_ROOT=FOLDER    only calls on paths under FOLDER, or on
 *                                descriptors opened there, are counted
 *   TESSALY_FAULT_FIRED=FILE     CALL is written to FILE when the fault fires
 *
 * CALL is one of: stat (stat, lstat, fstatat), fstat, open, read (read,
 * pread), copy (copy_file_range), write (write, pwrite), sync (fsync,
 * fdatasync), rename, link, unlink, truncate (ftruncate), close. A failed
 * close still closes, as the kernel's does. */
#define _GNU_SOURCE
#include <dlfcn.h>
#include <errno.h>
#include <fcntl.h>
#include <stdarg.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/stat.h>
#include <sys/types.h>
#include <unistd.h>

static char call[32];
static long nth, count;
static int error_number;
static const char* root;
static size_t root_length;
static unsigned char tracked[1 << 16];

__attribute__((constructor)) static void init(void) {
    const char* fault = getenv("TESSALY_FAULT");
    root = getenv("TESSALY_FAULT_ROOT");
    root_length = root ? strlen(root) : 0;
    if (fault) sscanf(fault, "%31[^:]:%ld:%d", call, &nth, &error_number);
}

/* The next definition of `name`: the C library's. POSIX lets dlsym's object
 * pointer be taken as a function pointer; the union says so to ISO C. */
#define REAL(name) (((union { void* object; __typeof__(&name) function; }){dlsym(RTLD_NEXT, #name)}).function)

static int under(const char* path) { return path && root && strncmp(path, root, root_length) == 0; }
static int is_tracked(int fd) { return fd >= 0 && fd < (int)sizeof tracked && tracked[fd]; }
static void track(int fd, const char* path) {
    if (fd >= 0 && fd < (int)sizeof tracked) tracked[fd] = (unsigned char)under(path);
}

/* True when this call is the one to fail; errno is then set. */
static int fails(const char* name, int counted) {
    if (!counted || strcmp(name, call) != 0 || ++count != nth) return 0;
    const char* fired = getenv("TESSALY_FAULT_FIRED");
    if (fired) {
        int saved = errno;
        int fd = REAL(open)(fired, O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
        if (fd >= 0) {
            (void)!REAL(write)(fd, name, strlen(name));
            REAL(close)(fd);
        }
        errno = saved;
    }
    errno = error_number;
    return 1;
}

static mode_t mode_of(int flags, va_list args) {
    return (flags & O_CREAT) || (flags & O_TMPFILE) == O_TMPFILE ? (mode_t)va_arg(args, int) : 0;
}

/* The body of an open wrapper: takes the mode argument, present only when the
 * flags create a file, then opens unless this is the call to fail. */
#define OPEN_LIKE(name, ...)                                                                                   \
    va_list args;                                                                                              \
    va_start(args, flags);                                                                                     \
    mode_t mode = mode_of(flags, args);                                                                        \
    va_end(args);                                                                                              \
    if (fails("open", under(path))) return -1;                                                                 \
    int fd = REAL(name)(__VA_ARGS__, mode);                                                                    \
    track(fd, path);                                                                                           \
    return fd;

int open(const char* path, int flags, ...) { OPEN_LIKE(open, path, flags) }
int open64(const char* path, int flags, ...) { OPEN_LIKE(open64, path, flags) }
int openat(int dir, const char* path, int flags, ...) { OPEN_LIKE(openat, dir, path, flags) }
int openat64(int dir, const char* path, int flags, ...) { OPEN_LIKE(openat64, dir, path, flags) }

int stat(const char* path, struct stat* st) { return fails("stat", under(path)) ? -1 : REAL(stat)(path, st); }
int lstat(const char* path, struct stat* st) { return fails("stat", under(path)) ? -1 : REAL(lstat)(path, st); }
int stat64(const char* path, struct stat64* st) { return fails("stat", under(path)) ? -1 : REAL(stat64)(path, st); }
int lstat64(const char* path, struct stat64* st) { return fails("stat", under(path)) ? -1 : REAL(lstat64)(path, st); }
int fstatat(int dir, const char* path, struct stat* st, int flags) {
    return fails("stat", under(path)) ? -1 : REAL(fstatat)(dir, path, st, flags);
}
int fstatat64(int dir, const char* path, struct stat64* st, int flags) {
    return fails("stat", under(path)) ? -1 : REAL(fstatat64)(dir, path, st, flags);
}
int fstat(int fd, struct stat* st) { return fails("fstat", is_tracked(fd)) ? -1 : REAL(fstat)(fd, st); }
int fstat64(int fd, struct stat64* st) { return fails("fstat", is_tracked(fd)) ? -1 : REAL(fstat64)(fd, st); }

ssize_t read(int fd, void* buffer, size_t n) { return fails("read", is_tracked(fd)) ? -1 : REAL(read)(fd, buffer, n); }
ssize_t pread(int fd, void* buffer, size_t n, off_t at) {
    return fails("read", is_tracked(fd)) ? -1 : REAL(pread)(fd, buffer, n, at);
}
ssize_t pread64(int fd, void* buffer, size_t n, off64_t at) {
    return fails("read", is_tracked(fd)) ? -1 : REAL(pread64)(fd, buffer, n, at);
}
ssize_t write(int fd, const void* data, size_t n) {
    return fails("write", is_tracked(fd)) ? -1 : REAL(write)(fd, data, n);
}
ssize_t pwrite(int fd, const void* data, size_t n, off_t at) {
    return fails("write", is_tracked(fd)) ? -1 : REAL(pwrite)(fd, data, n, at);
}
ssize_t pwrite64(int fd, const void* data, size_t n, off64_t at) {
    return fails("write", is_tracked(fd)) ? -1 : REAL(pwrite64)(fd, data, n, at);
}
ssize_t copy_file_range(int in, off64_t* in_at, int out, off64_t* out_at, size_t n, unsigned flags) {
    if (fails("copy", is_tracked(in) || is_tracked(out))) return -1;
    return REAL(copy_file_range)(in, in_at, out, out_at, n, flags);
}
int fsync(int fd) { return fails("sync", is_tracked(fd)) ? -1 : REAL(fsync)(fd); }
int fdatasync(int fd) { return fails("sync", is_tracked(fd)) ? -1 : REAL(fdatasync)(fd); }
int ftruncate(int fd, off_t size) { return fails("truncate", is_tracked(fd)) ? -1 : REAL(ftruncate)(fd, size); }
int ftruncate64(int fd, off64_t size) { return fails("truncate", is_tracked(fd)) ? -1 : REAL(ftruncate64)(fd, size); }

int rename(const char* from, const char* to) { return fails("rename", under(to)) ? -1 : REAL(rename)(from, to); }
int renameat(int fromDir, const char* from, int toDir, const char* to) {
    return fails("rename", under(to)) ? -1 : REAL(renameat)(fromDir, from, toDir, to);
}
int renameat2(int fromDir, const char* from, int toDir, const char* to, unsigned flags) {
    return fails("rename", under(to)) ? -1 : REAL(renameat2)(fromDir, from, toDir, to, flags);
}
int link(const char* from, const char* to) { return fails("link", under(to)) ? -1 : REAL(link)(from, to); }
int linkat(int fromDir, const char* from, int toDir, const char* to, int flags) {
    return fails("link", under(to)) ? -1 : REAL(linkat)(fromDir, from, toDir, to, flags);
}
int unlink(const char* path) { return fails("unlink", under(path)) ? -1 : REAL(unlink)(path); }

int close(int fd) {
    const int failing = fails("close", is_tracked(fd));
    const int saved = errno;
    if (fd >= 0 && fd < (int)sizeof tracked) tracked[fd] = 0;
    const int r = REAL(close)(fd);
    if (!failing) return r;
    errno = saved;
    return -1;
}
