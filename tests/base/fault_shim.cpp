// Stands in for file systems that lack some of what the file publishing
// relies on, and ends the process at a chosen call, as a kill would. Linked
// into a probe program (or preloaded), it wraps the C library's calls; the
// environment says what to refuse and where to die:
//   VORLIX_FAULTS  comma-separated: no_tmpfile (O_TMPFILE is refused with
//                  EOPNOTSUPP), no_noreplace (RENAME_NOREPLACE with EINVAL),
//                  no_link (link and linkat with EPERM), no_proc (paths under
//                  /proc are missing), no_empty_path (AT_EMPTY_PATH links
//                  need a privilege the process lacks: ENOENT)
//   VORLIX_KILL    "<call>:<n>" or "<call>:<n>:after": SIGKILL just before,
//                  or just after, the n-th call that reaches the C library,
//                  of write (to descriptors above 2), fsync, or publish
//                  (link, linkat, rename, renameat2).

#include <dlfcn.h>
#include <fcntl.h>
#include <signal.h>
#include <stdarg.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/types.h>
#include <unistd.h>

#include <cerrno>

namespace {

struct Faults {
    bool no_tmpfile = false;
    bool no_noreplace = false;
    bool no_link = false;
    bool no_proc = false;
    bool no_empty_path = false;
    char kill_call[16] = {};
    long kill_at = 0;
    bool kill_after = false;
};

const Faults& faults() {
    static const Faults loaded = [] {
        Faults f;
        if (const char* list = getenv("VORLIX_FAULTS")) {
            f.no_tmpfile = strstr(list, "no_tmpfile") != nullptr;
            f.no_noreplace = strstr(list, "no_noreplace") != nullptr;
            f.no_link = strstr(list, "no_link") != nullptr;
            f.no_proc = strstr(list, "no_proc") != nullptr;
            f.no_empty_path = strstr(list, "no_empty_path") != nullptr;
        }
        if (const char* kill = getenv("VORLIX_KILL")) {
            const char* colon = strchr(kill, ':');
            if (colon != nullptr && static_cast<size_t>(colon - kill) < sizeof f.kill_call) {
                memcpy(f.kill_call, kill, static_cast<size_t>(colon - kill));
                f.kill_at = strtol(colon + 1, nullptr, 10);
                f.kill_after = strstr(colon + 1, ":after") != nullptr;
            }
        }
        return f;
    }();
    return loaded;
}

// Counts the calls of one kind and dies at the chosen one.
struct KillPoint {
    const char* call;
    bool hit;
    explicit KillPoint(const char* name) : call(name) {
        static long counts[3];
        const Faults& f = faults();
        const int slot = name[0] == 'w' ? 0 : name[0] == 'f' ? 1 : 2;
        hit = strcmp(f.kill_call, name) == 0 && ++counts[slot] == f.kill_at;
        if (hit && !f.kill_after) raise(SIGKILL);
    }
    ~KillPoint() {
        if (hit) raise(SIGKILL);
    }
};

template <class F>
F next(const char* name) {
    return reinterpret_cast<F>(dlsym(RTLD_NEXT, name));
}

bool under_proc(const char* path) { return faults().no_proc && strncmp(path, "/proc/", 6) == 0; }

int refuse(int code) {
    errno = code;
    return -1;
}

bool tmpfile_refused(int flags) { return faults().no_tmpfile && (flags & __O_TMPFILE) == __O_TMPFILE; }

mode_t mode_of(int flags, va_list args) {
    return (flags & O_CREAT) || (flags & __O_TMPFILE) == __O_TMPFILE ? static_cast<mode_t>(va_arg(args, int))
                                                                     : 0;
}

}  // namespace

extern "C" {

int open(const char* path, int flags, ...) {
    va_list args;
    va_start(args, flags);
    const mode_t mode = mode_of(flags, args);
    va_end(args);
    if (tmpfile_refused(flags)) return refuse(EOPNOTSUPP);
    if (under_proc(path)) return refuse(ENOENT);
    return next<int (*)(const char*, int, ...)>("open")(path, flags, mode);
}

int access(const char* path, int mode) {
    if (under_proc(path)) return refuse(ENOENT);
    return next<int (*)(const char*, int)>("access")(path, mode);
}

ssize_t write(int fd, const void* data, size_t size) {
    if (fd <= 2) return next<ssize_t (*)(int, const void*, size_t)>("write")(fd, data, size);
    KillPoint point("write");
    return next<ssize_t (*)(int, const void*, size_t)>("write")(fd, data, size);
}

int fsync(int fd) {
    KillPoint point("fsync");
    return next<int (*)(int)>("fsync")(fd);
}

int link(const char* from, const char* to) {
    if (faults().no_link) return refuse(EPERM);
    if (under_proc(from)) return refuse(ENOENT);
    KillPoint point("publish");
    return next<int (*)(const char*, const char*)>("link")(from, to);
}

int linkat(int from_dir, const char* from, int to_dir, const char* to, int flags) {
    if (faults().no_link) return refuse(EPERM);
    if (under_proc(from)) return refuse(ENOENT);
    if (faults().no_empty_path && (flags & AT_EMPTY_PATH)) return refuse(ENOENT);
    KillPoint point("publish");
    return next<int (*)(int, const char*, int, const char*, int)>("linkat")(from_dir, from, to_dir, to,
                                                                            flags);
}

int rename(const char* from, const char* to) {
    KillPoint point("publish");
    return next<int (*)(const char*, const char*)>("rename")(from, to);
}

int renameat2(int from_dir, const char* from, int to_dir, const char* to, unsigned flags) {
    if (faults().no_noreplace && (flags & RENAME_NOREPLACE)) return refuse(EINVAL);
    KillPoint point("publish");
    return next<int (*)(int, const char*, int, const char*, unsigned)>("renameat2")(from_dir, from, to_dir,
                                                                                    to, flags);
}

}  // extern "C"
