#include "output_folder.h"

#include <sys/stat.h>

#include <filesystem>
#include <system_error>

#include "command.h"
#include "qxa_app.h"

namespace pixhaul::cli {

void MakeOutputFolder(const std::string& folder) {
    const std::filesystem::path path(folder);
    std::error_code error;
    if (std::filesystem::is_symlink(std::filesystem::symlink_status(path, error)) &&
        !std::filesystem::exists(path, error)) {
        const std::filesystem::path to = std::filesystem::read_symlink(path, error);
        throw CommandError(kExitFailure, "cannot use folder '" + folder +
                                             "': it is a symbolic link to '" + to.string() +
                                             "', which does not exist");
    }
    error.clear();
    std::filesystem::create_directories(path, error);
    if (error || !std::filesystem::is_directory(path)) {
        const std::string why = error ? error.message() : "Not a directory";
        throw CommandError(kExitFailure, "cannot create folder '" + folder + "': " + why);
    }
}

}  // namespace pixhaul::cli
