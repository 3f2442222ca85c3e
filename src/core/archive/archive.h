#pragma once
// ResetArchive, ReadBlockPalette and LoadArchive.
#include <array>
#include <cstdint>
#include <stdexcept>
#include <string>
#include <vector>

#include "archive/model.h"
#include "platform/host.h"

namespace pixhaul {

// Empties the model, tells the host (ArchiveReset) and closes the archive file.
void ResetArchive(ArchiveModel& model, Host& host);

// The 256 palette entries of image block PaletteIndex, read from the open archive 8 bytes after
// the block's tag. All black when there is no such block or the file ends first.
std::array<COLORREF, 256> ReadBlockPalette(const ArchiveModel& model, std::int32_t PaletteIndex);

enum class LoadStatus {
    NotStarted,  // ArchivePath was ""
    Loaded,      // loaded completely
    Damaged,     // loaded what could be read; the user was told in one box what was wrong
                 // and where (every problem in the box's details)
    Rejected,    // version byte not known, or the file could not be opened: nothing loaded,
                 // the user was told (not told when the model was reset or reloaded while the
                 // host pumped events: the load stops and leaves the model as that left it)
    Canceled,    // the host asked to stop: nothing loaded, nothing told
};

// One thing wrong with a damaged archive and where it is.
struct LoadProblem {
    static constexpr std::int64_t kWholeFile = -1;  // a problem of the file as a whole
    std::int64_t offset = kWholeFile;               // byte offset in the file
    std::string message;
};

// "message (at byte offset N)", or the message alone for a problem of the whole file.
std::string LoadProblemText(const LoadProblem& problem);

struct LoadResult {
    LoadStatus status = LoadStatus::NotStarted;
    std::string problem;  // what was wrong (Damaged: the first problem; Rejected), as told
    // Every problem of a damaged archive in the order found (the first 1000 of a file that has
    // more); empty unless Damaged.
    std::vector<LoadProblem> problems;
};

// Loads the archive named by ArchivePath into the model. The file's bytes are read into memory
// and kept while anything of it is loaded; image streams share them. A damaged archive keeps what
// was read completely (a frame naming an unknown image gets ImageIndex -1; of two images with one
// id the first keeps it) and the user is told once, in a message box, what was wrong and where. The
// host reports every image (ImageLoaded) and the end of the load (ArchiveLoaded); the load asks
// IsCanceled after every image and every object and, when asked to, leaves nothing loaded.
LoadResult LoadArchive(ArchiveModel& model, const std::string& ArchivePath, Host& host);

// Loads the same tables, problems and messages as LoadArchive, reading the file front to back and
// keeping none of its bytes: for what only lists an archive. The file is read in pieces of
// pieceSize bytes into one reused buffer, or with kIndexMapped mapped and read in place. The
// mapping saves the copy only where the page cache holds the file in large pages (a file just
// written in large blocks): a file written 128 KiB at a time (`cat`, most copies) took 3,600
// page faults and five times as long mapped as read (103 against 25 ms for 200 MB), so pieces
// are the default. A file that cannot be mapped is read in pieces as well. The model cannot
// render or export its images (model.File holds no bytes; their streams read as empty). A file
// that shrinks while it is read is rejected.
inline constexpr std::size_t kIndexMapped = 0;
// The smallest piece, and the piece where the cache size is not known.
inline constexpr std::size_t kIndexPieceSize = std::size_t{128} << 10;
// A quarter of the level-2 cache, from kIndexPieceSize to 1 MiB: each piece read is a system
// call (1-2 us in a virtual machine), so a piece should be as large as stays in the cache
// while it is scanned and parsed. With 1 MiB of L2: 256 KiB pieces took 13.8-17.6 ms for the
// 200 MB archive against 15.3-18.8 ms in 128 KiB; with 512 KiB of L2, 1 MiB pieces took twice
// the CPU of 128 KiB.
std::size_t IndexPieceSize();
LoadResult LoadArchiveIndex(ArchiveModel& model, const std::string& ArchivePath, Host& host,
                            std::size_t pieceSize = IndexPieceSize());

// True when the archive the model was loaded from is no longer on disk as it was read: gone,
// replaced, or of another size or modification time. False when nothing is loaded.
bool ArchiveChangedOnDisk(const ArchiveModel& model);
inline constexpr const char* kArchiveChangedMessage =
    "the archive changed on disk while it was open";

// What an export throws when the archive changed on disk before it replaced any file; what()
// is "PATH: the archive changed on disk while it was open". The export's temporaries go with
// the unwinding, so nothing is written.
class ArchiveChangedError : public std::runtime_error {
  public:
    explicit ArchiveChangedError(const std::string& path);
    const std::string& Path() const { return path_; }

  private:
    std::string path_;
};

// Exports call this just before they replace their first file.
void ThrowIfArchiveChanged(const ArchiveModel& model);

// Caption texts.
inline constexpr const char* kCaptionRejected = "Pixhaul sprite image extractor v2.0";
inline constexpr const char* kCaptionUnloaded = "No file loaded";
inline constexpr const char* kVersionMessage = "File version not known (and thus not supported!)";

// The list texts of the browsing lists.
// The texts of the browsing lists: objects, actions, directions, frames.
std::string ObjectItemText(const ArchiveModel& model, std::int32_t object);
std::string ActionItemText(const ActionRecord& action);
std::string DirectionItemText(const DirectionRecord& direction, std::int32_t index);
std::string FrameItemText(const FrameRecord& frame, std::int32_t index);

}  // namespace pixhaul
