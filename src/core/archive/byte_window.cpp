#include "archive/byte_window.h"

#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <string>

namespace pixhaul {

ByteWindow::ByteWindow(std::span<const std::uint8_t> bytes)
    : data_(bytes.data()), size_(bytes.size()), capacity_(bytes.size()), length_(bytes.size()) {}

ByteWindow::ByteWindow(std::unique_ptr<MappedFile> mapping) : ByteWindow(mapping->Bytes()) {
    mapping_ = std::move(mapping);
}

void ByteWindow::CheckWhole() const {
    if (mapping_ && mapping_->Cut()) {
        throw WindowReadError("the file is shorter than when it was opened");
    }
}

ByteWindow::ByteWindow(int fd, std::uint64_t size, std::size_t pieceSize)
    : fd_(fd),
      size_(static_cast<std::size_t>(size)),
      capacity_(std::max(std::min(pieceSize, size_), kMinPiece)) {
    buffer_ = MakePageBuffer(capacity_);
    data_ = buffer_.get();
}

bool ByteWindow::ScanMore() {
    if (scanned_ >= size_) return false;
    if (!buffer_) {
        ScanInMemoryTo(scanned_ + kScanStep);
        return true;
    }
    start_ = scanned_;
    length_ = 0;
    Fill();
    return true;
}

const std::uint8_t* ByteWindow::Refill(std::size_t pos, std::size_t n) {
    if (pos > size_ || n > size_ - pos || n > capacity_) {
        throw std::logic_error("a read outside the archive's bytes");
    }
    if (!buffer_) {
        ScanInMemoryTo(std::max(pos + n, scanned_ + kScanStep));
        return data_ + pos;
    }
    // Every byte is looked at for tags before any byte after it is handed out.
    while (scanned_ < pos) {
        start_ = scanned_;
        length_ = 0;
        Fill();
    }
    if (pos >= start_ && pos - start_ <= length_ && n <= length_ - (pos - start_)) {
        return data_ + (pos - start_);
    }
    if (pos >= start_ && pos - start_ <= length_) {
        // The bytes straddle the end of those held: keep those from pos on and read on.
        const std::size_t drop = pos - start_;
        std::memmove(buffer_.get(), buffer_.get() + drop, length_ - drop);
        length_ -= drop;
    } else {
        length_ = 0;
    }
    start_ = pos;
    Fill();
    if (length_ < n) throw WindowReadError("the file ended before its end when it was opened");
    return data_;
}

// Fills the buffer from the end of what it holds: bytes before scanned_ are read again, the
// others are read for the first time and scanned.
void ByteWindow::Fill() {
    while (length_ < capacity_ && start_ + length_ < size_) {
        const std::size_t at = start_ + length_;
        const bool fresh = at >= scanned_;
        const std::size_t want = std::min(capacity_ - length_, (fresh ? size_ : scanned_) - at);
        const ssize_t got = ::pread(fd_, buffer_.get() + length_, want, static_cast<off_t>(at));
        if (got < 0 && errno == EINTR) continue;
        if (got < 0) throw WindowReadError(std::strerror(errno));
        if (got == 0) throw WindowReadError("the file is shorter than when it was opened");
        if (fresh) Scan(buffer_.get() + length_, static_cast<std::size_t>(got));
        length_ += static_cast<std::size_t>(got);
    }
}

// Scans the bytes in memory up to stop (at most the end): the tags that begin there, which may
// end up to three bytes further on.
void ByteWindow::ScanInMemoryTo(std::size_t stop) {
    stop = std::min(stop, size_);
    const std::size_t end = std::min(stop + 3, size_);
    ScanTagsInto({data_ + scanned_, end - scanned_}, static_cast<std::int64_t>(scanned_), tags_);
    scanned_ = stop;
}

// Scans n bytes read at scanned_: first the tags that begin in the carried bytes before them.
void ByteWindow::Scan(const std::uint8_t* piece, std::size_t n) {
    std::uint8_t joint[6];
    const std::size_t head = std::min<std::size_t>(n, 3);
    std::memcpy(joint, carry_, carryLength_);
    std::memcpy(joint + carryLength_, piece, head);
    ScanTagsInto({joint, carryLength_ + head}, static_cast<std::int64_t>(scanned_ - carryLength_),
                 tags_);
    ScanTagsInto({piece, n}, static_cast<std::int64_t>(scanned_), tags_);
    // The last three bytes of all read so far.
    const std::size_t joined = carryLength_ + head;
    if (n >= 3) {
        std::memcpy(carry_, piece + n - 3, 3);
        carryLength_ = 3;
    } else {
        carryLength_ = std::min<std::size_t>(joined, 3);
        std::memcpy(carry_, joint + joined - carryLength_, carryLength_);
    }
    scanned_ += n;
}

}  // namespace pixhaul
