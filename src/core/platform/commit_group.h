#pragma once
// Many small files made durable together. Flushing each file and its folder to the disk before
// naming it costs two waits on the disk per file, far more than writing a small file; a group
// instead keeps its finished files unnamed (or under their temporary names), flushes their file
// systems once, and only then renames them all over their targets and flushes their folders once.
// A file still appears complete or not at all, and only after its bytes are on the disk; files
// appear a group at a time instead of one by one.
#include <cstddef>
#include <memory>
#include <mutex>
#include <vector>

#include "platform/atomic_file.h"

namespace pixhaul {

class CommitGroup {
  public:
    // Files waiting at once before Add publishes them by default: each holds an open descriptor,
    // so a quarter of the process's descriptor limit, at least 128 and at most 4096 (every
    // publish waits on the disk twice, so the larger the group the cheaper each file).
    static std::size_t DefaultLimit();
    // Files with named temporaries waiting at once: the signal cleanup table must hold them all.
    static constexpr std::size_t kNamedLimit = 128;

    explicit CommitGroup(std::size_t limit = DefaultLimit());
    // Files not published are dropped: their targets stay untouched.
    ~CommitGroup();
    CommitGroup(const CommitGroup&) = delete;
    CommitGroup& operator=(const CommitGroup&) = delete;

    // Takes a file whose every byte was written; it appears with the next Publish, which Add runs
    // itself once the limit is reached. Safe to call from several threads at once. Throws
    // FileError (the file is then dropped) and what that Publish throws.
    void Add(AtomicFile&& file);
    // Flushes the waiting files to the disk, renames each over its target and flushes their
    // folders. Thread-safe. Throws FileError; files not renamed by then are dropped.
    void Publish();

  private:
    std::size_t limit_;
    std::mutex waitingLock_;
    std::vector<std::unique_ptr<AtomicFile>> waiting_;
    std::size_t namedWaiting_ = 0;
    std::mutex publishLock_;  // one Publish at a time, so folders are flushed after all renames
};

}  // namespace pixhaul
