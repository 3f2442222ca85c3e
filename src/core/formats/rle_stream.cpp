#include "formats/rle_stream.h"

#include <algorithm>
#include <bit>
#include <cstring>

#include "formats/byte_order.h"
#include "formats/rle_encode_avx512.h"
#include "formats/rle_place_avx512.h"

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace pixhaul {

std::size_t MatchingPixelsPlain(const std::uint8_t* bgr, std::size_t max, std::uint8_t blue,
                                std::uint8_t green, std::uint8_t red) {
    std::size_t n = 0;
    while (n < max && bgr[0] == blue && bgr[1] == green && bgr[2] == red) {
        ++n;
        bgr += 3;
    }
    return n;
}

std::size_t MatchingPixels(const std::uint8_t* bgr, std::size_t max, std::uint8_t blue,
                           std::uint8_t green, std::uint8_t red) {
    if (RleEncodeAvx512Enabled()) return MatchingPixelsAvx512(bgr, max, blue, green, red);
#if defined(__SSE2__)
    // 16 pixels are 48 bytes: three registers compared with the colour repeated in pixel phase.
    alignas(16) std::uint8_t pattern[48];
    for (int i = 0; i < 48; i += 3) {
        pattern[i] = blue;
        pattern[i + 1] = green;
        pattern[i + 2] = red;
    }
    const __m128i c0 = _mm_load_si128(reinterpret_cast<const __m128i*>(pattern));
    const __m128i c1 = _mm_load_si128(reinterpret_cast<const __m128i*>(pattern + 16));
    const __m128i c2 = _mm_load_si128(reinterpret_cast<const __m128i*>(pattern + 32));
    std::size_t n = 0;
    for (; n + 16 <= max; n += 16, bgr += 48) {
        const auto* p = reinterpret_cast<const __m128i*>(bgr);
        const std::uint64_t equal =
            static_cast<std::uint64_t>(static_cast<std::uint16_t>(
                _mm_movemask_epi8(_mm_cmpeq_epi8(_mm_loadu_si128(p), c0)))) |
            static_cast<std::uint64_t>(static_cast<std::uint16_t>(
                _mm_movemask_epi8(_mm_cmpeq_epi8(_mm_loadu_si128(p + 1), c1))))
                << 16 |
            static_cast<std::uint64_t>(static_cast<std::uint16_t>(
                _mm_movemask_epi8(_mm_cmpeq_epi8(_mm_loadu_si128(p + 2), c2))))
                << 32;
        if (equal != 0xFFFFFFFFFFFFu) {
            return n + static_cast<std::size_t>(std::countr_one(equal)) / 3;
        }
    }
    return n + MatchingPixelsPlain(bgr, max - n, blue, green, red);
#else
    return MatchingPixelsPlain(bgr, max, blue, green, red);
#endif
}

void Rle5Encoder::Reserve(std::size_t bytes) {
    if (capacity_ >= bytes) return;
    // Not cleared: the room is written before it is read.
    LargeBuffer grown(bytes);
    if (size_ > 0) std::memcpy(grown.data(), out_.data(), size_);
    out_ = std::move(grown);
    capacity_ = bytes;
}

void Rle5Encoder::Room(std::size_t records) {
    const std::size_t need = size_ + records * kRleRecordSize;
    if (capacity_ < need) Reserve(std::max(need, 2 * capacity_));
}

void Rle5Encoder::Extend(std::size_t n) {
    // Runs are cut at 127: every full run but the last is written, the last stays open.
    const std::size_t total = static_cast<std::size_t>(count_) + n;
    const std::size_t full = (total - 1) / kRleMaxRun;
    if (full > 0) {
        Room(full);
        count_ = kRleMaxRun;
        for (std::size_t i = 0; i < full; ++i) Emit();
    }
    count_ = static_cast<int>(total - full * kRleMaxRun);
}

namespace {

// Whether the pixels at a and b (three bytes each) differ.
inline bool Differ(const std::uint8_t* a, const std::uint8_t* b) {
    std::uint16_t a01, b01;
    std::memcpy(&a01, a, 2);
    std::memcpy(&b01, b, 2);
    return ((a01 ^ b01) | (a[2] ^ b[2])) != 0;
}

// Writes the record of count pixels of the colour in the low three bytes of bgr (blue lowest).
inline void StoreRecord(std::uint8_t* record, std::uint8_t count, std::uint32_t bgr) {
    if constexpr (std::endian::native == std::endian::little) {
        // Byte-swapped, the colour reads red, green, blue from the second byte on.
        const std::uint32_t value = (__builtin_bswap32(bgr) & 0xFFFFFF00u) | count;
        std::memcpy(record, &value, 4);
    } else {
        StoreLE(record, count | (bgr >> 16 & 0xFFu) << 8 | (bgr & 0xFF00u) << 8 | bgr << 24);
    }
}

}  // namespace

Rle5Encoder::Rle5Encoder(bool countBytes) {
    if (countBytes) tally_ = std::make_unique<Tally>();
}

void Rle5Encoder::Tally::AddSingles(const std::uint8_t* bgr, std::size_t pixelCount) {
    // No table counts more than one byte a pixel: folded every 2^31 pixels at most, the 32-bit
    // counts cannot overflow.
    constexpr std::size_t kMostBetweenFolds = std::size_t{1} << 31;
    for (; pixelCount > kMostBetweenFolds; pixelCount -= kMostBetweenFolds) {
        AddSingles(bgr, kMostBetweenFolds);
        bgr += 3 * kMostBetweenFolds;
    }
    if (singlesSinceFold + pixelCount > kMostBetweenFolds) FoldSingles();
    singlesSinceFold += pixelCount;
    std::size_t i = 0;
    for (; i + 4 <= pixelCount; i += 4, bgr += 12) {
        for (int word = 0; word < 3; ++word) {
            const std::uint32_t w = LoadLE32(bgr + 4 * word);
            ++singles[4 * word][w & 0xFF];
            ++singles[4 * word + 1][w >> 8 & 0xFF];
            ++singles[4 * word + 2][w >> 16 & 0xFF];
            ++singles[4 * word + 3][w >> 24];
        }
    }
    for (; i < pixelCount; ++i, bgr += 3) {
        ++singles[0][bgr[0]];
        ++singles[1][bgr[1]];
        ++singles[2][bgr[2]];
    }
}

void Rle5Encoder::Tally::FoldSingles() {
    for (auto& table : singles) {
        for (std::size_t v = 0; v < table.size(); ++v) byPosition[1][v] += table[v];
        table.fill(0);
    }
    singlesSinceFold = 0;
}

void Rle5Encoder::TakeCounts(ByteCounts& counts) {
    if (!tally_) return;
    tally_->FoldSingles();
    for (auto& position : tally_->byPosition) {
        for (std::size_t v = 0; v < counts.size(); ++v) counts[v] += position[v];
        position.fill(0);
    }
}

void Rle5Encoder::AddPixels(const std::uint8_t* bgr, std::size_t pixelCount) {
    if (tally_) {
        AddPixelsCounting<true>(bgr, pixelCount);
    } else {
        AddPixelsCounting<false>(bgr, pixelCount);
    }
}

template <bool kCount>
void Rle5Encoder::AddPixelsCounting(const std::uint8_t* bgr, std::size_t pixelCount) {
    // Every record but the open run's covers at least one new pixel: room for all at once.
    Room(pixelCount + 1);
    const std::uint8_t* p = bgr;
    std::size_t left = pixelCount;
    std::uint64_t singles = 0;  // records of one pixel written by the loops below
    [[maybe_unused]] Tally* const tally = tally_.get();
    const bool wide = RleEncodeAvx512Enabled();
    while (left > 0) {
        // Most runs in sprites are short: the first pixels are compared one by one, and the
        // vector search starts only when the run goes on past them.
        constexpr std::size_t kScalarFirst = 4;
        std::size_t same =
            MatchingPixelsPlain(p, std::min(left, kScalarFirst), blue_, green_, red_);
        if (same == kScalarFirst) {
            same += MatchingPixels(p + 3 * same, left - same, blue_, green_, red_);
        }
        if (same > 0) {
            Extend(same);
            p += 3 * same;
            left -= same;
            if (left == 0) break;
        }
        Emit();
        // p starts a run; while each pixel differs from the next, its run is that one pixel
        // (shaded sprites are mostly such pixels).
        std::uint8_t* const first = out_.data() + size_;
        std::uint8_t* record = first;
        // Sixteen at a time where the processor can, while sixteen and the pixel after them
        // are there.
        if (wide && left >= 17) {
            const std::size_t done = OnePixelRecordsAvx512(p, left, record);
            record += kRleRecordSize * done;
            p += 3 * done;
            left -= done;
        }
        // Four pixels at a time while each differs from the next (five pixels and a byte are
        // read), then one at a time with four bytes read while the pixel after the next one is
        // there to be read too.
        while (left >= 6) {
            const std::uint32_t w0 = LoadLE32(p);
            const std::uint32_t w1 = LoadLE32(p + 3);
            const std::uint32_t w2 = LoadLE32(p + 6);
            const std::uint32_t w3 = LoadLE32(p + 9);
            const std::uint32_t w4 = LoadLE32(p + 12);
            constexpr std::uint32_t kPixel = 0xFFFFFFu;
            const bool anySame = ((w0 ^ w1) & kPixel) == 0 || ((w1 ^ w2) & kPixel) == 0 ||
                                 ((w2 ^ w3) & kPixel) == 0 || ((w3 ^ w4) & kPixel) == 0;
            if (anySame) break;
            for (const std::uint32_t w : {w0, w1, w2, w3}) {
                StoreRecord(record, 1, w);
                record += kRleRecordSize;
            }
            p += 12;
            left -= 4;
        }
        if (left >= 3) {
            std::uint32_t here = LoadLE32(p);
            while (left >= 3) {
                const std::uint32_t next = LoadLE32(p + 3);
                if (((here ^ next) & 0xFFFFFFu) == 0) break;
                StoreRecord(record, 1, here);
                record += kRleRecordSize;
                p += 3;
                --left;
                here = next;
            }
        }
        while (left >= 2 && Differ(p, p + 3)) {
            record[0] = 1;
            record[1] = p[2];
            record[2] = p[1];
            record[3] = p[0];
            record += kRleRecordSize;
            p += 3;
            --left;
        }
        // The pixels of this stretch's single-pixel records lie together, ending at p.
        const std::size_t stretch = static_cast<std::size_t>(record - first) / kRleRecordSize;
        if constexpr (kCount) tally->AddSingles(p - 3 * stretch, stretch);
        singles += stretch;
        size_ = static_cast<std::size_t>(record - out_.data());
        blue_ = p[0];
        green_ = p[1];
        red_ = p[2];
        count_ = 1;
        p += 3;
        --left;
    }
    if constexpr (kCount) tally->byPosition[0][1] += singles;
}

void Rle5Encoder::AddBlackPixels(std::size_t pixelCount) {
    if (pixelCount == 0) return;
    if (blue_ != 0 || green_ != 0 || red_ != 0) {
        Room(1);
        Emit();
        blue_ = green_ = red_ = 0;
        count_ = 1;
        --pixelCount;
    }
    Extend(pixelCount);
}

void Rle5Encoder::AddSurface(const Surface& surface) {
    if (surface.Width() <= 0 || surface.Height() <= 0) return;
    if (surface.Bits() == nullptr) {
        AddBlackPixels(static_cast<std::size_t>(surface.Width()) *
                       static_cast<std::size_t>(surface.Height()));
        return;
    }
    AddRows(surface.Bits(), surface.Stride(), surface.Width(), surface.Height());
}

void Rle5Encoder::AddRows(const std::uint8_t* first, std::int64_t stride, std::int32_t width,
                          std::int32_t rows) {
    if (width <= 0) return;
    for (std::int32_t row = 0; row < rows; ++row) {
        AddPixels(first + row * stride, static_cast<std::size_t>(width));
    }
}

void Rle5Encoder::Close() {
    Room(1);
    Emit();
    blue_ = green_ = red_ = 0;
    count_ = 0;
}

std::vector<std::uint8_t> Rle5Encoder::Finish() {
    Close();
    std::vector<std::uint8_t> result(out_.data(), out_.data() + size_);
    out_ = LargeBuffer();
    capacity_ = 0;
    size_ = 0;
    return result;
}

std::vector<std::uint8_t> EncodeRle5(const Surface& surface) {
    Rle5Encoder encoder;
    encoder.AddSurface(surface);
    return encoder.Finish();
}

Rle5StreamDecoder::Rle5StreamDecoder(std::int32_t width, std::int32_t height)
    : width_(static_cast<std::uint64_t>(std::max(width, 0))),
      total_(width_ * static_cast<std::uint64_t>(std::max(height, 0))) {}

void Rle5StreamDecoder::SetBand(std::uint8_t* first, std::int64_t stride, std::int32_t rows) {
    row_ = first;
    stride_ = stride;
    bandLeft_ = width_ * static_cast<std::uint64_t>(std::max(rows, 0)) - x_;
}

namespace {

// Sets k pixels from p on to blue, green, red.
inline void FillPixels(std::uint8_t* p, std::uint64_t k, std::uint8_t blue, std::uint8_t green,
                       std::uint8_t red) {
    if (k == 1) {
        p[0] = blue;
        p[1] = green;
        p[2] = red;
    } else if (red == green && green == blue) {
        std::memset(p, red, k * 3);
    } else {
        // Four pixels (12 bytes) at a time from a pattern, the rest one by one.
        std::uint8_t pattern[12];
        for (int i = 0; i < 12; i += 3) {
            pattern[i] = blue;
            pattern[i + 1] = green;
            pattern[i + 2] = red;
        }
        for (; k >= 4; k -= 4, p += 12) std::memcpy(p, pattern, 12);
        for (; k > 0; --k, p += 3) std::memcpy(p, pattern, 3);
    }
}

}  // namespace

void Rle5StreamDecoder::Put(std::uint64_t n) {
    // The run may go on from the end of one row into the next.
    const std::uint8_t red = record_[1];
    const std::uint8_t green = record_[2];
    const std::uint8_t blue = record_[3];
    while (n > 0) {
        const std::uint64_t k = std::min(n, width_ - x_);
        if (row_ != nullptr) FillPixels(row_ + x_ * 3, k, blue, green, red);
        n -= k;
        x_ += k;
        if (x_ == width_) {
            x_ = 0;
            if (row_ != nullptr) row_ += stride_;
        }
    }
}

namespace {

// Pixels past the end of a run that the wide stores of PlaceRunWide may overwrite.
constexpr std::uint64_t kWideSlack = 5;

#if !defined(__SSE2__)
// Stores 8 bytes (unaligned) at p.
inline void Store64(std::uint8_t* p, std::uint64_t v) {
    if constexpr (std::endian::native == std::endian::little) {
        std::memcpy(p, &v, 8);
    } else {
        for (int i = 0; i < 8; ++i) p[i] = static_cast<std::uint8_t>(v >> (8 * i));
    }
}
#endif

// Sets n pixels from p on to the colour bgr (blue in the low byte), with 16-byte stores that may
// also overwrite up to kWideSlack pixels after the run: the caller places them later.
inline void PlaceRunWide(std::uint8_t* p, std::uint64_t n, std::uint64_t bgr) {
    // The colour repeated in pixel phase, eight bytes at a time: bytes 0-7 of b g r b g r ...,
    // then 8-15 and 16-23; each a sum of shifted copies that do not overlap.
    const std::uint64_t low = bgr * 0x0001000001000001u;
    const std::uint64_t high = bgr >> 16 | bgr * 0x0100000100000100u;
#if defined(__SSE2__)
    const __m128i first = _mm_set_epi64x(static_cast<long long>(high), static_cast<long long>(low));
    // Five pixels and a byte: most runs in sprites are this short, and take one store.
    _mm_storeu_si128(reinterpret_cast<__m128i*>(p), first);
    if (n <= 5) return;
    const std::uint64_t middle = bgr >> 8 | bgr * 0x0000010000010000u;
    const __m128i second =
        _mm_set_epi64x(static_cast<long long>(low), static_cast<long long>(middle));
    const __m128i third =
        _mm_set_epi64x(static_cast<long long>(middle), static_cast<long long>(high));
    // 48 bytes (sixteen pixels) a step, then as many of the three stores as the rest needs.
    std::uint64_t bytes = 3 * n;
    for (; bytes >= 48; bytes -= 48, p += 48) {
        _mm_storeu_si128(reinterpret_cast<__m128i*>(p), first);
        _mm_storeu_si128(reinterpret_cast<__m128i*>(p + 16), second);
        _mm_storeu_si128(reinterpret_cast<__m128i*>(p + 32), third);
    }
    if (bytes == 0) return;
    _mm_storeu_si128(reinterpret_cast<__m128i*>(p), first);
    if (bytes > 16) _mm_storeu_si128(reinterpret_cast<__m128i*>(p + 16), second);
    if (bytes > 32) _mm_storeu_si128(reinterpret_cast<__m128i*>(p + 32), third);
#else
    Store64(p, low);
    Store64(p + 8, high);
    for (std::uint64_t k = 4; k < n; k += 4) {
        Store64(p + 3 * k, low);
        Store64(p + 3 * k + 8, high);
    }
#endif
}

// The colour of a record (count, red, green, blue) with blue in the low byte.
inline std::uint64_t RecordColour(const std::uint8_t* record) {
    return std::uint64_t{__builtin_bswap32(LoadLE32(record))} & 0xFFFFFFu;
}

// Places the four records at record when each is of one pixel (shaded sprites are mostly such
// records), as 12 bytes at p and 4 more that the caller's next records set; false, placing
// nothing, when one is not.
inline bool PlaceFourSingles(std::uint8_t* p, const std::uint8_t* record) {
    const std::uint32_t r0 = LoadLE32(record);
    const std::uint32_t r1 = LoadLE32(record + 4);
    const std::uint32_t r2 = LoadLE32(record + 8);
    const std::uint32_t r3 = LoadLE32(record + 12);
    if (((r0 ^ 1) | (r1 ^ 1) | (r2 ^ 1) | (r3 ^ 1)) & 0xFFu) return false;
    const std::uint64_t p0 = __builtin_bswap32(r0) & 0xFFFFFFu;
    const std::uint64_t p1 = __builtin_bswap32(r1) & 0xFFFFFFu;
    const std::uint64_t p2 = __builtin_bswap32(r2) & 0xFFFFFFu;
    const std::uint64_t p3 = __builtin_bswap32(r3) & 0xFFFFFFu;
    StoreLE(p, p0 | p1 << 24 | p2 << 48);
    StoreLE(p + 8, p2 >> 16 | p3 << 8);
    return true;
}

}  // namespace

std::size_t Rle5StreamDecoder::FeedWithinRows(const std::uint8_t* records, std::size_t count) {
    // Row by row: the records that each end within the row (and the band and the picture) are
    // placed with one bound per record; the first that does not is left to the careful way.
    const std::uint8_t* record = records;
    const std::uint8_t* const end = records + count * kRleRecordSize;
    while (record != end) {
        const std::uint64_t rowLeft = std::min({width_ - x_, bandLeft_, total_ - done_});
        std::uint64_t placed = 0;
        if (row_ != nullptr && RlePlacementAvx512Enabled()) {
            placed = PlaceRecordsAvx512(row_ + x_ * 3, rowLeft, record, end);
        } else if (row_ != nullptr) {
            std::uint8_t* const pixels = row_ + x_ * 3;
            // Runs that end this far from the row's end may be placed with wide stores: what
            // they overwrite past their end lies within the row, and the records that follow
            // set it.
            const std::uint64_t wideEnd = rowLeft > kWideSlack ? rowLeft - kWideSlack : 0;
            for (; record != end; record += kRleRecordSize) {
                const std::uint64_t n = record[0];
                if (n == 1 && placed + 4 <= wideEnd &&
                    static_cast<std::size_t>(end - record) >= 4 * kRleRecordSize &&
                    PlaceFourSingles(pixels + placed * 3, record)) {
                    placed += 4;
                    record += 3 * kRleRecordSize;
                    continue;
                }
                if (placed + n <= wideEnd) {
                    if (n > 0) PlaceRunWide(pixels + placed * 3, n, RecordColour(record));
                } else if (n <= rowLeft - placed) {
                    if (n > 0) FillPixels(pixels + placed * 3, n, record[3], record[2], record[1]);
                } else {
                    break;
                }
                placed += n;
            }
        } else {
            for (; record != end && record[0] <= rowLeft - placed; record += kRleRecordSize) {
                placed += record[0];
            }
        }
        x_ += placed;
        done_ += placed;
        bandLeft_ -= placed;
        if (x_ != width_) break;  // a record that goes on past the row, or no more records
        x_ = 0;
        if (row_ != nullptr) row_ += stride_;
        if (bandLeft_ == 0) break;
    }
    const auto taken = static_cast<std::size_t>(record - records);
    taken_ += taken;
    return taken;
}

std::size_t Rle5StreamDecoder::Feed(std::span<const std::uint8_t> piece) {
    std::size_t at = 0;
    // Once the picture is whole, records of count 0 may still follow; any other is an error.
    while (error_.empty() && (bandLeft_ > 0 || (runLeft_ == 0 && done_ == total_))) {
        if (runLeft_ == 0) {
            if (recordFill_ == 0 && bandLeft_ > 0) {
                at += FeedWithinRows(piece.data() + at, (piece.size() - at) / kRleRecordSize);
                if (bandLeft_ == 0) continue;
            }
            if (at == piece.size()) break;
            const std::size_t n = std::min(kRleRecordSize - recordFill_, piece.size() - at);
            std::memcpy(record_ + recordFill_, piece.data() + at, n);
            recordFill_ += n;
            at += n;
            taken_ += n;
            if (recordFill_ < kRleRecordSize) break;
            recordFill_ = 0;
            const std::uint32_t count = record_[0];
            if (count > total_ - done_) {
                error_ = "the run-length stream covers more than the " + std::to_string(width_) +
                         " x " + std::to_string(width_ == 0 ? 0 : total_ / width_) +
                         " pixels of the sheet (record at byte " +
                         std::to_string(taken_ - kRleRecordSize) + ")";
                break;
            }
            done_ += count;
            runLeft_ = count;
        }
        const std::uint64_t n = std::min(runLeft_, bandLeft_);
        Put(n);
        runLeft_ -= n;
        bandLeft_ -= n;
    }
    return at;
}

std::string Rle5StreamDecoder::End() const {
    if (!error_.empty()) return error_;
    if (recordFill_ != 0) {
        return "the run-length stream is " + std::to_string(taken_) +
               " bytes long, not a whole number of 4-byte records";
    }
    if (done_ - runLeft_ != total_) {
        return "the run-length stream covers " + std::to_string(done_ - runLeft_) + " of the " +
               std::to_string(total_) + " pixels of the sheet";
    }
    return "";
}

std::string Rle5Decoder::Decode(std::span<const std::uint8_t> stream, Surface& target) {
    if (stream.size() % kRleRecordSize != 0) {
        return "the run-length stream is " + std::to_string(stream.size()) +
               " bytes long, not a whole number of 4-byte records";
    }
    Rle5StreamDecoder decoder(target.Width(), target.Height());
    const bool empty = target.Width() <= 0 || target.Height() <= 0;
    decoder.SetBand(empty ? nullptr : target.MutableBits(), target.Stride(), target.Height());
    decoder.Feed(stream);
    return decoder.End();
}

}  // namespace pixhaul
