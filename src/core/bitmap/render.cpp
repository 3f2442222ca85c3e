// Render: decodes an image's packet stream into the pixel buffer.
//
// The stream is a run of packets: an opcode below 128 is a run (one colour, opcode times), 128
// marks a damaged stream, above 128 a literal of opcode - 128 colours. Pixels go row by row from
// the top of the image, packets carry on across row ends, and black becomes the transparent
// colour on the way in.
//
// Speed: the bulk of the stream is decoded without bounds checks on its bytes, because every
// packet there ends well before the stream does; only the last few hundred bytes (copied into
// a small local array together with the trailing byte) are checked, once per packet. Runs are
// filled with 16-byte stores of a 48-byte pattern built in registers; a run that ends inside its
// row may be written past its end in whole stores (the row's next packets overwrite the excess).
// Consecutive runs are decoded in a loop of their own, where the processor has AVX-512 BW with
// masked 64-byte stores instead (bitmap/runs_avx512.*).
// The buffer is never cleared twice: the decoder clears only the bytes no packet wrote. On AVX2
// processors literals are converted eight colours at a time (bitmap/literal_simd.*), and in
// palette and 15-bit streams the colours of literals and of the short runs between them are
// first gathered over stretches of several rows, so that noise is converted a stretch at a time.
#include <emmintrin.h>

#include <algorithm>
#include <array>
#include <cstring>
#include <string>

#include "bitmap/cbitmap.h"
#include "bitmap/literal_simd.h"
#include "bitmap/runs_avx512.h"
#include "bitmap/stream_colours.h"
#include "platform/host.h"

namespace pixhaul {

namespace {

constexpr const char* kCorruptMessage =
    "Stream corrupt, malformed, or Zorbo fucked up the decoding function.";

// The longest packet: an opcode and 127 colours of three bytes.
constexpr std::size_t kLongestPacket = 1 + 127 * 3;
// The stream's last bytes, decoded with checks from a local copy.
constexpr std::size_t kCheckedTail = 512;
// Past every packet decoded unchecked lie at least kLiteralReadOverrun readable bytes.
static_assert(kCheckedTail > kLongestPacket + kLiteralReadOverrun);
static_assert(kCheckedTail > kGatherReadAhead<2>);

// Converts literal colours with vector code; returns how many (see LiteralBounds).
template <int kBytes>
inline std::int32_t VectorLiteral(const std::uint8_t* src, std::uint8_t* dst, std::int32_t count,
                                  const Colours& colours, LiteralBounds bounds) {
    if constexpr (kBytes == 1) {
        return PaletteLiteralAvx2(src, dst, count, colours.palette.data(), colours.planes, bounds);
    } else if constexpr (kBytes == 2) {
        return FifteenBitLiteralAvx2(src, dst, count, colours.trans, bounds);
    } else if constexpr (kBytes == 3) {
        return TwentyFourBitLiteralAvx2(src, dst, count, colours.trans, bounds);
    } else {
        return 0;
    }
}

inline void StorePixel3(std::uint8_t* dst, Pixel c) {
    dst[0] = static_cast<std::uint8_t>(c);
    dst[1] = static_cast<std::uint8_t>(c >> 8);
    dst[2] = static_cast<std::uint8_t>(c >> 16);
}

// One run colour repeated: three 64-bit words make 24 bytes (eight pixels), and three 16-byte
// vectors 48 bytes (sixteen pixels). Built in registers: assembling it in memory with 3-byte
// steps and reading it back wide stalls every run on store forwarding.
struct RunPattern {
    explicit RunPattern(Pixel colour) {
        const std::uint64_t c = colour & 0xFFFFFFu;
        w0 = c | (c << 24) | (c << 48);
        w1 = (c >> 16) | (c << 8) | (c << 32) | (c << 56);
        w2 = (c >> 8) | (c << 16) | (c << 40);
        a = _mm_set_epi64x(static_cast<long long>(w1), static_cast<long long>(w0));
        b = _mm_set_epi64x(static_cast<long long>(w0), static_cast<long long>(w2));
        c16 = _mm_set_epi64x(static_cast<long long>(w2), static_cast<long long>(w1));
    }

    // Writes n bytes, n a multiple of 3 below 48, from the pattern's start. Every piece ends on
    // a pixel boundary: the 16 bytes before one are c16, the 8 bytes before one are w2, the 4
    // bytes before one are the low half of w1.
    void WriteShort(std::uint8_t* dst, std::size_t n) const {
        if (n >= 16) {
            _mm_storeu_si128(reinterpret_cast<__m128i*>(dst), a);
            if (n > 32) _mm_storeu_si128(reinterpret_cast<__m128i*>(dst + 16), b);
            _mm_storeu_si128(reinterpret_cast<__m128i*>(dst + n - 16), c16);
        } else if (n >= 8) {
            std::memcpy(dst, &w0, 8);
            std::memcpy(dst + n - 8, &w2, 8);
        } else if (n == 6) {
            std::memcpy(dst, &w0, 4);
            std::memcpy(dst + 2, &w1, 4);
        } else if (n == 3) {
            StorePixel3(dst, static_cast<Pixel>(w0));
        }
    }

    std::uint64_t w0, w1, w2;
    __m128i a, b, c16;
};

// Where the next pixel goes, and the writing of runs and literals across row ends.
class PixelWriter {
  public:
    PixelWriter(std::uint8_t* buffer, std::int64_t stride, std::int32_t rowWidth,
                std::int32_t height)
        : row_(buffer + (height - 1) * stride),
          stride_(stride),
          rowWidth_(rowWidth),
          height_(height),
          vector_(VectorLiteralsEnabled()),
          avx512Runs_(vector_ && RunsAvx512Enabled()) {}

    std::int32_t X() const { return x_; }
    std::int32_t Y() const { return y_; }
    bool Vector() const { return vector_; }
    bool Avx512Runs() const { return avx512Runs_; }

    // The position, for decoders that keep it in registers while they write.
    RowCursor Cursor() const { return {row_, stride_, rowWidth_, height_, x_, y_}; }
    void MoveTo(const RowCursor& cursor) {
        row_ = cursor.row;
        x_ = cursor.x;
        y_ = cursor.y;
    }

    // Each returns true once the image is full.
    bool Run(Pixel colour, std::int32_t count) {
        std::uint8_t* dst = row_ + 3 * static_cast<std::int64_t>(x_);
        if (count <= 5 && count < rowWidth_ - x_ && row_ + stride_ - dst >= 16) {
            // A short run inside its row (noise is full of runs of two): one 16-byte store,
            // whose excess the row's next packets overwrite.
            const std::uint64_t c = colour & 0xFFFFFFu;
            const std::uint64_t w0 = c | (c << 24) | (c << 48);
            const std::uint64_t w1 = (c >> 16) | (c << 8) | (c << 32) | (c << 56);
            _mm_storeu_si128(
                reinterpret_cast<__m128i*>(dst),
                _mm_set_epi64x(static_cast<long long>(w1), static_cast<long long>(w0)));
            x_ += count;
            return false;
        }
        for (;;) {
            const std::int32_t k = std::min(count, rowWidth_ - x_);
            Fill(row_ + 3 * static_cast<std::int64_t>(x_), colour, k);
            x_ += k;
            count -= k;
            if (x_ == rowWidth_ && NextRow()) return true;
            if (count == 0) return false;
        }
    }

    // With kReadAhead, kLiteralReadOverrun bytes after the literal's colours can be read.
    template <int kBytes, bool kReadAhead>
    bool Literal(const std::uint8_t* src, std::int32_t count, const Colours& colours) {
        // Most literals end inside their row with room after them: one whole-group conversion
        // (an unknown stream type has none, and takes the loop below).
        if (kReadAhead && kBytes > 0 && vector_ && count < rowWidth_ - x_) {
            std::uint8_t* dst = row_ + 3 * static_cast<std::int64_t>(x_);
            if (row_ + stride_ - dst >=
                3 * std::int64_t{count} + std::int64_t{kLiteralWriteOverrun}) {
                VectorLiteral<kBytes>(src, dst, count, colours, LiteralBounds::Overrun);
                x_ += count;
                return false;
            }
        }
        while (count > 0) {
            const std::int32_t k = std::min(count, rowWidth_ - x_);
            std::uint8_t* dst = row_ + 3 * static_cast<std::int64_t>(x_);
            std::int32_t i = 0;
            if (vector_) {
                // Whole groups of eight where the row's bytes extend far enough past the
                // literal: later packets overwrite the excess, as with runs.
                const bool roomAfter = row_ + stride_ - dst >=
                                       3 * std::int64_t{k} + std::int64_t{kLiteralWriteOverrun};
                if (kReadAhead && roomAfter) {
                    i = VectorLiteral<kBytes>(src, dst, k, colours, LiteralBounds::Overrun);
                } else if (kReadAhead && y_ > 0 && stride_ >= kSavedAfterRow) {
                    // A literal that ends the row: the bytes after the row are the start of the
                    // row above, decoded already, and are put back after the excess.
                    i = LiteralOverRowEnd<kBytes>(src, dst, k, colours);
                } else if (k >= 8) {
                    i = VectorLiteral<kBytes>(src, dst, k, colours, LiteralBounds::Exact);
                }
                src += i * kBytes;
                dst += 3 * i;
            }
            // Four pixels at a time, packed into three four-byte words.
            for (; i + 4 <= k; i += 4) {
                const Pixel a = ReadColour<kBytes>(src, colours);
                const Pixel b = ReadColour<kBytes>(src + kBytes, colours);
                const Pixel c = ReadColour<kBytes>(src + 2 * kBytes, colours);
                const Pixel d = ReadColour<kBytes>(src + 3 * kBytes, colours);
                const std::uint64_t low = a | (static_cast<std::uint64_t>(b) << 24) |
                                          (static_cast<std::uint64_t>(c) << 48);
                const std::uint32_t high = (c >> 16) | (d << 8);
                std::memcpy(dst, &low, 8);
                std::memcpy(dst + 8, &high, 4);
                src += 4 * kBytes;
                dst += 12;
            }
            for (; i < k; ++i) {
                StorePixel3(dst, ReadColour<kBytes>(src, colours));
                src += kBytes;
                dst += 3;
            }
            x_ += k;
            count -= k;
            if (x_ == rowWidth_ && NextRow()) return true;
        }
        return false;
    }

  private:
    static constexpr std::int64_t kSavedAfterRow = 32;
    static_assert(kSavedAfterRow >= kLiteralWriteOverrun);

    // Converts a literal that may end at the row's last byte with whole vector groups: the
    // kSavedAfterRow bytes after the row (the row above's first bytes, in the row above's
    // stride) are saved first and written back over the excess.
    template <int kBytes>
    std::int32_t LiteralOverRowEnd(const std::uint8_t* src, std::uint8_t* dst, std::int32_t k,
                                   const Colours& colours) {
        std::uint8_t* after = row_ + stride_;
        const __m128i saved0 = _mm_loadu_si128(reinterpret_cast<const __m128i*>(after));
        const __m128i saved1 = _mm_loadu_si128(reinterpret_cast<const __m128i*>(after + 16));
        const std::int32_t done =
            VectorLiteral<kBytes>(src, dst, k, colours, LiteralBounds::Overrun);
        _mm_storeu_si128(reinterpret_cast<__m128i*>(after), saved0);
        _mm_storeu_si128(reinterpret_cast<__m128i*>(after + 16), saved1);
        return done;
    }

    bool NextRow() {
        x_ = 0;
        if (++y_ == height_) return true;
        row_ -= stride_;
        return false;
    }

    // Fills count pixels from dst. Stores may run past the run's end as far as the end of the
    // row's bytes (stride_ from row_): later packets overwrite those bytes, and whatever no
    // packet reaches is cleared once decoding stops.
    void Fill(std::uint8_t* dst, Pixel colour, std::int32_t count) {
        const RunPattern pattern(colour);
        std::size_t n = 3 * static_cast<std::size_t>(count);
        while (n >= 48) {
            _mm_storeu_si128(reinterpret_cast<__m128i*>(dst), pattern.a);
            _mm_storeu_si128(reinterpret_cast<__m128i*>(dst + 16), pattern.b);
            _mm_storeu_si128(reinterpret_cast<__m128i*>(dst + 32), pattern.c16);
            dst += 48;
            n -= 48;
        }
        if (n == 0) return;
        if (row_ + stride_ - dst >= 48) {
            _mm_storeu_si128(reinterpret_cast<__m128i*>(dst), pattern.a);
            if (n > 16) _mm_storeu_si128(reinterpret_cast<__m128i*>(dst + 16), pattern.b);
            if (n > 32) _mm_storeu_si128(reinterpret_cast<__m128i*>(dst + 32), pattern.c16);
            return;
        }
        pattern.WriteShort(dst, n);
    }

    std::uint8_t* row_;
    std::int64_t stride_;
    std::int32_t rowWidth_;
    std::int32_t height_;
    std::int32_t x_ = 0;
    std::int32_t y_ = 0;
    bool vector_;
    bool avx512Runs_;
};

enum class Stop { StreamUsedUp, ImageFull, Corrupt };

// Decodes the run packets from the opcode at p on, up to one at or past runsEnd or of another
// kind, in a loop of their own: between packets of the general loop, whose literal conversions
// are calls, the writer's position went to memory and back at every run. Every opcode below
// runsEnd must be followed by its colour and one more readable byte. Returns true once the
// image is full.
template <int kBytes>
bool ConsecutiveRuns(const std::uint8_t* src, std::size_t& p, std::size_t runsEnd, PixelWriter& out,
                     const Colours& colours) {
    if (out.Avx512Runs()) {
        RowCursor cursor = out.Cursor();
        const bool full = DecodeRunsAvx512<kBytes>(src, p, runsEnd, cursor, colours);
        out.MoveTo(cursor);
        return full;
    }
    // A copy whose address no call sees stays in registers: with the AVX-512 loop turned off,
    // the bench's run-heavy decodes took 1.5-1.8 instead of 1.8-2.1 ms.
    PixelWriter writer = out;
    bool full = false;
    while (p < runsEnd && src[p] < 128 && !full) {
        const std::int32_t count = src[p];
        const Pixel colour = ReadColour<kBytes>(src + p + 1, colours);
        p += 1 + kBytes;
        full = count != 0 && writer.Run(colour, count);
    }
    out = writer;
    return full;
}

// Noise is literals split by short runs: converting packet by packet pays a call, a
// mispredicted packet kind and a mispredicted loop end for each of them, and the literals end
// at every place in the row. Instead the colours of a stretch of literals and short runs, over
// several rows, are gathered and then converted a row at a time; those that spill past the
// stretch start the next one. Returns true once the image is full; otherwise p is left at the
// first packet that was not gathered (opEnd, or another kind).
template <int kBytes>
bool GatheredLiterals(const std::uint8_t* src, std::size_t& p, std::size_t opEnd, PixelWriter& out,
                      const Colours& colours) {
    // Stretches of up to kBatch pixels follow each other through the buffer; the colours that
    // spill past one (at most a packet's count) start the next. Only when the buffer's end is
    // near do they move back to its start: moving them every time reads bytes just stored by
    // overlapping stores, which the processor cannot forward.
    constexpr std::int32_t kBatch = 1024;
    constexpr std::int32_t kCapacity = 4 * kBatch;
    constexpr std::size_t kSpill = 128 * kBytes;
    alignas(32) std::array<std::uint8_t, kBytes * kCapacity + kGatherWriteOverrun<kBytes>> buffer;
    // The overrun also covers the reads of the conversion and of the spill's fixed-size move.
    static_assert(kGatherWriteOverrun<kBytes> >= kLiteralReadOverrun &&
                  kGatherWriteOverrun<kBytes> >= kSpill);
    std::int32_t start = 0;
    std::int32_t n = 0;  // colours gathered from start on
    for (;;) {
        if (start > kCapacity - kBatch) {
            std::array<std::uint8_t, kSpill> spill;
            std::memcpy(spill.data(), buffer.data() + kBytes * start, spill.size());
            std::memcpy(buffer.data(), spill.data(), spill.size());
            start = 0;
        }
        std::uint8_t* gathered = buffer.data() + kBytes * start;
        // Whole stretches (a gathering ends on a mispredicted branch), converted across row
        // ends; once the image is full, the colours left over are not needed.
        n = GatherLiteralColours<kBytes>(src, p, opEnd, gathered, n, kBatch);
        const std::int32_t k = std::min(n, kBatch);
        // The gathering leaves kLiteralReadOverrun readable bytes past any k <= kBatch.
        if (k > 0 && out.Literal<kBytes, true>(gathered, k, colours)) return true;
        if (n < kBatch) return false;
        start += kBatch;
        n -= kBatch;
    }
}

// Decodes the packets whose opcodes lie at positions below opEnd, starting at p. src[i] may be
// read for every i below end. Unchecked, every packet must end inside src (the caller makes
// sure, and also that the four bytes after a three-byte colour can be read); checked, a colour
// that would lie at or past end stops the stream as corrupt, after the pixels before it.
template <int kBytes, bool kChecked>
Stop DecodePackets(const std::uint8_t* src, std::size_t& p, std::size_t opEnd, std::size_t end,
                   PixelWriter& out, const Colours& colours) {
    while (p < opEnd) {
        const std::uint8_t op = src[p];
        if constexpr (kBytes > 0) {
            // Checked, only the runs whose colour lies before end go there; the next one stops
            // the stream as corrupt below.
            const std::size_t runsEnd =
                kChecked ? std::min(opEnd, end > kBytes ? end - kBytes : 0) : opEnd;
            if (op < 128 && p < runsEnd) {
                if (ConsecutiveRuns<kBytes>(src, p, runsEnd, out, colours)) return Stop::ImageFull;
                continue;
            }
        }
        if (op < 128) {
            if (kChecked && p + kBytes >= end) return Stop::Corrupt;
            const Pixel colour = ReadColour<kBytes>(src + p + 1, colours);
            p += kBytes;
            if (op != 0 && out.Run(colour, op)) return Stop::ImageFull;
        } else if (op == 128) {
            return Stop::Corrupt;
        } else {
            if constexpr (kBytes == 3 && !kChecked) {
                if (out.Vector()) {
                    RowCursor cursor = out.Cursor();
                    const bool full = TwentyFourBitLiteralsAvx2(src, p, opEnd, cursor, colours);
                    out.MoveTo(cursor);
                    if (full) return Stop::ImageFull;
                    continue;
                }
            }
            if constexpr ((kBytes == 1 || kBytes == 2) && !kChecked) {
                if (kBytes == 2 && out.Vector() && out.Avx512Runs() &&
                    FifteenBitNoiseVbmiAvailable()) {
                    RowCursor cursor = out.Cursor();
                    const bool full = FifteenBitNoiseVbmi(src, p, opEnd, cursor, colours);
                    out.MoveTo(cursor);
                    if (full) return Stop::ImageFull;
                    continue;
                }
                // (24-bit literals gathered so decoded slower: their conversion waits on
                // memory, and the copy adds to it.)
                if (out.Vector()) {
                    if (GatheredLiterals<kBytes>(src, p, opEnd, out, colours)) {
                        return Stop::ImageFull;
                    }
                    continue;
                }
            }
            const std::int32_t count = op - 128;
            std::int32_t present = count;
            if (kChecked && kBytes > 0) {
                present =
                    static_cast<std::int32_t>(std::min<std::size_t>(count, (end - p - 1) / kBytes));
            }
            if (out.Literal<kBytes, !kChecked>(src + p + 1, present, colours)) {
                return Stop::ImageFull;
            }
            if (present < count) return Stop::Corrupt;
            p += static_cast<std::size_t>(count) * kBytes;
        }
        ++p;
    }
    return Stop::StreamUsedUp;
}

template <int kBytes>
Stop DecodeStream(const StreamBytes& stream, PixelWriter& out, const Colours& colours) {
    // Opcodes lie at positions below L, colours at positions up to L (the trailing byte).
    const std::size_t last = stream.LastIndex();
    const std::size_t tailStart = last > kCheckedTail ? last - kCheckedTail : 0;

    std::size_t p = 0;
    if (tailStart > 0) {
        const Stop stop =
            DecodePackets<kBytes, false>(stream.Data(), p, tailStart, last, out, colours);
        if (stop != Stop::StreamUsedUp) return stop;
    }

    // Positions tailStart..L, then spare zeros for the wide loads of three-byte colours.
    std::array<std::uint8_t, kCheckedTail + 1 + 4> tail{};
    const std::size_t tailSize = last - tailStart + 1;
    if (tailSize > 1) std::memcpy(tail.data(), stream.Data() + tailStart, tailSize - 1);
    tail[tailSize - 1] = stream.TrailingByte();
    std::size_t q = p - tailStart;
    return DecodePackets<kBytes, true>(tail.data(), q, tailSize - 1, tailSize, out, colours);
}

// Clears every byte of the pixel area that no packet wrote: the rest of the row decoding
// stopped in, the rows below it, and each row's bytes past the decoded columns.
void ClearUnwritten(std::uint8_t* buffer, std::size_t bufferSize, std::int64_t stride,
                    std::int32_t height, std::int32_t rowWidth, std::int32_t x, std::int32_t y) {
    const std::int64_t decoded = 3 * static_cast<std::int64_t>(rowWidth);
    if (decoded < stride) {
        for (std::int32_t r = 0; r < std::min(y, height); ++r) {
            std::memset(buffer + (height - 1 - r) * stride + decoded, 0,
                        static_cast<std::size_t>(stride - decoded));
        }
    }
    if (y < height) {
        const std::int64_t start = (height - 1 - y) * stride + 3 * static_cast<std::int64_t>(x);
        std::memset(buffer, 0, static_cast<std::size_t>(start - 3 * static_cast<std::int64_t>(x)));
        std::memset(buffer + start, 0, static_cast<std::size_t>(stride - 3 * std::int64_t{x}));
    }
    const std::size_t pixelBytes = static_cast<std::size_t>(stride * height);
    if (bufferSize > pixelBytes) std::memset(buffer + pixelBytes, 0, bufferSize - pixelBytes);
}

}  // namespace

void cBitMap::CreateSurface() {
    std::int32_t w = width_;
    if (w % 2 != 0) {
        ++w;
        // The 15-bit type keeps its odd row width; the others carry the extra column.
        if (eType_ != k15BitType) width_ = static_cast<std::int16_t>(w);
    }
    BuildSurface(w, height_, false);
}

RenderOutcome cBitMap::Decode(COLORREF Trans) {
    Colours colours;
    colours.trans = PixelOf(BlueOf(Trans), GreenOf(Trans), RedOf(Trans));
    if (eType_ == kPaletteType) {
        // Without a palette every index is black, and so shows the transparent colour. Entries
        // are read as whole words (blue, green, red, reserved), so that the loop vectorises.
        std::array<Pixel, 256> entries{};
        static_assert(sizeof(entries) == sizeof(*palette_));
        if (palette_) std::memcpy(entries.data(), palette_->data(), sizeof(entries));
        for (std::size_t i = 0; i < entries.size(); ++i) {
            const Pixel p = entries[i] & 0xFFFFFFu;
            colours.palette[i] = p == 0 ? colours.trans : p;
        }
        MakePalettePlanes(colours.palette.data(), colours.planes);
    }

    const std::int64_t stride = StrideFor(header_.biWidth);
    PixelWriter out(buffer_.get(), stride, width_, height_);
    Stop stop;
    switch (eType_) {
        case kPaletteType:
            stop = DecodeStream<1>(stream_, out, colours);
            break;
        case k15BitType:
            stop = DecodeStream<2>(stream_, out, colours);
            break;
        case k24BitType:
            stop = DecodeStream<3>(stream_, out, colours);
            break;
        default:
            stop = DecodeStream<0>(stream_, out, colours);
            break;
    }
    ClearUnwritten(buffer_.get(), bufferSize_, stride, height_, width_, out.X(), out.Y());
    return stop == Stop::Corrupt ? RenderOutcome::Corrupt : RenderOutcome::Rendered;
}

bool cBitMap::SizeDecodable(std::int32_t width, std::int32_t height, std::int16_t eType) {
    const std::int64_t surfaceWidth = std::int64_t{width} + (width % 2 != 0 ? 1 : 0);
    const bool widthFits = eType == k15BitType || surfaceWidth <= INT16_MAX;
    return width > 0 && height > 0 && widthFits && surfaceWidth * height <= kMaxImagePixels;
}

RenderOutcome cBitMap::Render(COLORREF Trans, Host& host) {
    if (rendered_) return RenderOutcome::AlreadyRendered;
    if (stream_.LastIndex() == 0) return RenderOutcome::EmptyStream;

    // Sizes straight from the file: nothing is allocated for an image that cannot be one.
    if (!SizeDecodable(width_, height_, eType_)) {
        ClassTerminate();
        EmptyBuffer();
        host.ShowMessage("The image is damaged: a size of " + std::to_string(width_) + " x " +
                             std::to_string(height_) + " pixels cannot be decoded.",
                         kProgramName, MessageIcon::Exclamation, MessageButtons::Ok);
        return RenderOutcome::TooLarge;
    }

    CreateSurface();
    const RenderOutcome outcome = Decode(Trans);
    if (outcome == RenderOutcome::Corrupt) {
        host.ShowMessage(kCorruptMessage, kProgramName, MessageIcon::Exclamation,
                         MessageButtons::Ok);
        ClassTerminate();
        return outcome;
    }
    rendered_ = true;
    return outcome;
}

}  // namespace pixhaul
