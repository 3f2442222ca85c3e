#include "formats/png_deflate.h"

#include <zlib.h>

#include <algorithm>
#include <condition_variable>
#include <exception>
#include <mutex>
#include <new>
#include <stdexcept>
#include <thread>

#include "platform/usable_cores.h"

namespace pixhaul {

struct ParallelDeflate::Segment {
    std::vector<std::uint8_t> in;
    std::size_t size = 0;  // of in, which goes once deflated
    bool last = false;     // the end of the whole stream
    std::vector<std::uint8_t> out;
    std::uint32_t adler = 0;
    std::exception_ptr error;
    bool done = false;  // guarded by the workers' lock
};

namespace {

// Segments in flight per thread: enough that a worker finding its segment done has the next one
// waiting while the caller fills another.
constexpr std::size_t kInFlightPerThread = 2;

// A raw deflate of one segment, ended with a full flush so the next segment starts on a byte
// boundary with an empty window, or with the final block.
void DeflateSegment(ParallelDeflate::Segment& segment, int level) {
    z_stream z{};
    if (deflateInit2(&z, level, Z_DEFLATED, -15, 8, Z_DEFAULT_STRATEGY) != Z_OK) {
        throw std::bad_alloc();
    }
    struct End {
        z_stream& z;
        ~End() { deflateEnd(&z); }
    } end{z};
    segment.out.resize(deflateBound(&z, static_cast<uLong>(segment.in.size())) + 64);
    z.next_in = segment.in.data();
    z.avail_in = static_cast<uInt>(segment.in.size());
    const int flush = segment.last ? Z_FINISH : Z_FULL_FLUSH;
    std::size_t used = 0;
    for (;;) {
        z.next_out = segment.out.data() + used;
        z.avail_out = static_cast<uInt>(segment.out.size() - used);
        const int result = deflate(&z, flush);
        used = segment.out.size() - z.avail_out;
        const bool done = segment.last ? result == Z_STREAM_END
                                       : (result == Z_OK && z.avail_in == 0 && z.avail_out > 0);
        if (done) break;
        if (result != Z_OK && result != Z_BUF_ERROR) throw std::runtime_error("deflate failed");
        segment.out.resize(segment.out.size() * 2);
    }
    segment.out.resize(used);
    segment.adler = static_cast<std::uint32_t>(
        adler32(1, segment.in.data(), static_cast<uInt>(segment.in.size())));
    segment.in = {};  // its memory goes back at once
}

void DeflateCatching(ParallelDeflate::Segment& segment, int level) {
    try {
        DeflateSegment(segment, level);
    } catch (...) {
        segment.error = std::current_exception();
    }
}

// The two bytes zlib itself writes first for this level.
void AppendZlibHeader(std::vector<std::uint8_t>& out, int level) {
    const unsigned levelFlags = level < 2 ? 0 : level < 6 ? 1 : level == 6 ? 2 : 3;
    unsigned header = (0x78U << 8) | (levelFlags << 6);
    header += 31 - header % 31;
    out.insert(out.begin(),
               {static_cast<std::uint8_t>(header >> 8), static_cast<std::uint8_t>(header & 0xFF)});
}

}  // namespace

// Threads that take segments from a queue and deflate them.
struct ParallelDeflate::Workers {
    Workers(int count, int level) : level(level) {
        for (int i = 0; i < count; ++i) threads.emplace_back([this] { Work(); });
    }
    ~Workers() {
        {
            const std::lock_guard guard(lock);
            stopping = true;
        }
        changed.notify_all();
        threads.clear();  // joins
    }
    Workers(const Workers&) = delete;
    Workers& operator=(const Workers&) = delete;

    void Queue(Segment* segment) {
        {
            const std::lock_guard guard(lock);
            queue.push_back(segment);
        }
        changed.notify_all();
    }
    void AwaitDone(const Segment& segment) {
        std::unique_lock guard(lock);
        changed.wait(guard, [&] { return segment.done; });
    }

  private:
    void Work() {
        std::unique_lock guard(lock);
        for (;;) {
            changed.wait(guard, [&] { return stopping || !queue.empty(); });
            if (stopping) return;
            Segment* segment = queue.front();
            queue.pop_front();
            guard.unlock();
            DeflateCatching(*segment, level);
            guard.lock();
            segment->done = true;
            changed.notify_all();
        }
    }

    int level;
    std::mutex lock;
    std::condition_variable changed;
    std::deque<Segment*> queue;
    bool stopping = false;
    std::vector<std::jthread> threads;  // last: joined before the rest goes
};

int DefaultDeflateThreads() {
    return static_cast<int>(std::clamp(UsableCores(), 1U, 8U));
}

ParallelDeflate::ParallelDeflate(std::uint64_t totalBytes, int level, int threads, Sink sink)
    : total_(totalBytes),
      level_(level),
      threads_(threads > 0 ? threads : DefaultDeflateThreads()),
      sink_(std::move(sink)) {
    if (level < 0 || level > 9) throw std::invalid_argument("compression level outside 0..9");
    if (totalBytes == 0) throw std::invalid_argument("nothing to deflate");
}

// The workers stop (and are joined) before the segments they may hold go.
ParallelDeflate::~ParallelDeflate() {
    workers_.reset();
}

bool ParallelDeflate::Finished() const {
    return appended_ == total_ && filling_.empty() && inFlight_.empty();
}

void ParallelDeflate::Append(const std::uint8_t* data, std::size_t size) {
    if (size > total_ - appended_) throw std::logic_error("ParallelDeflate: more bytes than told");
    while (size > 0) {
        if (filling_.empty()) {
            filling_.reserve(static_cast<std::size_t>(
                std::min<std::uint64_t>(kDeflateSegmentBytes, total_ - appended_)));
        }
        const std::size_t take = std::min(size, kDeflateSegmentBytes - filling_.size());
        filling_.insert(filling_.end(), data, data + take);
        appended_ += take;
        data += take;
        size -= take;
        if (appended_ == total_) {
            Submit(true);
            while (!inFlight_.empty()) SinkOldest();
            // A finished stream keeps no threads or buffers: a writer may wait, finished, beside
            // others (the pages of an atlas are replaced together).
            workers_.reset();
        } else if (filling_.size() == kDeflateSegmentBytes) {
            Submit(false);
        }
    }
}

void ParallelDeflate::Submit(bool last) {
    auto segment = std::make_unique<Segment>();
    segment->in.swap(filling_);
    segment->size = segment->in.size();
    segment->last = last;
    // A stream of one segment has nothing to overlap with: no threads are started for it.
    if (threads_ <= 1 || (last && !workers_)) {
        DeflateCatching(*segment, level_);
        segment->done = true;
        inFlight_.push_back(std::move(segment));
        SinkOldest();
        return;
    }
    if (!workers_) workers_ = std::make_unique<Workers>(threads_, level_);
    workers_->Queue(segment.get());
    inFlight_.push_back(std::move(segment));
    if (inFlight_.size() >= kInFlightPerThread * static_cast<std::size_t>(threads_)) SinkOldest();
}

void ParallelDeflate::SinkOldest() {
    Segment& segment = *inFlight_.front();
    if (workers_) workers_->AwaitDone(segment);
    if (segment.error) std::rethrow_exception(segment.error);
    if (segmentsDone_++ == 0) AppendZlibHeader(segment.out, level_);
    adler_ = static_cast<std::uint32_t>(
        adler32_combine(adler_, segment.adler, static_cast<z_off_t>(segment.size)));
    if (segment.last) {
        for (int shift = 24; shift >= 0; shift -= 8) {
            segment.out.push_back(static_cast<std::uint8_t>(adler_ >> shift));
        }
    }
    const std::unique_ptr<Segment> done = std::move(inFlight_.front());
    inFlight_.pop_front();
    sink_(done->out.data(), done->out.size());
}

}  // namespace pixhaul
