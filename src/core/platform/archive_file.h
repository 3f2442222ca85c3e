#pragma once
// The bytes of a file read whole into memory at open (RAII). Owning the bytes means that another
// program truncating or rewriting the file later cannot take them away; ChangedOnDisk() tells
// whether it did. Only regular files are read: a FIFO, device or folder is refused at once.
#include <sys/types.h>

#include <cstdint>
#include <ctime>
#include <memory>
#include <span>
#include <string>

#include "platform/file_identity.h"

namespace pixhaul {

class ArchiveFile {
  public:
    // Reads the file; on failure returns null and sets error to a message naming the file.
    static std::shared_ptr<const ArchiveFile> Open(const std::string& path, std::string& error);
    ArchiveFile(const ArchiveFile&) = delete;
    ArchiveFile& operator=(const ArchiveFile&) = delete;

    std::span<const std::uint8_t> Bytes() const { return {data_.get(), size_}; }
    std::size_t Size() const { return size_; }
    const std::string& Path() const { return path_; }
    FileIdentity Identity() const { return identity_; }

    // True when the path no longer names the file as it was read: gone, replaced by another
    // file, or of another size or modification time.
    bool ChangedOnDisk() const;

  private:
    ArchiveFile() = default;
    std::unique_ptr<std::uint8_t[]> data_;
    std::size_t size_ = 0;
    std::string path_;
    FileIdentity identity_;
    off_t sizeOnDisk_ = 0;
    timespec modified_{};
};

}  // namespace pixhaul
