#pragma once
// The bytes of a file read whole into memory at open (RAII). Owning the bytes means that another
// program truncating or rewriting the file later cannot take them away; ChangedOnDisk() tells
// whether it did. Only regular files are read: a FIFO, device or folder is refused at once.
// OpenUnread records the file the same way but leaves reading it to the caller, who then keeps
// none of its bytes (Bytes() is empty): for what only lists an archive.
#include <sys/types.h>

#include <cstdint>
#include <ctime>
#include <memory>
#include <span>
#include <string>

#include "platform/file_identity.h"
#include "platform/large_block.h"

namespace pixhaul {

// Closes a descriptor when the scope ends.
class FileDescriptor {
  public:
    explicit FileDescriptor(int fd = -1) : fd_(fd) {}
    ~FileDescriptor() { Reset(-1); }
    FileDescriptor(const FileDescriptor&) = delete;
    FileDescriptor& operator=(const FileDescriptor&) = delete;
    int Get() const { return fd_; }
    void Reset(int fd);

  private:
    int fd_;
};

class ArchiveFile {
  public:
    // Reads the file; on failure returns null and sets error to a message naming the file.
    static std::shared_ptr<const ArchiveFile> Open(const std::string& path, std::string& error);
    // Opens the file without reading it: fd is left open at its start for the caller to read,
    // and the result holds no bytes. SizeOnDisk() is the size to read.
    static std::shared_ptr<const ArchiveFile> OpenUnread(const std::string& path,
                                                         std::string& error, FileDescriptor& fd);
    ArchiveFile(const ArchiveFile&) = delete;
    ArchiveFile& operator=(const ArchiveFile&) = delete;

    std::span<const std::uint8_t> Bytes() const { return {data_.data(), size_}; }
    std::size_t Size() const { return size_; }
    const std::string& Path() const { return path_; }
    // The file's size when it was opened.
    std::uint64_t SizeOnDisk() const { return static_cast<std::uint64_t>(sizeOnDisk_); }
    FileIdentity Identity() const { return identity_; }

    // True when the path no longer names the file as it was read: gone, replaced by another
    // file, or of another size or modification time.
    bool ChangedOnDisk() const;

  private:
    ArchiveFile() = default;
    // Opens path into fd and records what it is, reading nothing.
    static std::shared_ptr<ArchiveFile> Record(const std::string& path, std::string& error,
                                               FileDescriptor& fd);
    LargeBuffer data_;
    std::size_t size_ = 0;
    std::string path_;
    FileIdentity identity_;
    off_t sizeOnDisk_ = 0;
    timespec modified_{};
};

}  // namespace pixhaul
