#include "formats/png_deflate.h"

#include <zlib.h>

#include <algorithm>
#include <atomic>
#include <exception>
#include <mutex>
#include <new>
#include <stdexcept>
#include <thread>

#include "platform/usable_cores.h"

namespace pixhaul {

namespace {

struct Segment {
    const std::uint8_t* in = nullptr;
    std::size_t size = 0;
    bool last = false;  // the end of the whole stream
    std::vector<std::uint8_t> out;
    std::uint32_t adler = 0;
};

// A raw deflate of one segment, ended with a full flush so the next segment starts on a byte
// boundary with an empty window, or with the final block.
void DeflateSegment(Segment& segment, int level) {
    z_stream z{};
    if (deflateInit2(&z, level, Z_DEFLATED, -15, 8, Z_DEFAULT_STRATEGY) != Z_OK) {
        throw std::bad_alloc();
    }
    struct End {
        z_stream& z;
        ~End() { deflateEnd(&z); }
    } end{z};
    segment.out.resize(deflateBound(&z, static_cast<uLong>(segment.size)) + 64);
    z.next_in = const_cast<Bytef*>(segment.in);
    z.avail_in = static_cast<uInt>(segment.size);
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
    segment.adler =
        static_cast<std::uint32_t>(adler32(1, segment.in, static_cast<uInt>(segment.size)));
}

// Deflates every segment with up to `threads` threads (the caller's among them).
void DeflateAll(std::vector<Segment>& segments, int level, int threads) {
    std::atomic<std::size_t> next{0};
    std::exception_ptr failure;
    std::mutex failureLock;
    auto work = [&] {
        for (std::size_t i; (i = next.fetch_add(1)) < segments.size();) {
            try {
                DeflateSegment(segments[i], level);
            } catch (...) {
                const std::lock_guard lock(failureLock);
                if (!failure) failure = std::current_exception();
            }
        }
    };
    const std::size_t helpers =
        std::min(segments.size(), static_cast<std::size_t>(std::max(threads, 1))) - 1;
    {
        std::vector<std::jthread> pool;
        pool.reserve(helpers);
        for (std::size_t i = 0; i < helpers; ++i) pool.emplace_back(work);
        work();
    }
    if (failure) std::rethrow_exception(failure);
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

void ParallelDeflate::Append(const std::uint8_t* data, std::size_t size) {
    if (size > total_ - appended_) throw std::logic_error("ParallelDeflate: more bytes than told");
    // Segments are deflated a few per thread at a time, so memory stays bounded.
    const std::size_t batchBytes = kDeflateSegmentBytes * 2 * static_cast<std::size_t>(threads_);
    while (size > 0) {
        const std::size_t take = std::min(size, batchBytes - pending_.size());
        pending_.insert(pending_.end(), data, data + take);
        appended_ += take;
        data += take;
        size -= take;
        if (appended_ == total_) {
            DeflatePending(true);
        } else if (pending_.size() == batchBytes) {
            DeflatePending(false);
        }
    }
}

void ParallelDeflate::DeflatePending(bool flushAll) {
    std::vector<Segment> segments;
    std::size_t at = 0;
    while (pending_.size() - at >= kDeflateSegmentBytes || (flushAll && at < pending_.size())) {
        Segment segment;
        segment.in = pending_.data() + at;
        segment.size = std::min(kDeflateSegmentBytes, pending_.size() - at);
        at += segment.size;
        segment.last = flushAll && at == pending_.size();
        segments.push_back(std::move(segment));
    }
    DeflateAll(segments, level_, threads_);
    for (Segment& segment : segments) {
        if (segmentsDone_++ == 0) AppendZlibHeader(segment.out, level_);
        adler_ = static_cast<std::uint32_t>(
            adler32_combine(adler_, segment.adler, static_cast<z_off_t>(segment.size)));
        if (segment.last) {
            for (int shift = 24; shift >= 0; shift -= 8) {
                segment.out.push_back(static_cast<std::uint8_t>(adler_ >> shift));
            }
        }
        sink_(segment.out.data(), segment.out.size());
    }
    pending_.erase(pending_.begin(), pending_.begin() + static_cast<std::ptrdiff_t>(at));
}

}  // namespace pixhaul
