#include "export/extract_images.h"

#include <algorithm>
#include <atomic>
#include <condition_variable>
#include <mutex>
#include <optional>
#include <thread>
#include <vector>

#include "platform/host.h"
#include "platform/usable_cores.h"

namespace pixhaul {

namespace {

// How far (in images) the workers may run ahead of the image being reported, per worker.
constexpr std::size_t kAheadPerWorker = 4;

ExtractedImage ExtractOne(const ArchiveModel& model, std::size_t index, COLORREF trans,
                          Surface& surface, const ImageWriter& write) {
    ExtractedImage result;
    try {
        result.outcome = DrawImageAlone(model, index, trans, surface);
        if (result.outcome == ImageOutcome::Ok || result.outcome == ImageOutcome::Corrupt) {
            write(index, surface, result.outcome);
        }
    } catch (...) {
        result.error = std::current_exception();
    }
    return result;
}

void Report(std::size_t index, const ExtractedImage& result, const ImageReport& report) {
    if (result.error) std::rethrow_exception(result.error);
    report(index, result);
}

// The results the workers hand to the reporting thread, and the stop that goes back.
class ResultBoard {
  public:
    ResultBoard(std::size_t count, std::size_t ahead) : slots_(count), ahead_(ahead) {}

    // The next image to work on, once it is near enough to the reported one; none when all are
    // taken or the work stopped.
    std::optional<std::size_t> Take() {
        std::unique_lock lock(mutex_);
        if (stopped_ || next_ >= slots_.size()) return std::nullopt;
        const std::size_t index = next_++;
        changed_.wait(lock, [&] { return stopped_ || index < reported_ + ahead_; });
        if (stopped_) return std::nullopt;
        return index;
    }

    void Put(std::size_t index, ExtractedImage result) {
        {
            std::lock_guard lock(mutex_);
            slots_[index] = std::move(result);
        }
        changed_.notify_all();
    }

    // Waits for image index (taken in order by the reporting thread) and lets the workers on.
    ExtractedImage Await(std::size_t index) {
        std::unique_lock lock(mutex_);
        changed_.wait(lock, [&] { return slots_[index].has_value(); });
        ExtractedImage result = std::move(*slots_[index]);
        slots_[index].reset();
        reported_ = index + 1;
        lock.unlock();
        changed_.notify_all();
        return result;
    }

    void Stop() {
        {
            std::lock_guard lock(mutex_);
            stopped_ = true;
        }
        changed_.notify_all();
    }

  private:
    std::mutex mutex_;
    std::condition_variable changed_;
    std::vector<std::optional<ExtractedImage>> slots_;
    std::size_t ahead_;
    std::size_t next_ = 0;
    std::size_t reported_ = 0;
    bool stopped_ = false;
};

// Stops the board when the reporting loop ends, by completion or by an error, so the workers
// (joined after this) do not wait for reports that will never come.
class StopOnExit {
  public:
    explicit StopOnExit(ResultBoard& board) : board_(board) {}
    ~StopOnExit() { board_.Stop(); }
    StopOnExit(const StopOnExit&) = delete;
    StopOnExit& operator=(const StopOnExit&) = delete;

  private:
    ResultBoard& board_;
};

}  // namespace

ImageOutcome DrawImageAlone(const ArchiveModel& model, std::size_t index, COLORREF trans,
                            Surface& target) {
    const auto number = static_cast<std::int32_t>(index);
    QuietHost quiet;
    if (!ImageIsDecodable(model, number)) {
        const ImageOutcome outcome = ComposeImageUnshared(model, number, trans, quiet, {}).outcome;
        // A stream too short to decode anything still has no size to write.
        return outcome == ImageOutcome::Ok ? ImageOutcome::Undecodable : outcome;
    }
    const ImageRecord& image = model.Images[index];
    target.Reset(image.Width, image.Height);
    ImagePlacement placement{&target, 0, 0};
    placement.drawDecodedPart = true;
    return ComposeImageUnshared(model, number, trans, quiet, placement).outcome;
}

unsigned DefaultWorkerCount() {
    return UsableCores();
}

void ExtractImages(const ArchiveModel& model, std::size_t count, COLORREF trans, unsigned workers,
                   const ImageWriter& write, const ImageReport& report) {
    const std::size_t threads = std::min<std::size_t>(std::max(workers, 1U), count);
    if (threads <= 1) {
        Surface surface;
        for (std::size_t i = 0; i < count; ++i) {
            Report(i, ExtractOne(model, i, trans, surface, write), report);
        }
        return;
    }
    ResultBoard board(count, threads * kAheadPerWorker);
    std::vector<std::jthread> pool;
    const StopOnExit stopOnExit(board);  // destroyed before pool joins
    pool.reserve(threads);
    for (std::size_t t = 0; t < threads; ++t) {
        pool.emplace_back([&] {
            Surface surface;
            while (const std::optional<std::size_t> index = board.Take()) {
                board.Put(*index, ExtractOne(model, *index, trans, surface, write));
            }
        });
    }
    for (std::size_t i = 0; i < count; ++i) Report(i, board.Await(i), report);
}

}  // namespace pixhaul
