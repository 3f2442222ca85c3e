#pragma once
// A file mapped read-only into memory for the length of one read-through (RAII), so that what only
// scans a file reads it where the page cache holds it, with no copy into a buffer of our own.
//
// A mapping has one hazard that a read() does not: if another program truncates the file while it
// is mapped, touching a page past the new end raises SIGBUS and would end the process. A mapping
// made here is therefore guarded: while it lives, a SIGBUS inside it puts a page of zeros in place
// of the lost one and marks the mapping as cut, and the reader goes on to the end. Whoever reads
// through a mapping asks Cut() once done and throws away what it read if the file was cut. A SIGBUS
// anywhere else is handled as it was before the first mapping.
#include <cstdint>
#include <memory>
#include <span>

namespace pixhaul {

class MappedFile {
  public:
    // Maps the first size bytes of the file open on fd, which the caller keeps open while the
    // mapping lives. Null when the file cannot be mapped (empty, a file system without mappings,
    // too many guarded mappings at once): the caller then reads it another way.
    static std::unique_ptr<MappedFile> Map(int fd, std::uint64_t size);
    ~MappedFile();
    MappedFile(const MappedFile&) = delete;
    MappedFile& operator=(const MappedFile&) = delete;

    std::span<const std::uint8_t> Bytes() const { return {data_, size_}; }
    // True when the file lost bytes since it was mapped: a page of the mapping was found gone, or
    // the file is now shorter than the mapping (a cut inside the last page raises no signal).
    bool Cut() const;

  private:
    MappedFile(const std::uint8_t* data, std::size_t size, int fd, int slot)
        : data_(data), size_(size), fd_(fd), slot_(slot) {}
    const std::uint8_t* data_;
    std::size_t size_;
    int fd_;
    int slot_;  // the guard's record of this mapping
};

}  // namespace pixhaul
