#pragma once
// Reads the fields of a fuzzer input front to back. Past the end every read gives 0, so a short
// input is still a complete one.
#include <cstddef>
#include <cstdint>
#include <span>

namespace pixhaul::fuzz {

class FuzzBytes {
  public:
    explicit FuzzBytes(std::span<const std::uint8_t> bytes) : bytes_(bytes) {}

    std::size_t Left() const { return bytes_.size() - at_; }
    std::uint8_t U8() { return at_ < bytes_.size() ? bytes_[at_++] : 0; }
    std::uint16_t U16() {
        const std::uint16_t low = U8();
        return static_cast<std::uint16_t>(low | (U8() << 8));
    }
    std::int16_t I16() { return static_cast<std::int16_t>(U16()); }
    std::int8_t I8() { return static_cast<std::int8_t>(U8()); }
    std::uint32_t U32() {
        const std::uint32_t low = U16();
        return low | (static_cast<std::uint32_t>(U16()) << 16);
    }
    // Everything not read yet; the reader is then at the end.
    std::span<const std::uint8_t> Rest() {
        const std::span<const std::uint8_t> rest = bytes_.subspan(at_);
        at_ = bytes_.size();
        return rest;
    }

  private:
    std::span<const std::uint8_t> bytes_;
    std::size_t at_ = 0;
};

}  // namespace pixhaul::fuzz
