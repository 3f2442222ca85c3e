#pragma once
// ImageKeys: image id -> index in Images, alive only while a load runs. A vector of (id, index)
// pairs sorted by id: 8 bytes per image, and the ids of an archive are mostly consecutive, so a
// lookup usually lands on its pair at once and otherwise takes a binary search.
#include <algorithm>
#include <cstdint>
#include <optional>
#include <vector>

#include "platform/large_block.h"

namespace pixhaul {

class ImageKeys {
  public:
    struct Key {
        std::int32_t id = 0;
        std::int32_t index = 0;
    };

    // Room for n keys in all, asked for only with a count checked against the bytes left.
    void Reserve(std::size_t n) {
        if (keys_.capacity() < n) keys_.reserve(std::max(n, 2 * keys_.capacity()));
    }

    // Images are added in load order; Seal() must run before Find().
    void Add(std::int32_t id, std::int32_t index) { keys_.push_back({id, index}); }

    // Sorts by id; of two images with one id the first (lower index) keeps it, and
    // onDuplicate(key) is called for every later one, in the order the images were loaded.
    template <typename OnDuplicate>
    void Seal(OnDuplicate&& onDuplicate) {
        auto byId = [](const Key& a, const Key& b) { return a.id < b.id; };
        if (!std::is_sorted(keys_.begin(), keys_.end(), byId)) {
            std::stable_sort(keys_.begin(), keys_.end(), byId);
        }
        std::vector<Key> duplicates;
        auto kept = keys_.begin();
        for (auto it = keys_.begin(); it != keys_.end(); ++it) {
            if (it != keys_.begin() && it->id == (kept - 1)->id) {
                duplicates.push_back(*it);
            } else {
                *kept++ = *it;
            }
        }
        keys_.erase(kept, keys_.end());
        std::sort(duplicates.begin(), duplicates.end(),
                  [](const Key& a, const Key& b) { return a.index < b.index; });
        for (const Key& key : duplicates) onDuplicate(key);
    }

    std::optional<std::int32_t> Find(std::int32_t id) const {
        if (keys_.empty()) return std::nullopt;
        const std::int64_t guess = static_cast<std::int64_t>(id) - keys_.front().id;
        if (guess >= 0 && static_cast<std::uint64_t>(guess) < keys_.size() &&
            keys_[static_cast<std::size_t>(guess)].id == id) {
            return keys_[static_cast<std::size_t>(guess)].index;
        }
        const auto it = std::lower_bound(keys_.begin(), keys_.end(), id,
                                         [](const Key& k, std::int32_t v) { return k.id < v; });
        if (it == keys_.end() || it->id != id) return std::nullopt;
        return it->index;
    }

    std::size_t Size() const { return keys_.size(); }

  private:
    std::vector<Key, LargeBlockAllocator<Key>> keys_;
};

}  // namespace pixhaul
