#include "archive_loading.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "command.h"
#include "qxa_app.h"
#include "terminal_text.h"

namespace pixhaul::cli {

namespace {

[[noreturn]] void CannotOpen(const std::string& path, int error) {
    throw CommandError(kExitFailure,
                       "cannot open '" + TerminalText(path) + "': " + std::strerror(error));
}

// The loader says little about files it cannot open; find out here first. Nothing but a
// regular file is opened: a FIFO would wait for a writer, a device could be read forever.
void CheckReadable(const std::string& path) {
    struct stat info {};
    if (::stat(path.c_str(), &info) != 0) CannotOpen(path, errno);
    if (S_ISDIR(info.st_mode)) CannotOpen(path, EISDIR);
    if (!S_ISREG(info.st_mode)) {
        throw CommandError(kExitFailure, TerminalText(path) + " is not a regular file");
    }
    const int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) CannotOpen(path, errno);
    ::close(fd);
}

}  // namespace

LoadResult LoadForCommand(ArchiveModel& model, const std::string& path, CliHost& host,
                          LoadKind kind) {
    CheckReadable(path);
    host.SetMessageContext(path + ": ");
    LoadResult result = kind == LoadKind::IndexOnly ? LoadArchiveIndex(model, path, host)
                                                    : LoadArchive(model, path, host);
    host.SetMessageContext("");
    host.EndProgress();
    // The loader has told the user about a refused or damaged archive in its message box.
    switch (result.status) {
        case LoadStatus::Rejected:
            throw CommandError(kExitFailure, "");
        case LoadStatus::NotStarted:
            throw CommandError(kExitFailure, TerminalText(path) + ": not a QXA archive");
        case LoadStatus::Canceled:
            throw WorkCanceled();
        case LoadStatus::Loaded:
        case LoadStatus::Damaged:
            break;
    }
    return result;
}

std::size_t LoadedImageCount(const ArchiveModel& model) {
    return model.IsLoaded() ? model.Images.size() : 0;
}

int ExportExitCode(const std::vector<std::int32_t>& corruptImages, LoadStatus load, CliHost& host) {
    for (std::int32_t image : corruptImages) {
        host.Tell("image " + std::to_string(image) + " could not be decoded");
    }
    return corruptImages.empty() && load != LoadStatus::Damaged ? kExitOk : kExitSomeImagesFailed;
}

}  // namespace pixhaul::cli
