#pragma once
// The archive's bytes as the loader reads them: a window onto the file that is either all of it
// in memory or mapped (the window never moves) or one reused buffer the file is read into piece by
// piece as the load asks for bytes. Either way the loader parses through the same calls, and every
// "AGMI" and "AnSt" tag of the file is found: all at once, or piece by piece as each piece is first
// read, front to back (tags that straddle two pieces included).
#include <cstdint>
#include <memory>
#include <span>
#include <stdexcept>

#include "archive/tag_scan.h"
#include "platform/mapped_file.h"
#include "platform/page_buffer.h"

namespace pixhaul {

// The file could not be read in full: a read error, or it ended before the size it had at open.
class WindowReadError : public std::runtime_error {
  public:
    using std::runtime_error::runtime_error;
};

class ByteWindow {
  public:
    static constexpr std::size_t kMinPiece = 32;  // more than the largest field read at once
    // Bytes in memory are scanned this much at a time, just ahead of the parse, so that the
    // parse reads what the scan has just brought into the cache.
    static constexpr std::size_t kScanStep = std::size_t{256} << 10;

    // All of bytes, which the caller keeps alive.
    explicit ByteWindow(std::span<const std::uint8_t> bytes);
    // All of the mapped file.
    explicit ByteWindow(std::unique_ptr<MappedFile> mapping);
    // The first size bytes of the file open on fd (which the caller keeps open), read in pieces
    // of pieceSize bytes (kMinPiece at least, the file's size at most) into one buffer.
    ByteWindow(int fd, std::uint64_t size, std::size_t pieceSize);

    std::size_t Size() const { return size_; }
    // The most bytes one Fetch may ask for.
    std::size_t MaxFetch() const { return capacity_; }

    // Bytes [pos, pos + n) of the file, for pos + n <= Size() and n <= MaxFetch(). The pointer
    // holds until the next Fetch or ScanMore. Throws WindowReadError when the file cannot give
    // them.
    const std::uint8_t* Fetch(std::size_t pos, std::size_t n) {
        if (pos >= start_ && pos - start_ <= length_ && n <= length_ - (pos - start_) &&
            pos + n <= scanned_) {
            return data_ + (pos - start_);
        }
        return Refill(pos, n);
    }

    // The tags found so far, each list in file order.
    TagPositions& Tags() { return tags_; }
    // Finds the tags of the next stretch of the file not yet looked at; false when the whole
    // file has been.
    bool ScanMore();

    // Throws WindowReadError when what was read may not be the file's: a mapped file lost bytes
    // while it was read (a piece that cannot be read throws at once instead).
    void CheckWhole() const;

  private:
    const std::uint8_t* Refill(std::size_t pos, std::size_t n);
    void Fill();
    void Scan(const std::uint8_t* piece, std::size_t n);
    void ScanInMemoryTo(std::size_t stop);

    const std::uint8_t* data_ = nullptr;
    PageBuffer buffer_;                    // the reused buffer, when reading in pieces
    std::unique_ptr<MappedFile> mapping_;  // the file's bytes, when mapped
    int fd_ = -1;
    std::size_t size_ = 0;
    std::size_t capacity_ = 0;
    std::size_t start_ = 0;       // file offset of data_[0]
    std::size_t length_ = 0;      // bytes held from start_ on
    std::size_t scanned_ = 0;     // every byte before this offset has been looked at for tags
    std::uint8_t carry_[3] = {};  // the last bytes before scanned_, for tags across two pieces
    std::size_t carryLength_ = 0;
    TagPositions tags_;
};

}  // namespace pixhaul
