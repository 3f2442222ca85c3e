#include "platform/replace_check.h"

#include <sys/stat.h>

#include <cerrno>

#include "platform/atomic_file.h"

namespace pixhaul {

std::optional<FileIdentity> IdentityOf(const std::string& path) {
    struct stat info {};
    if (::stat(path.c_str(), &info) != 0) return std::nullopt;
    return FileIdentity{info.st_dev, info.st_ino};
}

void CheckReplaceable(const std::string& path, const std::optional<FileIdentity>& input) {
    struct stat info {};
    // Nothing there yet (or nothing reachable: writing reports that with its own error).
    if (::lstat(path.c_str(), &info) != 0) return;
    // The description names the file too: the error box of the exports shows only it.
    if (S_ISDIR(info.st_mode)) {
        throw FileError(EISDIR, path + " is a folder; only regular files are replaced", path);
    }
    if (!S_ISREG(info.st_mode) && !S_ISLNK(info.st_mode)) {
        throw FileError(EINVAL,
                        path +
                            " is not a regular file (a device, pipe or socket); it is not "
                            "replaced",
                        path);
    }
    if (!input) return;
    const std::optional<FileIdentity> target = IdentityOf(path);
    if (target && target->device == input->device && target->inode == input->inode) {
        throw FileError(EEXIST, path + " is the file being read; choose another name or folder",
                        path);
    }
}

}  // namespace pixhaul
