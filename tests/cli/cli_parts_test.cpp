// The pieces of the qxa tool that a subprocess cannot show: the terminal progress bar, the host's
// messages, colour parsing, the command table.
#include <gtest/gtest.h>

#include <CLI/CLI.hpp>
#include <sstream>
#include <string>

#include "archive_builder.h"
#include "cli_host.h"
#include "command_list.h"
#include "progress_bar.h"
#include "qxa_app.h"
#include "web_colour.h"

namespace pixhaul::cli {
namespace {

// Only the command a line names is declared, found by the table's names: a name that differs
// from the one its command declares would make that command unreachable.
TEST(CommandTable, EachNameIsTheSubcommandItsCommandDeclares) {
    for (const CommandEntry& entry : CommandTable()) {
        const std::vector<std::unique_ptr<Command>> alone = MakeCommands(entry.name);
        ASSERT_EQ(alone.size(), 1u);
        CLI::App app;
        EXPECT_EQ(alone[0]->Register(app)->get_name(), entry.name);
    }
    EXPECT_EQ(MakeCommands("--help").size(), CommandTable().size());
}

TEST(WebColour, ParsesRrggbbIntoAColorref) {
    EXPECT_EQ(ParseWebColour("102030"), COLORREF{0x302010});  // red is the low byte
    EXPECT_EQ(ParseWebColour("#a0B0c0"), COLORREF{0xC0B0A0});
    for (const char* bad : {"", "#", "FF00FF0", " FF00FF", "0xFF00", "##FF00F"}) {
        EXPECT_FALSE(ParseWebColour(bad).has_value()) << bad;
    }
}

TEST(ProgressBar, DrawsInPlaceOnlyWhenSomethingChangesAndClearsItsLine) {
    std::ostringstream out;
    ProgressBar bar(out, true);
    bar.Update("Extracting", 0, 200);
    bar.Update("Extracting", 1, 200);  // still 0 %: not redrawn
    EXPECT_EQ(out.str().rfind("\rExtracting [", 0), 0U) << out.str();
    EXPECT_EQ(out.str().find("] 0% 0/200"), out.str().rfind("] 0% 0/200"));
    bar.Update("Extracting", 200, 200);
    EXPECT_NE(out.str().find(std::string(30, '#') + "] 100% 200/200"), std::string::npos);
    bar.Clear();
    EXPECT_EQ(out.str().substr(out.str().size() - 4), "\r\x1b[K");
    const std::size_t cleared = out.str().size();
    bar.Clear();
    EXPECT_EQ(out.str().size(), cleared);

    std::ostringstream quiet;
    ProgressBar off(quiet, false);
    off.Update("Loading", 5, 10);
    off.Clear();
    EXPECT_EQ(quiet.str(), "");
}

TEST(Qxa, OnATerminalExtractShowsProgressAndLeavesAClearLine) {
    testing::TempDir dir;
    const std::string demo = std::string(PIXHAUL_SOURCE_DIR) + "/samples/demo.qxa";
    std::ostringstream out;
    std::ostringstream err;
    const int code =
        RunQxa({"qxa", "extract", demo, "-o", dir.File("x"), "--format", "bmp"}, out, err, true);
    EXPECT_EQ(code, kExitOk) << err.str();
    EXPECT_NE(err.str().find("100% 54/54"), std::string::npos);
    EXPECT_EQ(err.str().substr(err.str().size() - 4), "\r\x1b[K");
    EXPECT_EQ(out.str(), "");
}

}  // namespace
}  // namespace pixhaul::cli
