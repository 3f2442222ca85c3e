#include "platform/atomic_file.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <limits>
#include <random>
#include <utility>
#include <vector>

#include "platform/replace_check.h"
#include "platform/temporary_registry.h"

namespace pixhaul {

namespace {

constexpr std::size_t kBufferSize = 1 << 20;
// Pieces at least this large go straight to the file instead of through the buffer.
constexpr std::size_t kDirectWriteSize = 256 << 10;
// Every this many bytes written, the disk is asked to start writing them out (without waiting), so
// that the flush before the file is named waits for the last stretch only, not the whole file.
constexpr std::uint64_t kWritebackStep = std::uint64_t{8} << 20;
constexpr int kNameAttempts = 64;
// Temporaries are named "." + the target's name (cut to this length) + ".XXXXXXXXXXXXXXXX.tmp".
constexpr std::size_t kTemporaryBaseLength = 200;

std::string Describe(int errnoValue) {
    char text[256] = {};
    // The GNU strerror_r may return a static string instead of filling text.
    const char* result = strerror_r(errnoValue, text, sizeof text);
    return result != nullptr ? std::string(result) : std::string("Unknown error");
}

// One generator per thread, seeded once.
std::uint64_t RandomNumber() {
    thread_local std::mt19937_64 generator{[] {
        std::random_device entropy;
        return (static_cast<std::uint64_t>(entropy()) << 32) ^ entropy();
    }()};
    return generator();
}

// Holds off the signals that remove named temporaries while a name appears or disappears, so
// that the handler's table and the folder agree.
// Holds an older target open while it is replaced. A rename that drops a file's last name
// frees its blocks at once unless the file is still open; held open, the rename is a pure
// change of names and the freeing waits for the close. That keeps the moment between the two
// renames of a pair as short as two system calls.
class HeldOpen {
  public:
    explicit HeldOpen(const std::string& path)
        : fd_(::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK)) {}
    ~HeldOpen() {
        if (fd_ >= 0) ::close(fd_);
    }
    HeldOpen(const HeldOpen&) = delete;
    HeldOpen& operator=(const HeldOpen&) = delete;

  private:
    int fd_;
};

class CleanupSignalsBlocked {
  public:
    CleanupSignalsBlocked() {
        sigset_t set;
        sigemptyset(&set);
        for (int signo : {SIGINT, SIGTERM, SIGHUP}) sigaddset(&set, signo);
        ::pthread_sigmask(SIG_BLOCK, &set, &previous_);
    }
    ~CleanupSignalsBlocked() { ::pthread_sigmask(SIG_SETMASK, &previous_, nullptr); }
    CleanupSignalsBlocked(const CleanupSignalsBlocked&) = delete;
    CleanupSignalsBlocked& operator=(const CleanupSignalsBlocked&) = delete;

  private:
    sigset_t previous_;
};

bool NoUnnamedFiles(int error) {
    return error == EOPNOTSUPP || error == EISDIR || error == EINVAL;
}

// An unnamed file gets its name through /proc/self/fd. Without /proc (a bare chroot or
// container) it could never be named, and all its writing would be lost at the commit: the
// temporary is then named from the start.
bool CanNameUnnamedFiles() {
    static const bool can = ::access("/proc/self/fd", X_OK) == 0;
    return can;
}

}  // namespace

FileError::FileError(int number, std::string description, std::string path)
    : std::runtime_error(path + ": " + description),
      number_(number),
      description_(std::move(description)),
      path_(std::move(path)) {}

void ThrowFileError(int errnoValue, const std::string& path) {
    throw FileError(errnoValue, Describe(errnoValue), path);
}

AtomicFile::AtomicFile(std::string target) : target_(std::move(target)) {
    const std::size_t slash = target_.rfind('/');
    folder_ = slash == std::string::npos ? std::string(".")
              : slash == 0               ? std::string("/")
                                         : target_.substr(0, slash);
    if (slash + 1 == target_.size() && slash != std::string::npos) ThrowFileError(EISDIR, target_);
    if (target_.empty()) ThrowFileError(ENOENT, target_);
    CheckReplaceable(target_);

    // Before the file exists, so a failure here leaves nothing. Not cleared: only the bytes
    // written are ever read, and a small file touches only the pages it needs.
    buffer_ = std::make_unique_for_overwrite<std::uint8_t[]>(kBufferSize);
    if (CanNameUnnamedFiles()) {
        fd_ = ::open(folder_.c_str(), O_TMPFILE | O_RDWR | O_CLOEXEC, 0666);
        if (fd_ >= 0) return;
        if (!NoUnnamedFiles(errno)) ThrowFileError(errno, target_);
    }
    CreateNamed();
}

AtomicFile::~AtomicFile() {
    Discard();
}

AtomicFile::AtomicFile(AtomicFile&& other) noexcept
    : target_(std::move(other.target_)),
      folder_(std::move(other.folder_)),
      temporary_(std::exchange(other.temporary_, {})),
      fd_(std::exchange(other.fd_, -1)),
      registrySlot_(std::exchange(other.registrySlot_, -1)),
      prepared_(other.prepared_),
      committed_(other.committed_),
      buffer_(std::move(other.buffer_)),
      used_(std::exchange(other.used_, 0)),
      written_(other.written_),
      inFile_(other.inFile_),
      writebackStarted_(other.writebackStarted_),
      scratch_(other.scratch_),
      overwritten_(other.overwritten_),
      scratchBytes_(other.scratchBytes_) {}

// A temporary name beside the target, not taken yet when chosen.
static std::string TemporaryName(const std::string& folder, const std::string& target) {
    const std::size_t slash = target.rfind('/');
    const std::string base = slash == std::string::npos ? target : target.substr(slash + 1);
    char suffix[32];
    std::snprintf(suffix, sizeof suffix, ".%016llx.tmp",
                  static_cast<unsigned long long>(RandomNumber()));
    std::string name = folder;
    name.append("/.").append(base, 0, kTemporaryBaseLength).append(suffix);
    return name;
}

void AtomicFile::CreateNamed() {
    for (int attempt = 0; attempt < kNameAttempts; ++attempt) {
        std::string candidate = TemporaryName(folder_, target_);
        CleanupSignalsBlocked blocked;
        const int fd = ::open(candidate.c_str(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (fd >= 0) {
            fd_ = fd;
            temporary_ = std::move(candidate);
            registrySlot_ = RegisterTemporary(temporary_.c_str());
            return;
        }
        if (errno != EEXIST) ThrowFileError(errno, target_);
    }
    ThrowFileError(EEXIST, target_);
}

void AtomicFile::NameUnnamed() {
    char self[64];
    std::snprintf(self, sizeof self, "/proc/self/fd/%d", fd_);
    for (int attempt = 0; attempt < kNameAttempts; ++attempt) {
        std::string candidate = TemporaryName(folder_, target_);
        CleanupSignalsBlocked blocked;
        if (::linkat(AT_FDCWD, self, AT_FDCWD, candidate.c_str(), AT_SYMLINK_FOLLOW) == 0) {
            temporary_ = std::move(candidate);
            registrySlot_ = RegisterTemporary(temporary_.c_str());
            return;
        }
        if (errno != EEXIST) ThrowFileError(errno, target_);
    }
    ThrowFileError(EEXIST, target_);
}

void AtomicFile::Reserve(std::uint64_t bytes) noexcept {
    if (fd_ < 0 || bytes == 0 || bytes > std::uint64_t{std::numeric_limits<off_t>::max()}) return;
    (void)::fallocate(fd_, FALLOC_FL_KEEP_SIZE, 0, static_cast<off_t>(bytes));
}

void AtomicFile::Write(const void* data, std::size_t size) {
    if (fd_ < 0) ThrowFileError(EBADF, target_);
    if (size == 0) return;  // data may then be null (an empty vector's data())
    const auto* bytes = static_cast<const std::uint8_t*>(data);
    if (size >= kDirectWriteSize || size >= kBufferSize - used_) {
        Flush();
        if (size >= kDirectWriteSize) {
            WriteDirect(bytes, size);
            written_ += size;
            return;
        }
    }
    std::memcpy(buffer_.get() + used_, bytes, size);
    used_ += size;
    written_ += size;
}

void AtomicFile::Scratch() {
    scratch_ = true;
}

void AtomicFile::EndScratch() {
    if (fd_ < 0 || prepared_) ThrowFileError(EBADF, target_);
    Flush();
    if (::lseek(fd_, 0, SEEK_SET) != 0) ThrowFileError(errno, target_);
    scratchBytes_ = inFile_;
    scratch_ = false;
    overwritten_ = true;
    written_ = 0;
    inFile_ = 0;
    writebackStarted_ = 0;
}

void AtomicFile::ReadScratch(std::uint64_t offset, std::span<std::uint8_t> out) const {
    if (fd_ < 0) ThrowFileError(EBADF, target_);
    if (offset > scratchBytes_ || out.size() > scratchBytes_ - offset) ThrowFileError(EIO, target_);
    std::size_t done = 0;
    while (done < out.size()) {
        const ssize_t n =
            ::pread(fd_, out.data() + done, out.size() - done, static_cast<off_t>(offset + done));
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) ThrowFileError(n < 0 ? errno : EIO, target_);
        done += static_cast<std::size_t>(n);
    }
}

void AtomicFile::Flush() {
    if (used_ == 0) return;
    WriteDirect(buffer_.get(), used_);
    used_ = 0;
}

void AtomicFile::WriteDirect(const std::uint8_t* data, std::size_t size) {
    while (size > 0) {
        const ssize_t n = ::write(fd_, data, size);
        if (n < 0) {
            if (errno == EINTR) continue;
            ThrowFileError(errno, target_);
        }
        if (n == 0) ThrowFileError(EIO, target_);
        data += n;
        size -= static_cast<std::size_t>(n);
        inFile_ += static_cast<std::uint64_t>(n);
    }
    if (!scratch_ && inFile_ - writebackStarted_ >= kWritebackStep) {
        // Only a head start: whatever fails here, the flush in Sync() reports.
        ::sync_file_range(fd_, static_cast<off_t>(writebackStarted_),
                          static_cast<off_t>(inFile_ - writebackStarted_), SYNC_FILE_RANGE_WRITE);
        writebackStarted_ = inFile_;
    }
}

void AtomicFile::Prepare() {
    Sync();
    Name();
}

void AtomicFile::Sync() {
    WriteOut(true);
}

void AtomicFile::WriteOut(bool toDisk) {
    if (fd_ < 0 || prepared_) ThrowFileError(EBADF, target_);
    try {
        Flush();
        // Scratch bytes past the real contents go.
        if (overwritten_ && ::ftruncate(fd_, static_cast<off_t>(inFile_)) != 0) {
            ThrowFileError(errno, target_);
        }
        // What stands in the target's place may have changed since the file was begun.
        CheckReplaceable(target_);
        struct stat existing {};
        if (::lstat(target_.c_str(), &existing) == 0 && S_ISREG(existing.st_mode)) {
            if (::fchmod(fd_, existing.st_mode & 0777) != 0) ThrowFileError(errno, target_);
        }
        if (toDisk && ::fsync(fd_) != 0) ThrowFileError(errno, target_);
    } catch (...) {
        Discard();
        throw;
    }
}

// Names the file as late as possible: a SIGKILL between this and the rename leaves the name.
void AtomicFile::Name() {
    if (fd_ < 0 || prepared_) ThrowFileError(EBADF, target_);
    try {
        if (temporary_.empty()) NameUnnamed();
        const int fd = fd_;
        fd_ = -1;
        if (::close(fd) != 0) ThrowFileError(errno, target_);
    } catch (...) {
        Discard();
        throw;
    }
    prepared_ = true;
    buffer_.reset();
}

void AtomicFile::Rename() {
    if (!prepared_ || committed_) ThrowFileError(EBADF, target_);
    int error = 0;
    {
        CleanupSignalsBlocked blocked;
        if (::rename(temporary_.c_str(), target_.c_str()) == 0) {
            UnregisterTemporary(registrySlot_);
            registrySlot_ = -1;
            committed_ = true;
        } else {
            error = errno;
        }
    }
    if (error != 0) {
        Discard();
        ThrowFileError(error, target_);
    }
}

void AtomicFile::SyncFolder() const {
    const int fd = ::open(folder_.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) ThrowFileError(errno, folder_);
    const int result = ::fsync(fd);
    const int error = errno;
    ::close(fd);
    // Some file systems cannot flush a folder (EINVAL); their renames are as durable as they get.
    if (result != 0 && error != EINVAL) ThrowFileError(error, target_);
}

void AtomicFile::Publish() {
    Rename();
    SyncFolder();
}

void AtomicFile::Commit() {
    Prepare();
    Publish();
}

namespace {

// Exchanges what two names stand for, in one step.
bool SwapNames(const std::string& a, const std::string& b) {
    return ::renameat2(AT_FDCWD, a.c_str(), AT_FDCWD, b.c_str(), RENAME_EXCHANGE) == 0;
}

}  // namespace

AtomicFile::Placed AtomicFile::PlaceKeepingOlder() {
    if (!prepared_ || committed_) ThrowFileError(EBADF, target_);
    CleanupSignalsBlocked blocked;
    if (SwapNames(temporary_, target_)) {
        // A swap, unlike a rename, would also take a folder or a device's place: what came out
        // of the target's place must be a file or a link, else the swap is undone.
        struct stat older {};
        if (::lstat(temporary_.c_str(), &older) == 0 &&
            (S_ISREG(older.st_mode) || S_ISLNK(older.st_mode))) {
            return Placed::Swapped;
        }
        if (SwapNames(temporary_, target_)) {
            Discard();
        } else {
            Abandon();  // whatever the temporary name now holds is not ours to remove
        }
        ThrowFileError(S_ISDIR(older.st_mode) ? EISDIR : EEXIST, target_);
    }
    // No older file to swap with (ENOENT), or a file system that cannot swap: a plain rename,
    // which cannot be undone where it replaces a file.
    const int swapError = errno;
    const bool renameInstead = swapError == ENOENT || swapError == EINVAL || swapError == ENOSYS;
    if (renameInstead && ::rename(temporary_.c_str(), target_.c_str()) == 0) {
        return swapError == ENOENT ? Placed::Created : Placed::Replaced;
    }
    const int error = renameInstead ? errno : swapError;
    Discard();
    ThrowFileError(error, target_);
}

void AtomicFile::KeepPlaced(Placed placed) noexcept {
    CleanupSignalsBlocked blocked;
    // The temporary name now holds the older file, or nothing.
    if (placed == Placed::Swapped) ::unlink(temporary_.c_str());
    Abandon();
}

void AtomicFile::Unplace(Placed placed) noexcept {
    CleanupSignalsBlocked blocked;
    bool undone = false;
    if (placed == Placed::Swapped) {
        undone = SwapNames(temporary_, target_);
    } else if (placed == Placed::Created) {
        undone = ::rename(target_.c_str(), temporary_.c_str()) == 0;
    }
    if (undone) {
        Discard();  // the new file, back under its temporary name
        return;
    }
    // The new file stays in place; where the swap back failed, the older one stays under the
    // temporary name rather than being removed.
    Abandon();
}

void AtomicFile::Abandon() noexcept {
    UnregisterTemporary(registrySlot_);
    registrySlot_ = -1;
    committed_ = true;
    temporary_.clear();
}

void PublishTogether(std::span<AtomicFile* const> files) {
    {
        // Each file swaps places with its older one, which waits under the temporary name
        // until every file is in place: if one rename fails, the swaps before it are undone and
        // every target keeps its older file. Meanwhile the temporaries hold files the cleanup
        // on a signal must not remove.
        CleanupSignalsBlocked blocked;
        std::vector<AtomicFile::Placed> placed;
        placed.reserve(files.size());
        try {
            for (AtomicFile* file : files) placed.push_back(file->PlaceKeepingOlder());
        } catch (...) {
            for (std::size_t i = placed.size(); i-- > 0;) files[i]->Unplace(placed[i]);
            for (std::size_t i = placed.size() + 1; i < files.size(); ++i) files[i]->Discard();
            throw;
        }
        for (std::size_t i = 0; i < files.size(); ++i) files[i]->KeepPlaced(placed[i]);
    }
    std::vector<const std::string*> synced;
    for (const AtomicFile* file : files) {
        if (std::none_of(synced.begin(), synced.end(),
                         [&](const std::string* folder) { return *folder == file->folder_; })) {
            file->SyncFolder();
            synced.push_back(&file->folder_);
        }
    }
}

void CommitTogether(AtomicFile& first, AtomicFile& second) {
    // The slow part (writing out and flushing) for both before either gets a name.
    first.Sync();
    second.Sync();
    const HeldOpen olderFirst(first.target_);
    const HeldOpen olderSecond(second.target_);
    first.Name();
    second.Name();
    AtomicFile* const pair[] = {&first, &second};
    PublishTogether(pair);
}

void AtomicFile::Discard() noexcept {
    if (fd_ >= 0) {
        ::close(fd_);
        fd_ = -1;
    }
    if (!committed_ && !temporary_.empty()) {
        CleanupSignalsBlocked blocked;
        ::unlink(temporary_.c_str());
        UnregisterTemporary(registrySlot_);
        registrySlot_ = -1;
    }
    temporary_.clear();
    buffer_.reset();
    used_ = 0;
}

}  // namespace pixhaul
