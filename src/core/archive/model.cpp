#include "archive/model.h"

#include <string>

#include "archive/archive.h"

namespace pixhaul {

ArchiveModel::ArchiveModel() {
    Images.emplace_back();
    Objects.emplace_back();
}

namespace {

// The stream bytes of record inside file plus the byte after them (0 at the end of the file);
// no stream when the record lies outside the file.
StreamBytes StreamOf(const ImageRecord& record, const std::shared_ptr<const ArchiveFile>& file) {
    if (!record.Loaded || !file || record.Length < 0) return {};
    const auto bytes = file->Bytes();
    const auto length = static_cast<std::uint64_t>(record.Length);
    if (record.StreamOffset > bytes.size() || length > bytes.size() - record.StreamOffset) {
        return {};
    }
    const std::size_t end = record.StreamOffset + length;
    const std::uint8_t after = end < bytes.size() ? bytes[end] : 0;
    return StreamBytes(file, bytes.subspan(record.StreamOffset, length), after);
}

}  // namespace

cBitMap& ArchiveModel::ImageBitmap(std::size_t index) const {
    (void)Images.at(index);  // out of range throws before a slot is made
    std::unique_ptr<cBitMap>& slot = bitmaps_[index];
    if (!slot) slot = MakeImageBitmap(index);
    return *slot;
}

std::unique_ptr<cBitMap> ArchiveModel::MakeImageBitmap(std::size_t index) const {
    const ImageRecord& record = Images.at(index);
    auto bitmap = std::make_unique<cBitMap>();
    bitmap->SetData(record.Height, record.Width, record.eType, StreamOf(record, File));
    return bitmap;
}

void ArchiveModel::AdoptImageBitmap(std::size_t index, std::unique_ptr<cBitMap> bitmap) {
    bitmaps_[index] = std::move(bitmap);
}

void ArchiveModel::ReleaseImageBitmaps() {
    for (auto& [index, bitmap] : bitmaps_) bitmap->Purge();
    std::unordered_map<std::size_t, std::unique_ptr<cBitMap>>().swap(bitmaps_);
}

bool ArchiveChangedOnDisk(const ArchiveModel& model) {
    return model.File != nullptr && model.File->ChangedOnDisk();
}

ArchiveChangedError::ArchiveChangedError(const std::string& path)
    : std::runtime_error(path + ": " + kArchiveChangedMessage), path_(path) {}

void ThrowIfArchiveChanged(const ArchiveModel& model) {
    if (ArchiveChangedOnDisk(model)) throw ArchiveChangedError(model.File->Path());
}

std::string ObjectItemText(const ArchiveModel& model, std::int32_t object) {
    const std::int32_t actions =
        object >= 0 && static_cast<std::size_t>(object) < model.Objects.size()
            ? model.Objects[static_cast<std::size_t>(object)].ActionCount
            : 0;
    return "Object " + std::to_string(object) + " (" + std::to_string(actions) + " actions)";
}

std::string ActionItemText(const ActionRecord& action) {
    return action.Name + " (" + std::to_string(action.DirectionCount) + " directions)";
}

std::string DirectionItemText(const DirectionRecord& direction, std::int32_t index) {
    return "Direction " + std::to_string(index) + " (" + std::to_string(direction.FrameCount) +
           " frames)";
}

std::string FrameItemText(const FrameRecord& frame, std::int32_t index) {
    // A frame that names no image (ImageIndex -1) reads "(#0)".
    return "Frame " + std::to_string(index) + " (#" +
           std::to_string(static_cast<std::int64_t>(frame.ImageIndex) + 1) + ")";
}

}  // namespace pixhaul
