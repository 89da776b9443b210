// Loaded into the built korva with LD_PRELOAD, this stands in for another
// program, or a file system, at one exact moment of a run: when korva opens
// its data file (after it locked its target, before it reads it), or when
// it creates the file that will replace its target (while the target is
// mapped). KORVA_SHIM says what happens then; KORVA_SHIM_TARGET names the
// target.
//   truncate-at-data     the target is cut to 1000 bytes
//   overwrite-at-data    four bytes of the target are overwritten in place
//   truncate-at-replace  the target is cut to 1000 bytes
//   pause-at-data        one second passes
//   no-tmpfile           unnamed temporary files are not supported
//   signal-at-named:N    as no-tmpfile, then signal N arrives as soon as
//                        the named temporary file exists
//   signal-at-tmpfile:N  signal N arrives as soon as an unnamed temporary
//                        file exists
#include <dlfcn.h>
#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <cstdarg>
#include <cstdlib>
#include <cstring>
#include <string>

namespace {

std::string Setting(const char* name) {
    const char* value = std::getenv(name);
    return value == nullptr ? std::string() : value;
}

void Disturb(const std::string& moment) {
    const std::string what = Setting("KORVA_SHIM");
    const std::string target = Setting("KORVA_SHIM_TARGET");
    if (what == "truncate-at-" + moment) {
        (void)::truncate(target.c_str(), 1000);
    } else if (what == "overwrite-at-" + moment) {
        const int fd = ::open(target.c_str(), O_WRONLY);
        (void)!::pwrite(fd, "KORV", 4, 0x40);
        ::close(fd);
    } else if (what == "pause-at-" + moment) {
        ::sleep(1);
    }
}

bool IsDataFile(const char* path) {
    const std::size_t n = std::strlen(path);
    return n >= 9 && std::strcmp(path + n - 9, "KORVA.DAT") == 0;
}

int Opened(int fd, const char* path, int flags) {
    const std::string what = Setting("KORVA_SHIM");
    // The disturbance opens the target, which for korva-dat is the data
    // file itself.
    static bool disturbing = false;
    if (fd >= 0 && IsDataFile(path) && !disturbing) {
        disturbing = true;
        Disturb("data");
        disturbing = false;
    }
    const char* base = std::strrchr(path, '/');
    base = base == nullptr ? path : base + 1;
    if (fd >= 0 && (flags & O_CREAT) != 0 && std::strncmp(base, ".korva-", 7) == 0 &&
        what.rfind("signal-at-named:", 0) == 0) {
        ::raise(std::atoi(what.c_str() + 16));
    }
    return fd;
}

template <typename Real> Real Next(const char* name) {
    return reinterpret_cast<Real>(::dlsym(RTLD_NEXT, name));
}

int OpenAt(const char* name, int dir, const char* path, int flags, mode_t mode) {
    using Real = int (*)(int, const char*, int, ...);
    const std::string what = Setting("KORVA_SHIM");
    if ((flags & O_TMPFILE) == O_TMPFILE) {
        if (what == "no-tmpfile" || what.rfind("signal-at-named:", 0) == 0) {
            errno = EOPNOTSUPP;
            return -1;
        }
        Disturb("replace");
        const int fd = Next<Real>(name)(dir, path, flags, mode);
        if (fd >= 0 && what.rfind("signal-at-tmpfile:", 0) == 0) {
            ::raise(std::atoi(what.c_str() + 18));
        }
        return fd;
    }
    return Opened(Next<Real>(name)(dir, path, flags, mode), path, flags);
}

mode_t ModeOf(int flags, va_list args) {
    return (flags & O_CREAT) != 0 || (flags & O_TMPFILE) == O_TMPFILE ? va_arg(args, mode_t) : 0;
}

} // namespace

extern "C" {

int open(const char* path, int flags, ...) {
    va_list args;
    va_start(args, flags);
    const mode_t mode = ModeOf(flags, args);
    va_end(args);
    return OpenAt("openat", AT_FDCWD, path, flags, mode);
}

int open64(const char* path, int flags, ...) {
    va_list args;
    va_start(args, flags);
    const mode_t mode = ModeOf(flags, args);
    va_end(args);
    return OpenAt("openat64", AT_FDCWD, path, flags, mode);
}

int openat(int dir, const char* path, int flags, ...) {
    va_list args;
    va_start(args, flags);
    const mode_t mode = ModeOf(flags, args);
    va_end(args);
    return OpenAt("openat", dir, path, flags, mode);
}

int openat64(int dir, const char* path, int flags, ...) {
    va_list args;
    va_start(args, flags);
    const mode_t mode = ModeOf(flags, args);
    va_end(args);
    return OpenAt("openat64", dir, path, flags, mode);
}

} // extern "C"
