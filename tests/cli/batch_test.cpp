#include <gtest/gtest.h>
#include <signal.h>

#include <chrono>
#include <filesystem>
#include <map>
#include <nlohmann/json.hpp>
#include <sstream>
#include <thread>

#include "batch_plan.h"
#include "command.h"
#include "qxa_process.h"

namespace pixhaul::testing {
namespace {

namespace fs = std::filesystem;
using nlohmann::json;

std::vector<json> JsonLines(const std::string& text) {
    std::vector<json> lines;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);) lines.push_back(json::parse(line));
    return lines;
}

// Every file under root, relative, with its bytes.
std::map<std::string, std::string> Tree(const std::string& root) {
    std::map<std::string, std::string> files;
    for (const auto& entry : fs::recursive_directory_iterator(root)) {
        if (entry.is_regular_file()) {
            files[fs::relative(entry.path(), root).string()] = ReadText(entry.path().string());
        }
    }
    return files;
}

// in/a.qxa, in/b.qxa (damaged), in/sub/A.QXA, in/sub/notes.txt, other/a.qxa, and a list naming
// other/a.qxa and a file that does not exist.
class BatchTest : public ::testing::Test {
  protected:
    void SetUp() override {
        const std::string demo = ReadText(PIXHAUL_SOURCE_DIR "/samples/demo.qxa");
        const std::vector<std::uint8_t> bytes(demo.begin(), demo.end());
        for (const char* name : {"in/a.qxa", "in/sub/A.QXA", "in/sub/notes.txt", "other/a.qxa"}) {
            fs::create_directories(fs::path(dir_.File(name)).parent_path());
            WriteFile(dir_.File(name), bytes);
        }
        WriteFile(dir_.File("in/b.qxa"), {bytes.begin(), bytes.end() - 20});
        const std::string list = dir_.File("other/a.qxa") + "\n" + dir_.File("missing.qxa") + "\n";
        WriteFile(dir_.File("list"), {list.begin(), list.end()});
    }
    ProcessResult Batch(const std::string& out, std::vector<std::string> extra) {
        std::vector<std::string> args = {
            "batch", dir_.File("in"), "--files-from", dir_.File("list"), "-o", dir_.File(out)};
        args.insert(args.end(), extra.begin(), extra.end());
        return RunQxa(args);
    }
    TempDir dir_;
};

TEST_F(BatchTest, FoldersListsClashesAndFailuresAreReportedInInputOrder) {
    const ProcessResult r = Batch("out", {"-j", "2", "--", "extract", "--format", "bmp"});
    EXPECT_EQ(r.exitCode, 1) << r.err;
    const std::vector<json> lines = JsonLines(r.out);
    ASSERT_EQ(lines.size(), 6U) << r.out;
    const std::vector<std::array<std::string, 3>> expected = {{"in/a.qxa", "ok", "a"},
                                                              {"in/b.qxa", "damaged", "b"},
                                                              {"in/sub/A.QXA", "ok", "A-2"},
                                                              {"other/a.qxa", "ok", "a-3"},
                                                              {"missing.qxa", "error", "missing"}};
    for (std::size_t i = 0; i < expected.size(); ++i) {
        EXPECT_EQ(lines[i]["path"], dir_.File(expected[i][0]));
        EXPECT_EQ(lines[i]["status"], expected[i][1]) << lines[i];
        EXPECT_EQ(lines[i]["output"], dir_.File("out/" + expected[i][2]));
    }
    EXPECT_EQ(lines[0]["outputs"].size(), Tree(dir_.File("out/a")).size());
    // The damage's place, as the message names it.
    const std::string error = lines[1]["error"];
    ASSERT_TRUE(lines[1].contains("offset")) << error;
    EXPECT_NE(error.find("byte offset " + lines[1]["offset"].dump() + ")"), std::string::npos);
    EXPECT_EQ(lines[5]["summary"]["ok"], 3);
    EXPECT_EQ(lines[5]["summary"]["damaged"], 1);
    EXPECT_EQ(lines[5]["summary"]["error"], 1);
}

TEST_F(BatchTest, OutputsAreTheSameWhateverTheWorkersAndShards) {
    const std::vector<std::string> command = {"--", "sheet", "--format", "png"};
    auto with = [&](std::vector<std::string> options) {
        options.insert(options.end(), command.begin(), command.end());
        return options;
    };
    EXPECT_EQ(Batch("one", with({"-j", "1"})).exitCode, 1);
    EXPECT_EQ(Batch("two", with({"-j", "2"})).exitCode, 1);
    EXPECT_EQ(Tree(dir_.File("one")), Tree(dir_.File("two")));
    for (int k = 0; k < 3; ++k) {
        Batch("shards", with({"--shard", std::to_string(k) + "/3"}));
    }
    EXPECT_EQ(Tree(dir_.File("shards")), Tree(dir_.File("one")));
    // Every archive lands in exactly one shard.
    std::multiset<std::string> planned;
    for (int k = 0; k < 3; ++k) {
        const ProcessResult r =
            Batch("x", with({"--jobs-json", "--shard", std::to_string(k) + "/3"}));
        for (const json& line : JsonLines(r.out)) planned.insert(line["output"]);
    }
    EXPECT_EQ(planned.size(), 5U);
    EXPECT_EQ(std::set<std::string>(planned.begin(), planned.end()).size(), 5U);
}

TEST_F(BatchTest, AnInterruptStopsTheWorkAndLeavesOnlyWholeFiles) {
    std::string list;
    for (int i = 0; i < 60; ++i) list += dir_.File("in/a.qxa") + "\n";
    WriteFile(dir_.File("many"), {list.begin(), list.end()});
    Spawned batch(PIXHAUL_QXA_BINARY, {"batch", "--files-from", dir_.File("many"), "-o",
                                       dir_.File("out"), "-j", "2", "--", "extract"});
    // Interrupt once the first archive's first file is there.
    for (int wait = 0; wait < 2000 && !fs::exists(dir_.File("out/a/image-00000.png")); ++wait) {
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    ASSERT_EQ(::kill(batch.Pid(), SIGINT), 0);
    const ProcessResult r = batch.Wait();
    EXPECT_EQ(r.exitCode, 130) << r.err;
    const std::vector<json> lines = JsonLines(r.out);
    ASSERT_EQ(lines.size(), 61U) << r.out;
    EXPECT_EQ(lines.back()["summary"]["interrupted"], true);
    EXPECT_EQ(lines[59]["reason"], "not started");
    // Children that were running got the interrupt too: whatever is there is a whole picture.
    const std::map<std::string, std::string> written = Tree(dir_.File("out"));
    EXPECT_FALSE(written.empty());
    for (const auto& [name, bytes] : written) {
        EXPECT_NO_THROW(ReadPicture(dir_.File("out/" + name))) << name;
    }
}

TEST(BatchPlan, ListsAndUsageErrors) {
    using cli::SplitFileList;
    EXPECT_EQ(SplitFileList("a\r\n\nb c\n"), (std::vector<std::string>{"a", "b c"}));
    EXPECT_EQ(SplitFileList(std::string("a\nb\0c\0", 6)), (std::vector<std::string>{"a\nb", "c"}));
    for (const std::vector<std::string>& args : std::vector<std::vector<std::string>>{
             {"a.qxa", "-o", "d"},
             {"a.qxa", "-o", "d", "--", "list"},
             {"a.qxa", "--", "extract"},
             {"-o", "d", "--", "extract"},
             {"a.qxa", "-o", "d", "--shard", "3/3", "--", "extract"},
             {"a.qxa", "-o", "d", "-j", "0", "--", "extract"},
             {"a.qxa", "-o", "d", "--bogus", "--", "extract"}}) {
        EXPECT_THROW(cli::ParseBatchArguments(args), cli::CommandError) << args.back();
    }
}

}  // namespace
}  // namespace pixhaul::testing
