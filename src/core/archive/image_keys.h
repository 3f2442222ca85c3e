#pragma once
// ImageKeys: image id -> index in Images, alive only while a load runs. Open addressing with
// linear probing over a power-of-two table; a few tens of nanoseconds per image even for
// archives of hundreds of thousands of images.
#include <cstdint>
#include <optional>
#include <vector>

namespace pixhaul {

class ImageKeys {
public:
    // Adds id -> index unless id is already there (the first image with an id keeps it).
    // Returns false for such a duplicate.
    bool Add(std::int32_t id, std::int32_t index) {
        if ((count_ + 1) * 2 > slots_.size()) Grow();
        std::size_t at = Slot(id);
        while (slots_[at].index >= 0) {
            if (slots_[at].id == id) return false;
            at = (at + 1) & mask_;
        }
        slots_[at] = {id, index};
        ++count_;
        return true;
    }

    std::optional<std::int32_t> Find(std::int32_t id) const {
        if (count_ == 0) return std::nullopt;
        std::size_t at = Slot(id);
        while (slots_[at].index >= 0) {
            if (slots_[at].id == id) return slots_[at].index;
            at = (at + 1) & mask_;
        }
        return std::nullopt;
    }

    std::size_t Size() const { return count_; }

private:
    struct Entry {
        std::int32_t id = 0;
        std::int32_t index = -1;  // -1: free
    };

    std::size_t Slot(std::int32_t id) const {
        // Fibonacci hashing spreads consecutive ids, the common case, over the table.
        const std::uint64_t h = static_cast<std::uint32_t>(id) * 0x9E3779B97F4A7C15ULL;
        return static_cast<std::size_t>(h >> 32) & mask_;
    }

    void Grow() {
        std::vector<Entry> old;
        old.swap(slots_);
        const std::size_t size = old.empty() ? 1024 : old.size() * 2;
        slots_.assign(size, Entry{});
        mask_ = size - 1;
        count_ = 0;
        for (const Entry& e : old) {
            if (e.index >= 0) Add(e.id, e.index);
        }
    }

    std::vector<Entry> slots_;
    std::size_t mask_ = 0;
    std::size_t count_ = 0;
};

}  // namespace pixhaul
