#include "bitmap/stream.h"

#include <utility>

namespace pixhaul {

StreamBytes::StreamBytes(std::vector<std::uint8_t> bytes) {
    if (bytes.empty()) return;
    size_ = bytes.size();
    trailing_ = bytes.back();
    auto owned = std::make_shared<std::vector<std::uint8_t>>(std::move(bytes));
    data_ = owned->data();
    owner_ = std::move(owned);
}

StreamBytes::StreamBytes(std::shared_ptr<const void> owner,
                         std::span<const std::uint8_t> streamBytes, std::uint8_t trailingByte)
    : owner_(std::move(owner)),
      data_(streamBytes.data()),
      size_(streamBytes.size() + 1),
      trailing_(trailingByte) {}

}  // namespace pixhaul
