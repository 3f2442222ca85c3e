#pragma once
// A file in memory (memfd) holding one fuzzer input, reachable by a path for the code that
// opens archives by name. Nothing touches the disk and nothing is left behind.
#include <sys/mman.h>
#include <unistd.h>

#include <cstdint>
#include <span>
#include <string>

namespace pixhaul::fuzz {

class MemoryFile {
  public:
    explicit MemoryFile(std::span<const std::uint8_t> bytes)
        : fd_(::memfd_create("pixhaul-fuzz-input", MFD_CLOEXEC)) {
        if (fd_ < 0) return;
        std::size_t done = 0;
        while (done < bytes.size()) {
            const ssize_t n = ::write(fd_, bytes.data() + done, bytes.size() - done);
            if (n <= 0) {
                ::close(fd_);
                fd_ = -1;
                return;
            }
            done += static_cast<std::size_t>(n);
        }
        path_ = "/proc/self/fd/" + std::to_string(fd_);
    }
    ~MemoryFile() {
        if (fd_ >= 0) ::close(fd_);
    }
    MemoryFile(const MemoryFile&) = delete;
    MemoryFile& operator=(const MemoryFile&) = delete;

    bool Ok() const { return fd_ >= 0; }
    const std::string& Path() const { return path_; }

  private:
    int fd_ = -1;
    std::string path_;
};

}  // namespace pixhaul::fuzz
