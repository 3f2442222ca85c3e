#pragma once
// The 24-bit run-length stream (kind 5): 4-byte records of count, red, green, blue.
//
// Rle5Encoder is fed pixels in scan order (memory rows bottom-up, each row left to right) a few
// rows at a time, so a sheet can be encoded band by band without ever being whole in memory.
// Runs carry over from one call to the next; the result equals cBitMap::ToRLE(5) of the whole
// picture byte for byte: the previous colour starts as black with a count of 0 (a first pixel
// that is not black therefore gives a leading 00 00 00 00 record), runs are cut at 127 and the
// last run is written by Finish.
//
// Rle5Decoder undoes it into a surface, checking every record against the surface's size.
#include <array>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <vector>

#include "platform/large_block.h"
#include "platform/surface.h"

namespace pixhaul {

inline constexpr std::uint8_t kRleKind24 = 5;
inline constexpr int kRleMaxRun = 127;
inline constexpr std::size_t kRleRecordSize = 4;

class Rle5Encoder {
  public:
    // How often each byte value occurs in the records written.
    using ByteCounts = std::array<std::uint64_t, 256>;

    Rle5Encoder() = default;
    // With countBytes, every record written is also counted, byte by byte, while it is at hand
    // (for a caller that needs the counts of the stream, saving it a pass over the stream).
    explicit Rle5Encoder(bool countBytes);

    // Pixels as blue, green, red byte triples; pixelCount pixels are read from bgr.
    void AddPixels(const std::uint8_t* bgr, std::size_t pixelCount);
    // Every memory row of the surface, bottom row first. A surface without memory is black.
    void AddSurface(const Surface& surface);
    // rows memory rows of width pixels at first, first + stride, ...
    void AddRows(const std::uint8_t* first, std::int64_t stride, std::int32_t width,
                 std::int32_t rows);
    // Appends the last record and hands over the stream; the encoder starts afresh.
    std::vector<std::uint8_t> Finish();

    // The records written so far (without the run still open), for a caller that moves them
    // elsewhere as it goes; DropWritten forgets them (the stream goes on where it was).
    std::span<const std::uint8_t> Written() const { return {out_.data(), size_}; }
    void DropWritten() { size_ = 0; }
    // The whole room of the encoder, for a caller done with the stream to reuse: as large as
    // the most the encoder has held, and already in memory.
    std::span<std::uint8_t> SpareRoom() { return {out_.data(), capacity_}; }
    // Ends the stream like Finish, keeping the last record in Written().
    void Close();

    // Bytes produced so far (without the run still open).
    std::size_t Size() const { return size_; }
    void Reserve(std::size_t bytes);
    // With countBytes: adds the counts of the records written since the last call to counts.
    void TakeCounts(ByteCounts& counts);

  private:
    // The counts of the four bytes of a record, one table per position in the record, so that
    // a colour's equal bytes do not wait on each other's increments.
    struct Tally {
        std::array<std::array<std::uint64_t, 256>, kRleRecordSize> byPosition{};
        // The colour bytes of single-pixel records, counted from the pixels they came from in
        // twelve tables, one for each byte of four pixels in turn: a shade that neighbouring
        // pixels share (a sprite's tint, a row's green) would otherwise make every increment
        // wait on the one before it to the same count.
        std::array<std::array<std::uint32_t, 256>, 12> singles{};
        std::uint64_t singlesSinceFold = 0;  // pixels counted in singles since they were added up

        void Add(std::uint64_t records, std::uint8_t count, std::uint32_t bgr) {
            byPosition[0][count] += records;
            byPosition[1][bgr >> 16 & 0xFF] += records;
            byPosition[2][bgr >> 8 & 0xFF] += records;
            byPosition[3][bgr & 0xFF] += records;
        }
        // The colour bytes of pixelCount single-pixel records, from their pixels at bgr.
        void AddSingles(const std::uint8_t* bgr, std::size_t pixelCount);
        // Adds the singles' tables into byPosition and clears them.
        void FoldSingles();
    };

    template <bool kCount>
    void AddPixelsCounting(const std::uint8_t* bgr, std::size_t pixelCount);
    // Makes room for `records` more records.
    void Room(std::size_t records);
    std::uint32_t RunColour() const {
        return blue_ | static_cast<std::uint32_t>(green_) << 8 |
               static_cast<std::uint32_t>(red_) << 16;
    }
    void Emit() {
        std::uint8_t* p = out_.data() + size_;
        p[0] = static_cast<std::uint8_t>(count_);
        p[1] = red_;
        p[2] = green_;
        p[3] = blue_;
        size_ += kRleRecordSize;
        if (tally_) tally_->Add(1, static_cast<std::uint8_t>(count_), RunColour());
    }
    // Extends the open run by n pixels of its colour, writing each full run of 127 but the last.
    void Extend(std::size_t n);
    void AddBlackPixels(std::size_t pixelCount);

    // Only out_[0, size_) holds records; the rest (up to capacity_) is room, grown ahead of
    // every call so that no record has to check it, and never cleared.
    LargeBuffer out_;
    std::size_t capacity_ = 0;
    std::size_t size_ = 0;
    std::uint8_t blue_ = 0;
    std::uint8_t green_ = 0;
    std::uint8_t red_ = 0;
    int count_ = 0;
    std::unique_ptr<Tally> tally_;  // only when counting
};

// Pixels from bgr (at most max) that have the colour blue, green, red, counted from the first.
std::size_t MatchingPixels(const std::uint8_t* bgr, std::size_t max, std::uint8_t blue,
                           std::uint8_t green, std::uint8_t red);
// The same, one pixel at a time (the reference for the vector path).
std::size_t MatchingPixelsPlain(const std::uint8_t* bgr, std::size_t max, std::uint8_t blue,
                                std::uint8_t green, std::uint8_t red);

// Encodes a whole surface in one go.
std::vector<std::uint8_t> EncodeRle5(const Surface& surface);

// Fills a surface from a kind-5 stream. The stream must cover exactly width x height pixels in
// scan order. Records of count 0 cover nothing (the encoder writes one in front of a first pixel
// that is not black). A stream that stops short, runs on past the last pixel, or whose length is
// not a multiple of 4 is an error.
class Rle5Decoder {
  public:
    // target must already have its size; its memory rows are written bottom row first.
    // Returns "" on success, else what was wrong.
    static std::string Decode(std::span<const std::uint8_t> stream, Surface& target);
};

// The same decoding for a stream that arrives in pieces and a picture that is written a band of
// rows at a time, so that neither is ever whole in memory. Records and runs may be cut anywhere
// by the pieces and the bands. The state is a plain value: a copy taken at a band's start can
// decode that band again later (for writers that need the rows in another order).
class Rle5StreamDecoder {
  public:
    Rle5StreamDecoder(std::int32_t width, std::int32_t height);

    // The next `rows` rows of pixels go to first, first + stride, ...; with first == nullptr
    // they are only counted.
    void SetBand(std::uint8_t* first, std::int64_t stride, std::int32_t rows);
    bool BandFull() const { return bandLeft_ == 0; }
    // Decodes from piece until it is used up or the band is full (once the picture is whole,
    // until the piece is used up); returns the bytes taken. A record that covers more than the
    // picture sets Error().
    std::size_t Feed(std::span<const std::uint8_t> piece);
    // After the last piece: Error(), or what the stream lacks to be whole.
    std::string End() const;
    const std::string& Error() const { return error_; }
    std::uint64_t BytesTaken() const { return taken_; }

  private:
    void Put(std::uint64_t n);
    // The fast way for whole records that each stay within a row: places them from records
    // (count of them) and stops at the first that does not; returns the bytes taken.
    std::size_t FeedWithinRows(const std::uint8_t* records, std::size_t count);

    std::uint64_t width_;
    std::uint64_t total_;
    std::uint64_t done_ = 0;  // pixels covered by the records taken
    std::uint64_t taken_ = 0;
    std::uint8_t record_[kRleRecordSize] = {};
    std::size_t recordFill_ = 0;
    std::uint64_t runLeft_ = 0;  // pixels of the current record not yet placed
    std::uint8_t* row_ = nullptr;
    std::int64_t stride_ = 0;
    std::uint64_t x_ = 0;
    std::uint64_t bandLeft_ = 0;  // pixels the band still takes
    std::string error_;
};

}  // namespace pixhaul
