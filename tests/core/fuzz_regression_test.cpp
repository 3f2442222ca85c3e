// The fuzz targets' own checks (fuzz/targets/), run in the ordinary build over every seed of the
// corpus, which every target must pass, so that its checks stay honest about sound files.
// An input that makes a target fail is kept byte for byte, with the fault it found, once the
// fault is mended (AddFoundFaults in the seeds).
#include <gtest/gtest.h>

#include <functional>

#include "../../fuzz/targets/export_target.h"
#include "../../fuzz/targets/huffman_targets.h"
#include "../../fuzz/targets/loader_target.h"
#include "../../fuzz/targets/seeds.h"
#include "../../fuzz/targets/sif_reader_target.h"

namespace pixhaul::fuzz {
namespace {

TEST(FuzzTargets, PassEverySeed) {
    const ScratchFolder scratch;
    ASSERT_TRUE(scratch.Ok());
    const std::map<std::string, std::function<std::string(const Bytes&)>> targets = {
        {"loader", [](const Bytes& b) { return RunLoaderInput(b); }},
        {"export", [&](const Bytes& b) { return RunExportInput(b, scratch); }},
        {"render", [](const Bytes& b) { return RunRenderInput(b); }},
        {"sif_reader", [](const Bytes& b) { return RunSifReaderInput(b); }},
        {"huffman_decode", [](const Bytes& b) { return RunHuffmanDecodeInput(b); }},
        {"huffman_roundtrip", [](const Bytes& b) { return RunHuffmanRoundTripInput(b); }},
    };
    const auto seeds = AllSeeds();
    ASSERT_EQ(seeds.size(), targets.size());
    for (const auto& [name, inputs] : seeds) {
        ASSERT_FALSE(inputs.empty()) << name;
        for (std::size_t i = 0; i < inputs.size(); ++i) {
            EXPECT_EQ(targets.at(name)(inputs[i]), "") << name << " seed " << i;
        }
    }
    EXPECT_TRUE(scratch.Names().empty());
}

}  // namespace
}  // namespace pixhaul::fuzz
