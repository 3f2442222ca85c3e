#pragma once
// ImageKeys: image id -> index in Images, alive only while a load runs. The ids of an archive are
// mostly consecutive, and so are the indices of the images that carry them, so the keys are kept
// as runs: one run of consecutive ids at consecutive indices (12 bytes) stands for a whole block
// of images. A table of a pair per image took a fresh huge page and 100,000 stores for the
// bench's 200 MB archive. A lookup is a binary search over the runs.
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

    // Images are added in load order; Seal() must run before Find().
    void Add(std::int32_t id, std::int32_t index) {
        if (!runs_.empty()) {
            Run& last = runs_.back();
            if (std::int64_t{id} == last.End() && std::int64_t{index} == last.IndexEnd()) {
                ++last.count;
                return;
            }
        }
        runs_.push_back({id, index, 1});
    }

    // Sorts by id; of two images with one id the first (lower index) keeps it, and
    // onDuplicate(key) is called for every later one, in the order the images were loaded.
    template <typename OnDuplicate>
    void Seal(OnDuplicate&& onDuplicate) {
        std::stable_sort(runs_.begin(), runs_.end(),
                         [](const Run& a, const Run& b) { return a.id < b.id; });
        bool disjoint = true;
        for (std::size_t r = 1; r < runs_.size() && disjoint; ++r) {
            disjoint = runs_[r - 1].End() <= runs_[r].id;
        }
        if (!disjoint) SealOverlapping(onDuplicate);
    }

    std::optional<std::int32_t> Find(std::int32_t id) const {
        // The last run that starts at or before id.
        auto it = std::upper_bound(runs_.begin(), runs_.end(), id,
                                   [](std::int32_t v, const Run& r) { return v < r.id; });
        if (it == runs_.begin()) return std::nullopt;
        --it;
        if (std::int64_t{id} >= it->End()) return std::nullopt;
        return static_cast<std::int32_t>(it->index + (std::int64_t{id} - it->id));
    }

    // Number of runs the keys take.
    std::size_t RunCount() const { return runs_.size(); }

  private:
    struct Run {
        std::int32_t id = 0;
        std::int32_t index = 0;
        std::int32_t count = 0;
        std::int64_t End() const { return std::int64_t{id} + count; }
        std::int64_t IndexEnd() const { return std::int64_t{index} + count; }
    };

    // Runs that share ids: every key on its own, sorted by id (and by index within an id), the
    // first of each id kept, and the kept keys joined into runs again.
    template <typename OnDuplicate>
    void SealOverlapping(OnDuplicate& onDuplicate) {
        std::vector<Key, LargeBlockAllocator<Key>> keys;
        std::size_t total = 0;
        for (const Run& run : runs_) total += static_cast<std::size_t>(run.count);
        keys.reserve(total);
        for (const Run& run : runs_) {
            for (std::int32_t k = 0; k < run.count; ++k)
                keys.push_back({run.id + k, run.index + k});
        }
        std::sort(keys.begin(), keys.end(), [](const Key& a, const Key& b) {
            return a.id != b.id ? a.id < b.id : a.index < b.index;
        });
        std::vector<Key> duplicates;
        runs_.clear();
        for (std::size_t k = 0; k < keys.size(); ++k) {
            if (k > 0 && keys[k].id == keys[k - 1].id) {
                duplicates.push_back(keys[k]);
                continue;
            }
            Add(keys[k].id, keys[k].index);
        }
        std::sort(duplicates.begin(), duplicates.end(),
                  [](const Key& a, const Key& b) { return a.index < b.index; });
        for (const Key& key : duplicates) onDuplicate(key);
    }

    std::vector<Run, LargeBlockAllocator<Run>> runs_;
};

}  // namespace pixhaul
