#pragma once
// ResetArchive, ReadBlockPalette and LoadArchive.
#include <array>
#include <cstdint>
#include <stdexcept>
#include <string>

#include "archive/model.h"
#include "platform/host.h"

namespace pixhaul {

// Empties the model and the browsing controls (through the host) and closes the archive file.
void ResetArchive(ArchiveModel& model, Host& host);

// The 256 palette entries of image block PaletteIndex, read from the open archive 8 bytes after
// the block's tag. All black when there is no such block or the file ends first.
std::array<COLORREF, 256> ReadBlockPalette(const ArchiveModel& model, std::int32_t PaletteIndex);

enum class LoadStatus {
    NotStarted,  // ArchivePath was ""
    Loaded,      // loaded completely
    Damaged,     // loaded what could be read; the user was told what was wrong and where
    Rejected,    // version byte not known, or the file could not be opened: nothing loaded
                 // (also when the model was reset or reloaded while the host pumped events:
                 // the load stops and leaves the model as that left it)
};

struct LoadResult {
    LoadStatus status = LoadStatus::NotStarted;
    std::string problem;  // what was wrong (Damaged, Rejected), as told to the user
};

// Loads the archive named by ArchivePath into the model. The file's bytes are read into memory
// and kept while anything of it is loaded; image streams share them. A damaged archive keeps what
// was read completely (a frame naming an unknown image gets ImageIndex -1; of two images with one
// id the first keeps it) and the user is told once, in a message box, what was wrong and where. The
// host reports every image (ImageLoaded) and the end of the load (ArchiveLoaded).
LoadResult LoadArchive(ArchiveModel& model, const std::string& ArchivePath, Host& host);

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
std::string ObjectItemText(const ArchiveModel& model, std::int32_t object);           // List1
std::string ActionItemText(const ActionRecord& action);                               // List2
std::string DirectionItemText(const DirectionRecord& direction, std::int32_t index);  // List3
std::string FrameItemText(const FrameRecord& frame, std::int32_t index);              // List4

}  // namespace pixhaul
