// Reading a SIF sheet a band at a time, in either order, gives the sheet read whole.
#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <random>
#include <tuple>
#include <vector>

#include "archive_builder.h"
#include "file_size_limit.h"
#include "formats/huffman.h"
#include "formats/rle_stream.h"
#include "formats/sif_reader.h"
#include "formats/sif_writer.h"
#include "platform/atomic_file.h"
#include "platform/usable_cores.h"
#include "test_files.h"

namespace pixhaul {
namespace {

// The bytes of a file as a reader sees a file on disk: read a window at a time, never in place;
// reads that reach byte `failFrom` fail as if the file had shrunk.
struct FileLikeSource : MemorySource {
    using MemorySource::MemorySource;
    std::uint64_t failFrom = UINT64_MAX;
    std::string Read(std::uint64_t offset, std::span<std::uint8_t> out) override {
        if (offset + out.size() > failFrom) return "the file became shorter";
        return MemorySource::Read(offset, out);
    }
    std::span<const std::uint8_t> InMemory() const override { return {}; }
};

// A sheet of runs (long ones, short ones, single pixels); the longest run is maxRun.
Surface RandomSheet(std::mt19937& rng, int width, int height, int maxRun) {
    Surface sheet(width, height);
    std::uint8_t colour[3] = {};
    int left = 0;
    for (int r = 0; r < height; ++r) {
        for (int x = 0; x < width; ++x, --left) {
            if (left <= 0) {
                for (std::uint8_t& c : colour) c = static_cast<std::uint8_t>(rng() % 3 * 100);
                left = static_cast<int>(rng() % 4 == 0 ? 1 : rng() % maxRun);
            }
            std::memcpy(sheet.MutableRow(r) + 3 * x, colour, 3);
        }
    }
    return sheet;
}

// A SIF file of one empty action around a random sheet.
std::vector<std::uint8_t> SifOfRandomSheet(std::mt19937& rng, int width, int height,
                                           int maxRun = 400) {
    const Surface sheet = RandomSheet(rng, width, height, maxRun);
    std::vector<std::uint8_t> file = SerializeSifTables({SifAction{}});
    file[kSifImagePosOffset] = static_cast<std::uint8_t>(file.size() + 1);
    SifImageHeader header;
    header.SheetWidth = width;
    header.SheetHeight = height;
    const std::vector<std::uint8_t> payload = HuffmanEncoded(EncodeRle5(sheet));
    header.PayloadLast = static_cast<std::int32_t>(payload.size()) - 1;
    for (const auto& part : {SerializeSifImageHeader(header), payload}) {
        file.insert(file.end(), part.begin(), part.end());
    }
    return file;
}

// Each case runs with the payload uncoded on the calling thread and uncoded ahead by a worker.
class SifSheetReaderTest : public ::testing::TestWithParam<bool> {};
INSTANTIATE_TEST_SUITE_P(BothWays, SifSheetReaderTest, ::testing::Bool());

TEST_P(SifSheetReaderTest, BandsInEitherOrderGiveTheWholeSheet) {
    std::mt19937 rng(99);
    // The last sheet's payload spans several of the reader's windows, and its run-length
    // stream (about 5 MB) several rounds of the reader's ring of 1 MiB chunks.
    for (const auto& [width, height, maxRun] :
         {std::tuple{1, 1, 400}, {17, 40, 400}, {300, 33, 400}, {5, 900, 400}, {1000, 2000, 4}}) {
        const std::vector<std::uint8_t> file = SifOfRandomSheet(rng, width, height, maxRun);
        SifContents whole;
        ASSERT_EQ(ReadSif(file, whole), "");

        SifContents contents;
        SifSheetReader reader;
        reader.UncodeAhead(GetParam());
        FileLikeSource source(file);
        ASSERT_EQ(reader.Open(source, contents), "");
        const std::int64_t stride = whole.Sheet.Stride();
        std::vector<std::uint8_t> forward(whole.Sheet.SizeBytes());
        std::vector<std::pair<int, SifSheetReader::Mark>> bands;
        for (int row = 0; row < height;) {
            const int rows = std::min(height - row, 1 + static_cast<int>(rng() % 9));
            bands.emplace_back(row, reader.Tell());
            ASSERT_EQ(reader.ReadRows(forward.data() + row * stride, stride, rows), "");
            row += rows;
        }
        ASSERT_EQ(reader.Finish(), "");
        EXPECT_EQ(0, std::memcmp(forward.data(), whole.Sheet.Bits(), forward.size()));

        // Top band first, as a PNG takes them.
        std::vector<std::uint8_t> backward(forward.size());
        for (auto band = bands.rbegin(); band != bands.rend(); ++band) {
            const int end = band == bands.rbegin() ? height : std::prev(band)->first;
            reader.Seek(band->second);
            ASSERT_EQ(
                reader.ReadRows(backward.data() + band->first * stride, stride, end - band->first),
                "");
        }
        EXPECT_EQ(backward, forward) << width << " x " << height;
    }
}

TEST_P(SifSheetReaderTest, AStreamThatStopsShortOrRunsOnOrAFileThatShrinksIsAnError) {
    std::mt19937 rng(7);
    std::vector<std::uint8_t> file = SifOfRandomSheet(rng, 40, 30);
    SifContents contents;
    SifSheetReader reader;
    reader.UncodeAhead(GetParam());
    for (const int rows : {31, 29}) {
        ASSERT_EQ(reader.Open(file, contents), "");
        const std::string error = reader.ReadRows(nullptr, 0, rows);
        EXPECT_NE(error.empty() ? reader.Finish() : error, "") << rows;
    }
    // Cut inside the payload, after the reader has opened the file.
    const std::vector<std::uint8_t> large = SifOfRandomSheet(rng, 1000, 500, 4);
    FileLikeSource shrinking(large);
    ASSERT_EQ(reader.Open(shrinking, contents), "");
    shrinking.failFrom = large.size() / 2;
    std::vector<std::uint8_t> band(static_cast<std::size_t>(StrideFor(1000)) * 500);
    const std::string error = reader.ReadRows(band.data(), StrideFor(1000), 500);
    EXPECT_NE(error.empty() ? reader.Finish() : error, "");
}

TEST_P(SifSheetReaderTest, ADamagedPayloadGivesTheMessageOfTheWholeFileRead) {
    std::mt19937 rng(5);
    constexpr int kWidth = 1000, kHeight = 2000;
    const std::vector<std::uint8_t> good = SifOfRandomSheet(rng, kWidth, kHeight, 4);
    // Damage early (the rows stop making sense), late (a later chunk), and in the last byte
    // that is all codes (the unused bits of the very last one are not checked).
    for (const std::size_t at : {good.size() / 8, good.size() * 7 / 8, good.size() - 2}) {
        std::vector<std::uint8_t> file = good;
        file[at] ^= 0x5A;
        SifContents whole;
        const std::string expected = ReadSif(file, whole);
        ASSERT_NE(expected, "") << at;

        SifContents contents;
        SifSheetReader reader;
        reader.UncodeAhead(GetParam());
        ASSERT_EQ(reader.Open(file, contents), "");
        std::vector<std::uint8_t> band(static_cast<std::size_t>(StrideFor(kWidth)) * 7);
        std::string error;
        for (int row = 0; row < kHeight && error.empty(); row += 7) {
            error = reader.ReadRows(band.data(), StrideFor(kWidth), std::min(7, kHeight - row));
        }
        EXPECT_EQ(error.empty() ? reader.Finish() : error, expected) << at;
    }
}

// Writes sheet as a SIF file at path through the writer, sixteen rows at a time; returns whether
// the writer coded its stream in place.
bool WriteSif(const Surface& sheet, const std::string& path, std::size_t held,
              const std::vector<SifAction>& table = {SifAction{}}) {
    SifSheetWriter writer(path, held);
    for (int row = 0; row < sheet.Height(); row += 16) {
        writer.AddRows(sheet.Bits() + row * sheet.Stride(), sheet.Stride(), sheet.Width(),
                       std::min(16, sheet.Height() - row));
    }
    SifImageHeader image;
    image.SheetWidth = sheet.Width();
    image.SheetHeight = sheet.Height();
    EXPECT_EQ(writer.Plan(table, image), "");
    writer.Write({});
    return writer.WroteInPlace();
}

void ExpectSheetIn(const std::string& path, const Surface& sheet) {
    SifContents contents;
    ASSERT_EQ(ReadSifFile(path, contents), "");
    EXPECT_EQ(0, std::memcmp(contents.Sheet.Bits(), sheet.Bits(), sheet.SizeBytes()));
}

// The writer makes the same file whether its run-length stream stays in memory or goes through
// the file, coded over itself there or (with a head too large for that) into a second file, and
// whether the file is written on a thread of its own or not; the file holds the sheet. A write
// that fails (here at a size limit, as on a full disk), on whichever thread, throws and leaves
// no file.
TEST(SifSheetWriterTest, AStreamHeldInMemoryOrInTheFileGivesTheSameFile) {
    std::mt19937 rng(7);
    const Surface sheet = RandomSheet(rng, 700, 300, 40);
    testing::TempDir dir;
    // Frames enough for tables larger than the first piece of the stream.
    std::vector<SifAction> bigTable;
    ASSERT_EQ(SizeSifTables({{2000}}, bigTable), "");
    for (const bool bigHead : {false, true}) {
        std::vector<std::vector<std::uint8_t>> files;
        for (const char* threads : {"1", "2"}) {
            setenv(kThreadsVariable, threads, 1);
            for (const std::size_t held : {SifSheetWriter::kHeldBytes, std::size_t{4096}}) {
                SCOPED_TRACE(std::string(threads) + " threads, " + std::to_string(held) +
                             (bigHead ? ", large head" : ""));
                const auto& table = bigHead ? bigTable : std::vector{SifAction{}};
                EXPECT_EQ(WriteSif(sheet, dir.File("a.sif"), held, table),
                          !bigHead || held == SifSheetWriter::kHeldBytes);
                ExpectSheetIn(dir.File("a.sif"), sheet);
                files.push_back(testing::ReadAll(dir.File("a.sif")));
                const testing::FileSizeLimit limit(16 * 1024);
                EXPECT_THROW(WriteSif(sheet, dir.File("b.sif"), held, table), FileError);
            }
        }
        unsetenv(kThreadsVariable);
        for (const auto& file : files) EXPECT_EQ(file, files[0]);
    }
    EXPECT_EQ(testing::FileNames(dir.Path()), std::vector<std::string>{"a.sif"});
}

// A stream whose first megabytes code to more bytes than they hold (noise whose colours are
// rare in the whole stream) would be overwritten before it is read: it goes to a second file.
TEST(SifSheetWriterTest, AStreamThatCodesLongerAtFirstIsNotCodedInPlace) {
    constexpr int kWidth = 1000, kNoiseRows = 400, kRows = 2800;
    Surface sheet(kWidth, kRows);
    std::mt19937 rng(3);
    for (int r = 0; r < kRows; ++r) {
        std::uint8_t* row = sheet.MutableRow(r);
        for (int x = 0; x < 3 * kWidth; ++x) {
            // Runs of two pixels of two colours above the noise.
            row[x] = r < kNoiseRows ? static_cast<std::uint8_t>(rng()) : (x / 6 % 2 ? 10 : 200);
        }
    }
    testing::TempDir dir;
    // On one thread, so that each piece's codes are written before the next piece is read.
    setenv(kThreadsVariable, "1", 1);
    EXPECT_FALSE(WriteSif(sheet, dir.File("a.sif"), SifSheetWriter::kHeldBytes));
    unsetenv(kThreadsVariable);
    ExpectSheetIn(dir.File("a.sif"), sheet);
}

}  // namespace
}  // namespace pixhaul
