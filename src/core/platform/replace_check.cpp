#include "platform/replace_check.h"

#include <sys/stat.h>

#include <cerrno>
#include <string>

#include "platform/atomic_file.h"

namespace pixhaul {

namespace {

std::string FileNameOf(const std::string& path) {
    const std::size_t slash = path.rfind('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

}  // namespace

std::optional<FileIdentity> IdentityOf(const std::string& path) {
    struct stat info {};
    if (::stat(path.c_str(), &info) != 0) return std::nullopt;
    return FileIdentity{info.st_dev, info.st_ino};
}

void CheckReplaceable(const std::string& path, const std::optional<FileIdentity>& input) {
    struct stat info {};
    // Nothing there yet (or nothing reachable: writing reports that with its own error).
    if (::lstat(path.c_str(), &info) != 0) return;
    if (S_ISDIR(info.st_mode)) ThrowFileError(EISDIR, path);
    // The description names the file too: the exports' error box shows only the description.
    if (!S_ISREG(info.st_mode) && !S_ISLNK(info.st_mode)) {
        throw FileError(EINVAL,
                        FileNameOf(path) +
                            " is not a regular file (a device, pipe or socket); it is not replaced",
                        path);
    }
    if (!input) return;
    const std::optional<FileIdentity> target = IdentityOf(path);
    if (target && target->device == input->device && target->inode == input->inode) {
        throw FileError(EEXIST,
                        FileNameOf(path) + " is the file being read; choose another name or folder",
                        path);
    }
}

}  // namespace pixhaul
