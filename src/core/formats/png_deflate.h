#pragma once
// A zlib stream of known length deflated in independent segments, several at once. The input is
// cut every kDeflateSegmentBytes bytes whatever the thread count and however it is appended; each
// segment is deflated on its own and ended with a full flush (the last one ends the stream), and
// the checksums of the segments are combined. Workers deflate while the caller goes on appending;
// a few segments per thread are in flight at once, so memory stays bounded. The output is the
// same byte for byte with one thread or many, and any zlib reader takes it.
#include <cstddef>
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <vector>

namespace pixhaul {

inline constexpr std::size_t kDeflateSegmentBytes = std::size_t{1} << 20;

// The usable cores (UsableCores), at most 8.
int DefaultDeflateThreads();

class ParallelDeflate {
  public:
    // Receives the stream in order, one call per segment (the zlib header comes with the first,
    // the checksum with the last). It may throw; the exception leaves Append or Finish.
    using Sink = std::function<void(const std::uint8_t* data, std::size_t size)>;

    // totalBytes > 0 is the input's whole length; level is zlib's 0..9; threads <= 0 means
    // DefaultDeflateThreads(). Throws std::invalid_argument for a bad level or length.
    ParallelDeflate(std::uint64_t totalBytes, int level, int threads, Sink sink);
    // Stops the workers; segments not yet handed to the sink are dropped.
    ~ParallelDeflate();
    ParallelDeflate(const ParallelDeflate&) = delete;
    ParallelDeflate& operator=(const ParallelDeflate&) = delete;

    // Throws std::logic_error past totalBytes, std::bad_alloc, what the sink throws.
    void Append(const std::uint8_t* data, std::size_t size);
    // Whether every byte has been appended and the stream has gone to the sink.
    bool Finished() const;

    struct Segment;
    struct Workers;

  private:
    void Submit(bool last);
    void SinkOldest();

    std::uint64_t total_;
    int level_;
    int threads_;
    Sink sink_;
    std::uint64_t appended_ = 0;
    std::uint64_t segmentsDone_ = 0;
    std::uint32_t adler_ = 1;
    std::vector<std::uint8_t> filling_;  // the segment being appended to
    // Segments handed to the workers, oldest first; the sink gets them in this order while the
    // workers deflate the later ones and the caller fills the next.
    std::deque<std::unique_ptr<Segment>> inFlight_;
    std::unique_ptr<Workers> workers_;  // none with one thread: the caller deflates
};

}  // namespace pixhaul
