#include "formats/sif_reader_chunks.h"

#include <system_error>

namespace pixhaul {
namespace {

// Run-length bytes uncoded at a time: small enough that a chunk is still in the shared cache
// when the other core reads it, large enough that handing it over (a wake-up of the other
// thread) is rare. At 256 KiB the 88 MB stream of a 258 MB sheet took 5 ms more CPU.
constexpr std::size_t kChunkBytes = std::size_t{1} << 20;

}  // namespace

UncodedChunks::UncodedChunks(HuffmanStreamDecoder& decoder) : decoder_(decoder), ring_(kSlots) {}

UncodedChunks::~UncodedChunks() {
    StopWorker();
}

void UncodedChunks::UseWorker(bool worker) {
    if (!worker) StopWorker();
    useWorker_ = worker;
}

void UncodedChunks::Fill(Chunk& chunk) {
    if (!chunk.bytes) chunk.bytes = MakePageBuffer(kChunkBytes);
    chunk.start = decoder_.Tell();
    chunk.filled = decoder_.Read({chunk.bytes.get(), kChunkBytes});
}

const UncodedChunks::Chunk& UncodedChunks::Next() {
    std::unique_lock lock(mutex_);
    if (ended_) return ring_[(taken_ - 1) % kSlots];
    holding_ = false;
    if (taken_ == produced_ && !worker_.joinable() && !failure_) {
        if (useWorker_) {
            stop_ = false;
            try {
                worker_ = std::thread(&UncodedChunks::Work, this);
            } catch (const std::system_error&) {
                useWorker_ = false;  // no thread to be had: uncode here
            }
        }
        if (!useWorker_) {
            Chunk& chunk = ring_[produced_ % kSlots];
            lock.unlock();
            Fill(chunk);
            lock.lock();
            ++produced_;
        }
    }
    changed_.notify_all();  // the chunk handed back frees a slot
    changed_.wait(lock, [&] { return taken_ < produced_ || failure_; });
    if (taken_ == produced_) std::rethrow_exception(failure_);
    const Chunk& chunk = ring_[taken_++ % kSlots];
    holding_ = true;
    if (chunk.filled == 0) {
        // The worker has stopped at the stream's end (or its error): the decoder is ours.
        ended_ = true;
        lock.unlock();
        StopWorker();
    }
    return chunk;
}

void UncodedChunks::Restart(const HuffmanStreamDecoder::Position& position) {
    StopWorker();
    decoder_.Seek(position);
    produced_ = taken_ = 0;
    holding_ = ended_ = false;
    failure_ = nullptr;
}

void UncodedChunks::StopWorker() noexcept {
    if (!worker_.joinable()) return;
    {
        std::lock_guard lock(mutex_);
        stop_ = true;
    }
    changed_.notify_all();
    worker_.join();
}

void UncodedChunks::Work() noexcept {
    std::unique_lock lock(mutex_);
    while (true) {
        changed_.wait(lock,
                      [&] { return stop_ || produced_ - taken_ + (holding_ ? 1 : 0) < kSlots; });
        if (stop_) return;
        Chunk& chunk = ring_[produced_ % kSlots];
        lock.unlock();
        try {
            Fill(chunk);
        } catch (...) {
            lock.lock();
            failure_ = std::current_exception();
            changed_.notify_all();
            return;
        }
        lock.lock();
        ++produced_;
        changed_.notify_all();
        if (chunk.filled == 0) return;
    }
}

}  // namespace pixhaul
