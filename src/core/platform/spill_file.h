#pragma once
// A scratch file for data too large to keep in memory between two passes: unnamed, in a given
// folder, so nothing is left behind however the process ends.
#include <cstddef>
#include <cstdint>
#include <span>
#include <string>

namespace pixhaul {

class SpillFile {
  public:
    // Opens the file in folder ("" is the current folder). Throws FileError naming the folder.
    explicit SpillFile(const std::string& folder);
    ~SpillFile();
    SpillFile(const SpillFile&) = delete;
    SpillFile& operator=(const SpillFile&) = delete;

    void Write(std::span<const std::uint8_t> bytes);
    void Rewind();
    // Reads up to out.size() bytes; 0 at the end.
    std::size_t Read(std::span<std::uint8_t> out);
    const std::string& Folder() const { return folder_; }

  private:
    std::string folder_;
    int fd_ = -1;
};

}  // namespace pixhaul
