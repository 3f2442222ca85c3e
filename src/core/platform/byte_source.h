#pragma once
// Bytes read by offset, from memory or from a file read a piece at a time, so that a reader
// can go through a file far larger than the memory it may take.
#include <cstddef>
#include <cstdint>
#include <memory>
#include <span>
#include <string>

namespace pixhaul {

class ByteSource {
  public:
    virtual ~ByteSource() = default;

    virtual std::uint64_t Size() const = 0;
    // Fills out with the bytes from offset on. Returns "" or what went wrong (the file changed
    // or could not be read); a range past Size() is an error too.
    virtual std::string Read(std::uint64_t offset, std::span<std::uint8_t> out) = 0;
    // All the bytes, when they are in memory anyway (then they can be used in place); else
    // empty.
    virtual std::span<const std::uint8_t> InMemory() const { return {}; }
};

// Bytes held by the caller, who keeps them alive.
class MemorySource : public ByteSource {
  public:
    explicit MemorySource(std::span<const std::uint8_t> bytes) : bytes_(bytes) {}
    std::uint64_t Size() const override { return bytes_.size(); }
    std::string Read(std::uint64_t offset, std::span<std::uint8_t> out) override;
    std::span<const std::uint8_t> InMemory() const override { return bytes_; }

  private:
    std::span<const std::uint8_t> bytes_;
};

// A regular file, read on demand (RAII: the descriptor closes with the object). Its size is
// taken at open: a file that shrinks afterwards gives an error, never bytes that are not there.
class FileSource : public ByteSource {
  public:
    // Opens path; on failure returns null and sets error to a message naming the file (a FIFO,
    // device or folder is refused).
    static std::unique_ptr<FileSource> Open(const std::string& path, std::string& error);
    ~FileSource() override;
    FileSource(const FileSource&) = delete;
    FileSource& operator=(const FileSource&) = delete;

    std::uint64_t Size() const override { return size_; }
    std::string Read(std::uint64_t offset, std::span<std::uint8_t> out) override;

  private:
    FileSource(int fd, std::uint64_t size, std::string path)
        : fd_(fd), size_(size), path_(std::move(path)) {}

    int fd_;
    std::uint64_t size_;
    std::string path_;
};

}  // namespace pixhaul
