#pragma once
// Files that appear complete or not at all. Bytes go to a temporary file in the target's own
// folder; Commit() renames it over the target. Until then an older file of that name stays as it
// was, and a writer that is dropped or fails removes its temporary file. A writer that is killed
// cannot remove it: its temporary carries its process id in the name (".NAME.PID.XXXXXXXX.tmp"),
// and the next writer of the same target removes those whose process no longer runs.
#include <cstddef>
#include <cstdint>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

namespace pixhaul {

// A failure to create or write a file: an errno number, its description and the file's path.
// number and description are what the "Error N Encountered:" box shows.
class FileError : public std::runtime_error {
  public:
    FileError(int number, std::string description, std::string path);

    int Number() const { return number_; }
    const std::string& Description() const { return description_; }
    const std::string& Path() const { return path_; }

  private:
    int number_;
    std::string description_;
    std::string path_;
};

// Throws FileError for errnoValue with strerror's text.
[[noreturn]] void ThrowFileError(int errnoValue, const std::string& path);

// Whether a new AtomicFile first looks for what dead writers of its target left behind. That
// takes a listing of the folder; a batch that writes many files into one folder removes them all
// once with RemoveStaleTemporaries and then keeps the listing out of every file it writes.
enum class StaleTemporaries { Remove, Keep };

// Removes every temporary in folder whose writer no longer runs, whatever its target. Best
// effort: what cannot be listed or removed stays.
void RemoveStaleTemporaries(const std::string& folder);

class AtomicFile {
  public:
    // Removes temporaries of target left by writers that died (unless told to keep them), then
    // creates its own beside target. Throws FileError when that is not possible (no such folder,
    // no permission, ...).
    explicit AtomicFile(std::string target, StaleTemporaries stale = StaleTemporaries::Remove);
    // Without a Commit, removes the temporary file; the target is untouched.
    ~AtomicFile();
    AtomicFile(const AtomicFile&) = delete;
    AtomicFile& operator=(const AtomicFile&) = delete;

    // Appends bytes (buffered). Throws FileError.
    void Write(const void* data, std::size_t size);
    // Writes what is buffered, closes the file and renames it over the target. Throws FileError;
    // after a failure the temporary file is gone and the target untouched.
    void Commit();
    // Gives up: the temporary file is removed, the target untouched. Safe to call twice.
    void Discard() noexcept;

    const std::string& TargetPath() const { return target_; }
    const std::string& TemporaryPath() const { return temporary_; }
    // Bytes accepted by Write so far.
    std::uint64_t BytesWritten() const { return written_; }

  private:
    void Flush();
    void WriteDirect(const std::uint8_t* data, std::size_t size);

    std::string target_;
    std::string temporary_;
    int fd_ = -1;
    bool committed_ = false;
    std::unique_ptr<std::uint8_t[]> buffer_;
    std::size_t used_ = 0;
    std::uint64_t written_ = 0;
};

}  // namespace pixhaul
