#pragma once
// The folder given with -o: made when missing, with a message that says what stands in the way.
#include <string>

namespace pixhaul::cli {

// Creates folder (and its parents) unless it exists. Throws CommandError naming the folder when
// that is not possible, e.g. for a symbolic link to nothing or a file of that name.
void MakeOutputFolder(const std::string& folder);

}  // namespace pixhaul::cli
