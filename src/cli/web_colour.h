#pragma once
// Colours on the command line: web-style RRGGBB hex ("FF00FF", a leading '#' allowed).
#include <optional>
#include <string>

#include "platform/surface.h"

namespace pixhaul::cli {

inline constexpr const char* kDefaultTransText = "FF00FF";

// The COLORREF (0x00BBGGRR) of text, or nothing when text is not six hex digits.
std::optional<COLORREF> ParseWebColour(const std::string& text);

// ParseWebColour, or a usage error naming the option.
COLORREF WebColourOption(const std::string& option, const std::string& text);

}  // namespace pixhaul::cli
