#include "archive/archive.h"

namespace pixhaul {

void ResetArchive(ArchiveModel& model, Host& host) {
    model.ReleaseImageBitmaps();
    // Swap with fresh vectors so that the memory of a large archive goes too.
    ImageTable().swap(model.Images);
    model.Images.emplace_back();
    model.LastImage = 0;
    model.ObjectCount = 0;
    model.ImageTotal = 0;
    model.TotalFrames = 0;
    model.Version = 0;
    host.ThumbnailBlockLoaded(false);
    std::vector<ObjectRecord>().swap(model.Objects);
    model.Tables->Release();
    model.Objects.emplace_back();
    model.ImageBlockPos.clear();
    host.ArchiveReset();
    // The streams of the released bitmaps shared the file's bytes; this was the last reference.
    model.File.reset();
}

}  // namespace pixhaul
