#pragma once
// Text that came from a file (names in an archive, paths) made safe to print on a terminal:
// control characters are shown escaped (\n, \t, \x1b ...), so they can neither drive the
// terminal nor forge a line of output. Valid UTF-8 passes unchanged except for the C1 controls
// (U+0080..U+009F, shown as \xNN of their Latin-1 byte); a byte that is not valid UTF-8 is shown
// as \xNN.
#include <string>
#include <string_view>

namespace pixhaul::cli {

std::string TerminalText(std::string_view text);

// For the program's messages, written for a message box: its line breaks (CR LF) become line
// feeds; every other control character, a lone line feed included, is escaped as above.
std::string TerminalMessage(std::string_view text);

}  // namespace pixhaul::cli
