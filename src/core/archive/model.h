#pragma once
// The model of one loaded archive and the settings beside it.
#include <array>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "bitmap/cbitmap.h"
#include "platform/mapped_file.h"
#include "platform/surface.h"

namespace pixhaul {

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
    std::unique_ptr<cBitMap> Bitmap;  // null in an empty entry
    std::int32_t PaletteIndex = 0;  // the image block the image came from
};

struct FrameRecord {
    std::int32_t Extra = 0;
    std::int32_t ImageIndex = 0;  // -1: the frame names an image the archive does not hold
};

struct DirectionRecord {
    std::int32_t FrameCount = 0;
    std::vector<FrameRecord> Frames;
    std::int32_t Extra1 = 0;
    std::int32_t Extra2 = 0;
    std::int32_t Extra3 = 0;
    std::int32_t Extra4 = 0;
};

struct ActionRecord {
    std::int32_t DirectionCount = 0;
    std::vector<DirectionRecord> Directions;
    std::string Name;  // UTF-8 (the archive's 8-bit names are read as Latin-1)
};

struct ObjectRecord {
    std::int32_t ActionCount = 0;
    std::vector<ActionRecord> Actions;
};

// The tables of one loaded archive. Images and Objects always hold an entry 0.
// Indices are 32-bit here: archives with more than 32,768 images or objects load whole.
struct ArchiveModel {
    ArchiveModel();

    std::vector<ImageRecord> Images;
    std::vector<ObjectRecord> Objects;
    std::vector<std::int64_t> ImageBlockPos;  // offset of the byte after each "AGMI" tag
    std::int32_t LastImage = 0;
    std::int32_t ObjectCount = 0;
    std::int64_t ImageTotal = 0;
    std::int64_t TotalFrames = 0;
    // The open archive file, from a successful load to the next reset.
    std::shared_ptr<const MappedFile> File;

    bool IsLoaded() const { return !Images.empty() && Images[0].Bitmap != nullptr; }
};

// The program-wide settings.
struct Settings {
    std::string ArchivePath;
    double Zoom = 1.0;
    COLORREF TransColor = 0xFF00FF;
    std::string ExportFolder;  // always ends in "/"
    std::string ExportName;
    std::int16_t ExportMode = 1;
};

}  // namespace pixhaul
