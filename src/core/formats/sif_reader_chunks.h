#pragma once
// The uncoded run-length stream of a SIF payload, handed to the reader a chunk at a time. With a
// worker thread, the Huffman stage runs a few chunks ahead on another core while the reader
// places runs and writes rows; without one, each chunk is uncoded when it is asked for. Either
// way the reader sees the same chunks, the same errors and the same positions.
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <exception>
#include <mutex>
#include <thread>
#include <vector>

#include "formats/huffman_decode.h"
#include "platform/page_buffer.h"

namespace pixhaul {

class UncodedChunks {
  public:
    struct Chunk {
        PageBuffer bytes;                      // kChunkBytes, made at its first use
        std::size_t filled = 0;                // 0 at the stream's end or after an error
        HuffmanStreamDecoder::Position start;  // where the decoder was before this chunk
    };

    // Chunks come from decoder (opened, and outliving this object), single-threaded until
    // UseWorker(true).
    explicit UncodedChunks(HuffmanStreamDecoder& decoder);
    // Stops and joins the worker (whatever it was doing).
    ~UncodedChunks();
    UncodedChunks(const UncodedChunks&) = delete;
    UncodedChunks& operator=(const UncodedChunks&) = delete;

    // Uncode ahead on a worker thread (true) or on the caller's (false). Chunks already uncoded
    // ahead are kept.
    void UseWorker(bool worker);

    // The next chunk; the one given before is handed back and must no longer be used. Once a
    // chunk with filled == 0 has come, every later call gives it again, and the decoder's
    // Error() and End() may be read. Rethrows what the worker threw (bad_alloc).
    const Chunk& Next();
    // Drops what was uncoded ahead and goes on from position (where a chunk started).
    void Restart(const HuffmanStreamDecoder::Position& position);

  private:
    static constexpr std::size_t kSlots = 3;

    void Fill(Chunk& chunk);
    void StopWorker() noexcept;
    void Work() noexcept;

    HuffmanStreamDecoder& decoder_;
    bool useWorker_ = false;
    bool ended_ = false;
    // The ring: chunks [taken_, produced_) are uncoded and waiting; the chunk before taken_ is
    // the caller's until its next call.
    std::vector<Chunk> ring_;
    std::uint64_t produced_ = 0;
    std::uint64_t taken_ = 0;
    bool holding_ = false;
    bool stop_ = false;
    std::exception_ptr failure_;
    std::mutex mutex_;
    std::condition_variable changed_;
    std::thread worker_;
};

}  // namespace pixhaul
