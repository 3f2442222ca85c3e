#pragma once
// The model of one loaded archive and the settings beside it.
#include <array>
#include <cstdint>
#include <memory>
#include <memory_resource>
#include <string>
#include <unordered_map>
#include <vector>

#include "bitmap/cbitmap.h"
#include "platform/archive_file.h"
#include "platform/large_block.h"
#include "platform/surface.h"
#include "platform/table_arena.h"

namespace pixhaul {

// One image: its header fields and where its stream lies in the archive file. Compact on
// purpose (archives hold hundreds of thousands of images); the image's cBitMap is made when it is
// first asked for (ArchiveModel::ImageBitmap).
struct ImageRecord {
    std::int32_t Id = 0;
    std::int32_t Length = 0;  // 0 marks an empty entry
    std::int16_t eType = 0;
    std::int16_t Height = 0;
    std::int16_t Width = 0;
    std::int16_t Extra1 = 0;
    std::int16_t Extra2 = 0;
    std::int16_t Extra3 = 0;
    std::int16_t Extra4 = 0;
    bool Loaded = false;             // false only in the empty entry of a model with no archive
    std::int32_t PaletteIndex = 0;   // the image block the image came from
    std::uint64_t StreamOffset = 0;  // offset of the stream's first byte in the archive file
};

// 40 bytes; with the room kept for more (under half a record each) an image costs at most 60.
static_assert(sizeof(ImageRecord) <= 40);

// One record an image: the largest table of a model (an archive may hold millions of images).
using ImageTable = std::vector<ImageRecord, LargeBlockAllocator<ImageRecord>>;

struct FrameRecord {
    std::int32_t Extra = 0;
    std::int32_t ImageIndex = 0;  // -1: the frame names an image the archive does not hold
};

// The objects' tables of a loaded archive live in its model's TableArena (ArchiveModel::Tables);
// tables made elsewhere (models built in code, copies) use the heap.
struct DirectionRecord {
    std::int32_t FrameCount = 0;
    std::pmr::vector<FrameRecord> Frames;
    std::int32_t Extra1 = 0;
    std::int32_t Extra2 = 0;
    std::int32_t Extra3 = 0;
    std::int32_t Extra4 = 0;
};

struct ActionRecord {
    std::int32_t DirectionCount = 0;
    std::pmr::vector<DirectionRecord> Directions;
    std::string Name;  // UTF-8 (the archive's 8-bit names are read as Latin-1)
};

struct ObjectRecord {
    std::int32_t ActionCount = 0;
    std::pmr::vector<ActionRecord> Actions;
};

// The tables of one loaded archive. Images and Objects always hold an entry 0.
// Indices are 32-bit here: archives with more than 32,768 images or objects load whole.
struct ArchiveModel {
    ArchiveModel();
    // The tables refer to the arena, which moves with them; assigning would drop the arena
    // before the tables in it.
    ArchiveModel(ArchiveModel&&) = default;
    ArchiveModel(const ArchiveModel&) = delete;
    ArchiveModel& operator=(const ArchiveModel&) = delete;
    ArchiveModel& operator=(ArchiveModel&&) = delete;

    ImageTable Images;
    // Where the loader puts the objects' tables; emptied by ResetArchive, after Objects.
    std::unique_ptr<TableArena> Tables = std::make_unique<TableArena>();
    std::vector<ObjectRecord> Objects;
    std::vector<std::int64_t> ImageBlockPos;  // offset of the byte after each "AGMI" tag
    std::int32_t LastImage = 0;
    std::int32_t ObjectCount = 0;
    std::int64_t ImageTotal = 0;
    std::int64_t TotalFrames = 0;
    std::uint8_t Version = 0;  // the archive's version byte ('T' or 'U'); 0 with no archive
    // The open archive file, from a successful load to the next reset.
    std::shared_ptr<const ArchiveFile> File;

    bool IsLoaded() const { return !Images.empty() && Images[0].Loaded; }

    // The cBitMap of image index (index < Images.size()), made on first use with the image's
    // stream shared from File. It lives until ReleaseImageBitmaps or the next reset.
    cBitMap& ImageBitmap(std::size_t index) const;
    // A new cBitMap of image index that the model does not keep. Only reads the model, so
    // several threads may each make and render their own at once.
    std::unique_ptr<cBitMap> MakeImageBitmap(std::size_t index) const;
    // Gives image index a bitmap made elsewhere (models built in code, without a file).
    void AdoptImageBitmap(std::size_t index, std::unique_ptr<cBitMap> bitmap);
    // Purges and releases every bitmap made so far. No reference to one may be held.
    void ReleaseImageBitmaps();
    // Number of bitmaps made so far.
    std::size_t ImageBitmapCount() const { return bitmaps_.size(); }

  private:
    mutable std::unordered_map<std::size_t, std::unique_ptr<cBitMap>> bitmaps_;
};

// The program-wide settings.
struct Settings {
    std::string ArchivePath;
    double Zoom = 1.0;
    COLORREF TransColor = 0xFF00FF;
    std::string ExportFolder;  // "" is the current folder; a trailing "/" is optional
    std::string ExportName;
    std::int16_t ExportMode = 1;
};

}  // namespace pixhaul
