#pragma once
// What an export may replace: a regular file, or a symbolic link (the link itself is replaced,
// never the file it points to), and never the file the export reads from.
#include <optional>
#include <string>

#include "platform/file_identity.h"

namespace pixhaul {

// The identity of the file path names, links resolved; empty when there is none.
std::optional<FileIdentity> IdentityOf(const std::string& path);

// Throws FileError naming path when path is a folder, a device, a pipe or a socket, or when it
// is (through links) the file `input`. A missing path is fine: it will be created.
void CheckReplaceable(const std::string& path, const std::optional<FileIdentity>& input = {});

}  // namespace pixhaul
