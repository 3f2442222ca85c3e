#include "web_colour.h"

#include "command.h"
#include "qxa_app.h"

namespace pixhaul::cli {

namespace {

int HexDigit(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

}  // namespace

std::optional<COLORREF> ParseWebColour(const std::string& text) {
    const std::string digits = !text.empty() && text[0] == '#' ? text.substr(1) : text;
    if (digits.size() != 6) return std::nullopt;
    std::uint8_t bytes[3];
    for (int i = 0; i < 3; ++i) {
        const int high = HexDigit(digits[2 * i]);
        const int low = HexDigit(digits[2 * i + 1]);
        if (high < 0 || low < 0) return std::nullopt;
        bytes[i] = static_cast<std::uint8_t>(high * 16 + low);
    }
    return MakeColorRef(bytes[0], bytes[1], bytes[2]);
}

COLORREF WebColourOption(const std::string& option, const std::string& text) {
    const auto colour = ParseWebColour(text);
    if (!colour) {
        throw CommandError(
            kExitUsage, option + ": '" + text + "' is not a colour (RRGGBB in hex, e.g. FF00FF)");
    }
    return *colour;
}

}  // namespace pixhaul::cli
