#pragma once
// An image's encoded stream as cBitMap holds it: L stream bytes plus the one byte that follows
// them in the archive (0 when the stream ends the file), so Length() is L + 1 as the loader
// hands it over. The bytes either belong to the stream itself or are shared with the archive
// file's bytes in memory, which then stay for as long as any stream refers to them.
#include <cstddef>
#include <cstdint>
#include <memory>
#include <span>
#include <vector>

namespace pixhaul {

class StreamBytes {
  public:
    StreamBytes() = default;
    // Owns a copy: bytes are the whole array, the last one being the trailing byte.
    explicit StreamBytes(std::vector<std::uint8_t> bytes);
    // Shares: the L stream bytes inside memory kept alive by owner, and the trailing byte.
    StreamBytes(std::shared_ptr<const void> owner, std::span<const std::uint8_t> streamBytes,
                std::uint8_t trailingByte);

    // Number of elements, L + 1 (0 for a stream never set).
    std::size_t Size() const { return size_; }
    // The last index, L; opcodes are read only below it.
    std::size_t LastIndex() const { return size_ == 0 ? 0 : size_ - 1; }
    // The first L bytes (everything before the trailing byte).
    const std::uint8_t* Data() const { return data_; }
    std::uint8_t TrailingByte() const { return trailing_; }
    // Element i, 0 <= i <= LastIndex().
    std::uint8_t At(std::size_t i) const { return i + 1 < size_ ? data_[i] : trailing_; }

  private:
    std::shared_ptr<const void> owner_;
    const std::uint8_t* data_ = nullptr;
    std::size_t size_ = 0;
    std::uint8_t trailing_ = 0;
};

}  // namespace pixhaul
