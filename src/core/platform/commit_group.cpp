#include "platform/commit_group.h"

#include <fcntl.h>
#include <sys/resource.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <string>

namespace pixhaul {

namespace {

// Flushes everything written to the file system that holds folder.
void SyncFileSystemOf(const std::string& folder) {
    const int fd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) ThrowFileError(errno, folder);
    const int result = ::syncfs(fd);
    const int error = errno;
    ::close(fd);
    if (result != 0) ThrowFileError(error, folder);
}

}  // namespace

std::size_t CommitGroup::DefaultLimit() {
    rlimit limit{};
    if (::getrlimit(RLIMIT_NOFILE, &limit) != 0 || limit.rlim_cur == RLIM_INFINITY) return 4096;
    return std::clamp<std::size_t>(static_cast<std::size_t>(limit.rlim_cur / 4), 128, 4096);
}

CommitGroup::CommitGroup(std::size_t limit) : limit_(std::max<std::size_t>(limit, 1)) {}

CommitGroup::~CommitGroup() = default;

void CommitGroup::Add(AtomicFile&& file) {
    auto taken = std::make_unique<AtomicFile>(std::move(file));
    taken->WriteOut(false);
    taken->buffer_.reset();
    bool full = false;
    {
        const std::lock_guard lock(waitingLock_);
        if (!taken->TemporaryPath().empty()) ++namedWaiting_;
        waiting_.push_back(std::move(taken));
        full = waiting_.size() >= limit_ || namedWaiting_ >= kNamedLimit;
    }
    if (full) Publish();
}

void CommitGroup::Publish() {
    const std::lock_guard publishing(publishLock_);
    std::vector<std::unique_ptr<AtomicFile>> files;
    {
        const std::lock_guard lock(waitingLock_);
        files.swap(waiting_);
        namedWaiting_ = 0;
    }
    if (files.empty()) return;
    std::vector<const AtomicFile*> folders;  // one file of each folder
    for (const auto& file : files) {
        const bool known = std::any_of(folders.begin(), folders.end(), [&](const AtomicFile* f) {
            return f->folder_ == file->folder_;
        });
        if (!known) folders.push_back(file.get());
    }
    for (const AtomicFile* file : folders) SyncFileSystemOf(file->folder_);
    for (const auto& file : files) {
        file->Name();
        file->Rename();
    }
    for (const AtomicFile* file : folders) file->SyncFolder();
}

}  // namespace pixhaul
