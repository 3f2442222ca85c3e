#pragma once
// Makes a file immutable while the object lives: even root can then neither replace nor rename
// over it, so that a rename fails at a chosen file, for tests. Needs root and a file system with
// the flag (ext4, tmpfs); Held() says whether it took.
#include <fcntl.h>
#include <linux/fs.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <string>
#include <utility>

namespace pixhaul::testing {

class ImmutableFile {
  public:
    explicit ImmutableFile(std::string path) : path_(std::move(path)) { held_ = Set(true); }
    ~ImmutableFile() {
        if (held_) Set(false);
    }
    ImmutableFile(const ImmutableFile&) = delete;
    ImmutableFile& operator=(const ImmutableFile&) = delete;

    bool Held() const { return held_; }

  private:
    bool Set(bool on) const {
        const int fd = ::open(path_.c_str(), O_RDONLY | O_CLOEXEC);
        if (fd < 0) return false;
        int flags = 0;
        bool done = ::ioctl(fd, FS_IOC_GETFLAGS, &flags) == 0;
        flags = on ? flags | FS_IMMUTABLE_FL : flags & ~FS_IMMUTABLE_FL;
        done = done && ::ioctl(fd, FS_IOC_SETFLAGS, &flags) == 0;
        ::close(fd);
        return done;
    }

    std::string path_;
    bool held_ = false;
};

}  // namespace pixhaul::testing
