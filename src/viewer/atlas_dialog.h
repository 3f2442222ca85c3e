#pragma once
// The option dialogs of Export Atlas... and Export Frames...: where the files go and how they are
// made. Each is a replaceable function, so tests can answer in place of the user.
#include <functional>
#include <string>

#include "export/atlas_export.h"
#include "export/frames_export.h"

class QWidget;

namespace pixhaul::viewer {

struct AtlasChoice {
    std::string Folder;          // without a trailing "/"
    std::string Name;            // without extension; "" for the automatic name
    AtlasExportRequest Request;  // everything but the selection
};

struct FramesChoice {
    std::string Folder;           // without a trailing "/"
    FramesExportRequest Request;  // everything but the selection
};

// Each returns false when the user cancels; otherwise the choice holds what the user set.
struct ExportChoosers {
    ExportChoosers();
    std::function<bool(QWidget* Owner, AtlasChoice& choice)> Atlas;
    std::function<bool(QWidget* Owner, FramesChoice& choice)> Frames;
};

}  // namespace pixhaul::viewer
