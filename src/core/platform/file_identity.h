#pragma once
// Which file a path or descriptor names: two names of one file have the same device and inode.
#include <sys/types.h>

namespace pixhaul {

struct FileIdentity {
    dev_t device;
    ino_t inode;
};

}  // namespace pixhaul
