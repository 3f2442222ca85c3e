#pragma once
// Which file a path named when it was opened: the device and inode survive renames and tell
// whether a path about to be written is that same file.
#include <sys/types.h>

namespace pixhaul {

struct FileIdentity {
    dev_t device = 0;
    ino_t inode = 0;

    bool operator==(const FileIdentity&) const = default;
};

}  // namespace pixhaul
