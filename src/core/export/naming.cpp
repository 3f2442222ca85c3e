#include "export/naming.h"

#include <limits.h>
#include <unistd.h>

#include <cctype>
#include <cstdio>
#include <cstring>
#include <filesystem>

#include "archive/archive.h"

namespace pixhaul {

std::string RemoveExtension(const std::string& name) {
    if (name.size() >= 4 && name[name.size() - 4] == '.') return name.substr(0, name.size() - 4);
    return name;
}

std::string FolderWithSlash(const std::string& folder) {
    return folder.empty() || folder.back() == '/' ? folder : folder + "/";
}

std::string RemoveKnownExtension(const std::string& name) {
    if (name.size() < 4 || name[name.size() - 4] != '.') return name;
    std::string extension = name.substr(name.size() - 3);
    for (char& c : extension) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    for (const char* known : {"bmp", "png", "dat", "sif"}) {
        if (extension == known) return name.substr(0, name.size() - 4);
    }
    return name;
}

std::string FitFileName(const std::string& folder, const std::string& name,
                        std::size_t extensionLength) {
    const long limit = ::pathconf(folder.empty() ? "." : folder.c_str(), _PC_NAME_MAX);
    const std::size_t longest = limit > 0 ? static_cast<std::size_t>(limit) : NAME_MAX;
    if (name.size() + extensionLength <= longest) return name;
    std::uint32_t hash = 2166136261u;  // FNV-1a
    for (unsigned char c : name) hash = (hash ^ c) * 16777619u;
    char tail[16];
    std::snprintf(tail, sizeof tail, "-%08x", static_cast<unsigned>(hash));
    const std::size_t tailLength = std::strlen(tail);
    std::size_t keep =
        longest > extensionLength + tailLength ? longest - extensionLength - tailLength : 0;
    // Not in the middle of a UTF-8 sequence.
    while (keep > 0 && (static_cast<unsigned char>(name[keep]) & 0xC0) == 0x80) --keep;
    return name.substr(0, keep) + tail;
}

std::string ExportPath(const std::string& folder, const std::string& fileName) {
    return (std::filesystem::path(folder) / fileName).string();
}

std::string FileNameOf(const std::string& path) {
    const auto slash = path.rfind('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

SplitPath SplitExportPath(const std::string& path) {
    const auto slash = path.rfind('/');
    SplitPath split;
    split.Folder = slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
    split.Name = RemoveExtension(FileNameOf(path));
    return split;
}

std::string ArchiveBaseName(const std::string& ArchivePath) {
    return RemoveExtension(FileNameOf(ArchivePath));
}

std::string SafeFileName(const std::string& name) {
    std::string safe = name;
    for (char& c : safe) {
        if (c == '/' || static_cast<unsigned char>(c) < 0x20) c = '_';
    }
    return safe;
}

std::string ImageExportName(std::int32_t image) {
    return "Image " + std::to_string(image);
}

namespace {

const ObjectRecord* ObjectAt(const ArchiveModel& model, std::int32_t object) {
    if (object < 0 || static_cast<std::size_t>(object) >= model.Objects.size()) return nullptr;
    return &model.Objects[static_cast<std::size_t>(object)];
}

const ActionRecord* ActionAt(const ArchiveModel& model, std::int32_t object, std::int32_t action) {
    const ObjectRecord* o = ObjectAt(model, object);
    if (o == nullptr || action < 0 || static_cast<std::size_t>(action) >= o->Actions.size()) {
        return nullptr;
    }
    return &o->Actions[static_cast<std::size_t>(action)];
}

}  // namespace

std::string AutomaticSifName(const ArchiveModel& model, std::int32_t object) {
    return ObjectAt(model, object) ? ObjectItemText(model, object) : std::string();
}

std::string AutomaticExportName(const ArchiveModel& model, const std::string& ArchivePath,
                                ExportMode mode, std::int32_t object, std::int32_t action,
                                std::int32_t direction, std::int32_t image) {
    switch (mode) {
        case ExportMode::AllObjects:
            return ArchiveBaseName(ArchivePath);
        case ExportMode::SelectedObject:
            return AutomaticSifName(model, object);
        case ExportMode::SelectedAction: {
            const ActionRecord* a = ActionAt(model, object, action);
            if (a == nullptr) return {};
            // The loader names an unnamed action "Action N"; every object has one of those, so
            // such a name needs its object's to tell the files apart. A chosen name stays plain.
            const bool automatic = a->Name == "Action " + std::to_string(action);
            return SafeFileName(automatic
                                    ? ObjectItemText(model, object) + " - " + ActionItemText(*a)
                                    : ActionItemText(*a));
        }
        case ExportMode::SelectedDirection: {
            const ActionRecord* a = ActionAt(model, object, action);
            if (a == nullptr || direction < 0 ||
                static_cast<std::size_t>(direction) >= a->Directions.size()) {
                return {};
            }
            return ObjectItemText(model, object) + " - " +
                   DirectionItemText(a->Directions[static_cast<std::size_t>(direction)], direction);
        }
        case ExportMode::DisplayedImage:
            return ImageExportName(image);
        case ExportMode::FromList:
            return kSequenceExportName;
        default:
            return {};
    }
}

}  // namespace pixhaul
