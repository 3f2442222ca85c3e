#pragma once
// Names of export files: splitting a path the user chose into folder and name, and the automatic
// names an export picks when ExportName is empty.
#include <cstdint>
#include <string>

#include "archive/model.h"

namespace pixhaul {

// The export modes (Settings::ExportMode, the items of the export-mode menu).
enum class ExportMode : std::int16_t {
    AllThumbnails = 0,  // never offered
    AllObjects = 1,
    SelectedObject = 2,
    SelectedAction = 3,
    SelectedDirection = 4,
    Unused = 5,  // never offered
    DisplayedImage = 6,
    FromList = 7,
};

struct SplitPath {
    std::string Folder;  // up to and including the last "/" ("" when the path holds none)
    std::string Name;    // after the last "/", without a four-character extension
};

// "/out/walk.bmp" -> {"/out/", "walk"}. The extension goes only when there is one (a dot and three
// characters); a shorter name is kept whole, and ".bmp" alone becomes "".
SplitPath SplitExportPath(const std::string& path);

// Removes a four-character extension (a dot and three characters) when the name ends in one.
std::string RemoveExtension(const std::string& name);

// Removes the extension of a name typed on the command line, but only one of the files the
// exports write (.bmp .png .dat .sif, any case): "level.001" stays whole.
std::string RemoveKnownExtension(const std::string& name);
// The folder as export paths are built from it: with one trailing '/', or "" (the current
// folder) when it is empty.
std::string FolderWithSlash(const std::string& folder);

// An automatic name made short enough for the folder's file system (NAME_MAX) with an extension
// of extensionLength bytes after it: a longer name keeps its start and gets "-" and a hash of the
// whole name, so different long names stay different. Names that fit come back unchanged.
std::string FitFileName(const std::string& folder, const std::string& name,
                        std::size_t extensionLength);

// fileName in folder: "" is the current folder, and a folder may end in "/" or not.
std::string ExportPath(const std::string& folder, const std::string& fileName);

// The part of a path after its last "/" (the whole path if it holds none).
std::string FileNameOf(const std::string& path);

// The automatic name of mode 1: the archive's file name without its extension.
std::string ArchiveBaseName(const std::string& ArchivePath);

// The automatic name of a bitmap export. object, action and direction are the selected indices
// of the three lists (-1 = none); image is the displayed image. Returns "" when the mode's
// selection names nothing that exists.
std::string AutomaticExportName(const ArchiveModel& model, const std::string& ArchivePath,
                                ExportMode mode, std::int32_t object, std::int32_t action,
                                std::int32_t direction, std::int32_t image);

// The automatic name of a SIF export: the object's text in the objects list.
std::string AutomaticSifName(const ArchiveModel& model, std::int32_t object);

// An action name from the archive made fit for a file name: "/" and control characters become
// "_", so a name can never point into another folder.
std::string SafeFileName(const std::string& name);

// "Image 12"
std::string ImageExportName(std::int32_t image);
inline constexpr const char* kSequenceExportName = "Sequence";

}  // namespace pixhaul
