#include "terminal_text.h"

#include <cstdint>

namespace pixhaul::cli {

namespace {

void AppendHex(std::string& out, std::uint8_t byte) {
    constexpr char kDigits[] = "0123456789abcdef";
    out += "\\x";
    out += kDigits[byte >> 4];
    out += kDigits[byte & 0x0F];
}

void AppendControl(std::string& out, std::uint8_t byte) {
    switch (byte) {
        case '\n':
            out += "\\n";
            break;
        case '\r':
            out += "\\r";
            break;
        case '\t':
            out += "\\t";
            break;
        default:
            AppendHex(out, byte);
    }
}

// Length of the valid UTF-8 sequence at text[at] (2 to 4), or 0.
std::size_t Utf8Length(std::string_view text, std::size_t at) {
    const auto byte = [&](std::size_t i) { return static_cast<std::uint8_t>(text[at + i]); };
    const std::uint8_t lead = byte(0);
    std::size_t length = 0;
    std::uint32_t min = 0;
    if (lead >= 0xC2 && lead <= 0xDF) {
        length = 2;
        min = 0x80;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        length = 3;
        min = 0x800;
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        length = 4;
        min = 0x10000;
    } else {
        return 0;
    }
    if (text.size() - at < length) return 0;
    std::uint32_t code = lead & (0x7F >> length);
    for (std::size_t i = 1; i < length; ++i) {
        if ((byte(i) & 0xC0) != 0x80) return 0;
        code = (code << 6) | (byte(i) & 0x3F);
    }
    if (code < min || code > 0x10FFFF || (code >= 0xD800 && code <= 0xDFFF)) return 0;
    return length;
}

std::string Escape(std::string_view text, bool keepLineBreaks) {
    std::string out;
    out.reserve(text.size());
    for (std::size_t at = 0; at < text.size();) {
        const auto c = static_cast<std::uint8_t>(text[at]);
        if (keepLineBreaks && text.substr(at, 2) == "\r\n") {
            out += '\n';
            at += 2;
        } else if (c < 0x20 || c == 0x7F) {
            AppendControl(out, c);
            ++at;
        } else if (c < 0x80) {
            out += static_cast<char>(c);
            ++at;
        } else if (const std::size_t length = Utf8Length(text, at); length == 0) {
            AppendHex(out, c);
            ++at;
        } else if (c == 0xC2 && static_cast<std::uint8_t>(text[at + 1]) < 0xA0) {
            AppendHex(out, static_cast<std::uint8_t>(text[at + 1]));  // a C1 control
            at += 2;
        } else {
            out.append(text.substr(at, length));
            at += length;
        }
    }
    return out;
}

}  // namespace

std::string TerminalText(std::string_view text) {
    return Escape(text, false);
}

std::string TerminalMessage(std::string_view text) {
    return Escape(text, true);
}

}  // namespace pixhaul::cli
