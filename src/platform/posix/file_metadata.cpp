// What a replacing file takes from the file it replaces: owner, extended
// attributes (ACLs among them) and file flags; and what a new copy takes
// from the file it copies: its permissions.
#include <fcntl.h>
#include <linux/fs.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <sys/xattr.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <string>
#include <vector>

#include "platform/posix/files.h"

namespace korva::posix {

Result<void> KeepOwner(int fd, const struct stat& original, const std::string& shown) {
    struct stat made {};
    if (::fstat(fd, &made) != 0) {
        return Failure("cannot examine the new " + shown, errno);
    }
    if (made.st_uid == original.st_uid && made.st_gid == original.st_gid) {
        return {};
    }
    // Anyone but root may hand a file to nobody else: then the new file
    // would belong to whoever runs the tool, and its owner could no longer
    // write it. Better no change than that.
    if (::fchown(fd, original.st_uid, original.st_gid) != 0) {
        return Failure("cannot give the new " + shown + " the owner and group of the old one",
                       errno);
    }
    return {};
}

namespace {

std::vector<std::string> AttributeNames(int fd) {
    std::vector<std::string> names;
    const ssize_t size = ::flistxattr(fd, nullptr, 0);
    if (size <= 0) {
        return names; // none, or a file system without them
    }
    std::vector<char> list(static_cast<std::size_t>(size));
    const ssize_t got = ::flistxattr(fd, list.data(), list.size());
    for (std::size_t at = 0; got > 0 && at < static_cast<std::size_t>(got);) {
        names.emplace_back(list.data() + at);
        at += names.back().size() + 1;
    }
    return names;
}

} // namespace

// Every extended attribute of the old file, and none besides: the ACL is
// one (system.posix_acl_access), as are where Samba keeps a Windows file's
// ACL and DOS attributes; a default ACL of the directory must not widen or
// narrow access to the new file either.
Result<void> KeepAttributes(int from, int to, const std::string& shown) {
    const std::vector<std::string> wanted = AttributeNames(from);
    for (const std::string& name : AttributeNames(to)) {
        if (std::find(wanted.begin(), wanted.end(), name) == wanted.end() &&
            ::fremovexattr(to, name.c_str()) != 0) {
            return Failure("cannot remove the attribute " + name + " from the new " + shown, errno);
        }
    }
    for (const std::string& name : wanted) {
        const ssize_t size = ::fgetxattr(from, name.c_str(), nullptr, 0);
        std::vector<char> value(static_cast<std::size_t>(std::max<ssize_t>(size, 0)));
        const ssize_t got =
            size < 0 ? size : ::fgetxattr(from, name.c_str(), value.data(), value.size());
        if (got < 0) {
            return Failure("cannot read the attribute " + name + " of " + shown, errno);
        }
        if (::fsetxattr(to, name.c_str(), value.data(), static_cast<std::size_t>(got), 0) != 0) {
            return Failure("cannot keep the attribute " + name + " of " + shown, errno);
        }
    }
    return {};
}

// The flags users may set (chattr), but immutable and append-only: a file
// with either cannot be replaced at all, and the rename says so.
Result<void> KeepFlags(int from, int to, const std::string& shown) {
    constexpr long kKept = FS_FL_USER_MODIFIABLE & ~(FS_IMMUTABLE_FL | FS_APPEND_FL);
    long flags = 0;
    long made = 0;
    if (::ioctl(from, FS_IOC_GETFLAGS, &flags) != 0 || ::ioctl(to, FS_IOC_GETFLAGS, &made) != 0) {
        return {}; // a file system without such flags
    }
    const long wanted = (made & ~kKept) | (flags & kKept);
    if (wanted != made && ::ioctl(to, FS_IOC_SETFLAGS, &wanted) != 0) {
        return Failure("cannot keep the file flags of " + shown, errno);
    }
    return {};
}

Result<int> PermissionsOfCopy(const std::string& model) {
    struct stat info {};
    if (::stat(model.c_str(), &info) != 0) {
        return Failure("cannot examine " + model, errno);
    }
    return static_cast<int>((info.st_mode & 0777) | S_IWUSR);
}

} // namespace korva::posix
