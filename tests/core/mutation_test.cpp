// Thousands of damaged archives made from the sound fuzz seeds (bytes flipped, files cut, counts
// and lengths set to huge values, image sizes made odd, tags planted inside data), each run
// through the loader and export targets' checks: the model stays sound and within a multiple of
// the file's size, every image renders or is told about, every export writes exactly what it
// reports and no file error, and the user is told at most once, in words.
#include <gtest/gtest.h>

#include <random>

#include "../../fuzz/targets/export_target.h"
#include "../../fuzz/targets/loader_target.h"
#include "../../fuzz/targets/seeds.h"
#include "test_files.h"

namespace pixhaul::fuzz {
namespace {

using pixhaul::testing::Le32;

// Where the counts, lengths and sizes of a sound archive lie.
struct Fields {
    std::vector<std::size_t> counts32;   // image, action, direction and frame counts
    std::vector<std::size_t> lengths32;  // stream lengths and name lengths
    std::vector<std::size_t> sizes16;    // widths, heights and stream types
};

Fields FindFields(const Bytes& bytes) {
    Fields fields;
    for (std::size_t at = 0; at + 4 <= bytes.size(); ++at) {
        const bool image = std::equal(bytes.begin() + at, bytes.begin() + at + 4, "AGMI");
        if (!image && !std::equal(bytes.begin() + at, bytes.begin() + at + 4, "AnSt")) continue;
        std::size_t p = at + 4 + (image ? 1032 : 0);
        fields.counts32.push_back(p);
        const std::uint32_t count = Le32(bytes, p);
        p += 4;
        for (std::uint32_t i = 0; i < count && image; ++i) {
            fields.lengths32.push_back(p + 10);
            fields.sizes16.insert(fields.sizes16.end(), {p + 14, p + 16, p + 18});
            p += 28 + Le32(bytes, p + 10);
        }
        for (std::uint32_t a = 0; a < count && !image; ++a) {
            fields.counts32.push_back(p + 4);
            const std::uint32_t directions = Le32(bytes, p + 4);
            p += 8;
            for (std::uint32_t d = 0; d < directions; ++d) {
                fields.counts32.push_back(p + 4);
                p += 8 + 8 * std::size_t{Le32(bytes, p + 4)} + 24;
            }
            fields.lengths32.push_back(p + 4);
            p += 8 + Le32(bytes, p + 4);
        }
        at = p - 1;
    }
    return fields;
}

void Put(Bytes& b, std::size_t at, std::uint32_t v, int size) {
    for (int i = 0; i < size; ++i) b[at + i] = static_cast<std::uint8_t>(v >> (8 * i));
}

// One damaged archive: the kind of damage depends on `kind`, the details on the random source.
Bytes Mutate(Bytes b, const Fields& fields, int kind, std::mt19937& random) {
    auto pick = [&](std::size_t n) {
        return std::uniform_int_distribution<std::size_t>(0, n - 1)(random);
    };
    auto any = [&](const std::vector<std::size_t>& at) { return at[pick(at.size())]; };
    static constexpr std::uint32_t kHuge32[] = {0xFFFFFFFFu, 0x7FFFFFFFu, 0x80000000u, 0x10000u,
                                                0x8000u,     0xFFFFu,     1000000u,    0xFFFFFFF0u};
    static constexpr std::uint16_t kOdd16[] = {0x7FFF, 0x8000, 0xFFFF, 0, 1, 0x4000, 4097, 0x7FFE};
    const std::uint32_t huge = kHuge32[pick(std::size(kHuge32))];
    switch (kind) {
        case 0:  // a few bytes anywhere
            for (std::size_t k = 0, n = 1 + pick(8); k < n; ++k) {
                b[pick(b.size())] = static_cast<std::uint8_t>(random());
            }
            break;
        case 1:  // cut short
            b.resize(pick(b.size()));
            break;
        case 2: {  // a count made huge (or just one more than there is)
            const std::size_t at = any(fields.counts32);
            Put(b, at, pick(4) == 0 ? Le32(b, at) + 1 : huge, 4);
            break;
        }
        case 3: {  // a stream or name length made huge, negative or a little off
            const std::size_t at = any(fields.lengths32);
            Put(b, at, pick(3) == 0 ? Le32(b, at) + static_cast<std::uint32_t>(pick(9)) - 4 : huge,
                4);
            break;
        }
        case 4:  // an image's width, height or type made odd
            Put(b, any(fields.sizes16), kOdd16[pick(std::size(kOdd16))], 2);
            break;
        case 5:  // a tag planted inside data
            std::copy_n(pick(2) == 0 ? "AGMI" : "AnSt", 4, b.begin() + pick(b.size() - 3));
            break;
        default:  // a huge count, then cut
            Put(b, any(fields.counts32), huge, 4);
            b.resize(b.size() - pick(std::min<std::size_t>(b.size(), 64)));
            break;
    }
    return b;
}

TEST(Mutation, DamagedArchivesPassTheLoaderAndExportChecks) {
    constexpr int kKinds = 7;
    constexpr int kRounds = 24;  // per kind and seed
    const ScratchFolder scratch;
    ASSERT_TRUE(scratch.Ok());
    std::mt19937 random(0x5EED2026);
    const std::vector<Bytes> all = SeedArchives();
    // The sound seeds: the last two are already damaged, their fields cannot be walked.
    const std::vector<Bytes> originals(all.begin(), all.end() - 2);
    for (std::size_t o = 0; o < originals.size(); ++o) {
        const Fields fields = FindFields(originals[o]);
        ASSERT_FALSE(fields.lengths32.empty() || fields.sizes16.empty()) << o;
        for (int kind = 0; kind < kKinds; ++kind) {
            for (int round = 0; round < kRounds; ++round) {
                const Bytes damaged = Mutate(originals[o], fields, kind, random);
                SCOPED_TRACE("seed " + std::to_string(o) + ", damage " + std::to_string(kind) +
                             ", round " + std::to_string(round));
                ASSERT_EQ(RunLoaderInput(damaged), "");
                ASSERT_EQ(RunExportInput(damaged, scratch), "");
            }
        }
    }
}

}  // namespace
}  // namespace pixhaul::fuzz
