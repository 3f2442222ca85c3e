// Text from a file reaches the terminal with its control characters escaped.
#include "terminal_text.h"

#include <gtest/gtest.h>

#include <sstream>

#include "archive_builder.h"
#include "qxa_app.h"

namespace pixhaul::cli {
namespace {

using testing::TempDir;

TEST(TerminalText, EscapesControlsAndInvalidUtf8) {
    const std::pair<std::string, std::string> cases[] = {
        {"Walk north", "Walk north"},
        {"a\nb\tc\rd", "a\\nb\\tc\\rd"},
        {"\x1b]0;title\x07", "\\x1b]0;title\\x07"},
        {std::string("nul\0del\x7f", 8), "nul\\x00del\\x7f"},
        {"caf\xC3\xA9 \xE2\x82\xAC \xF0\x9F\x98\x80", "caf\xC3\xA9 \xE2\x82\xAC \xF0\x9F\x98\x80"},
        {"\xC2\x9B"
         "31m \xC2\xA0",
         "\\x9b31m \xC2\xA0"},  // C1 CSI escaped, no-break space kept
        {"\xFF \xC0\xAF \xE2\x82", "\\xff \\xc0\\xaf \\xe2\\x82"},
        {"\xED\xA0\x80", "\\xed\\xa0\\x80"},  // a surrogate
    };
    for (const auto& [in, out] : cases) EXPECT_EQ(TerminalText(in), out) << out;
    EXPECT_EQ(TerminalMessage("one\r\ntwo\nthree\x1b"), "one\ntwo\\nthree\\x1b");
}

TEST(TerminalText, QxaListEscapesNames) {
    TempDir dir;
    testing::ArchiveBuilder builder = testing::MinimalArchive();
    testing::ActionSpec action;
    action.name = "Run\x1b[2J\nObject 9 (1 actions)";
    action.directions.emplace_back();
    testing::ObjectSpec object;
    object.actions.push_back(action);
    builder.Object(object);
    const std::string path = dir.File("a\nb.qxa");
    testing::WriteFile(path, builder.Build());
    std::ostringstream out, err;
    EXPECT_EQ(RunQxa({"qxa", "list", path}, out, err, false), 0);
    EXPECT_EQ(out.str().find('\x1b'), std::string::npos) << out.str();
    EXPECT_NE(out.str().find("  Run\\x1b[2J\\nObject 9 (1 actions) (1 directions)\n"),
              std::string::npos)
        << out.str();
}

}  // namespace
}  // namespace pixhaul::cli
