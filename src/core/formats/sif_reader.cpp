#include "formats/sif_reader.h"

#include <algorithm>
#include <new>

#include "formats/huffman_decode.h"
#include "formats/rle_stream.h"

namespace pixhaul {
namespace {

// A read of the source that failed; Open turns it into its message.
struct SourceFailure {
    std::string message;
};

// Reads front to back through the file a buffer at a time, checking each read against its end.
class Cursor {
  public:
    explicit Cursor(ByteSource& source) : source_(source), size_(source.Size()) {}

    std::uint64_t Offset() const { return at_; }
    std::uint64_t Left() const { return size_ - at_; }
    bool Has(std::uint64_t n) const { return n <= Left(); }
    // The next n bytes (n at most kBufferBytes, and Has(n)). Throws SourceFailure.
    const std::uint8_t* Take(std::size_t n) {
        if (at_ < bufferStart_ || at_ + n > bufferStart_ + buffered_) {
            buffered_ = static_cast<std::size_t>(std::min<std::uint64_t>(kBufferBytes, Left()));
            buffer_.resize(kBufferBytes);
            if (std::string error = source_.Read(at_, {buffer_.data(), buffered_});
                !error.empty()) {
                throw SourceFailure{error};
            }
            bufferStart_ = at_;
        }
        const std::uint8_t* p = buffer_.data() + (at_ - bufferStart_);
        at_ += n;
        return p;
    }
    void Skip(std::uint64_t n) { at_ += n; }

  private:
    static constexpr std::size_t kBufferBytes = std::size_t{64} << 10;
    ByteSource& source_;
    std::uint64_t size_;
    std::uint64_t at_ = 0;
    std::vector<std::uint8_t> buffer_;
    std::uint64_t bufferStart_ = 0;
    std::size_t buffered_ = 0;
};

std::string At(std::uint64_t offset) {
    return " (byte " + std::to_string(offset) + ")";
}

// Fills SifContents::Actions.
class ContentsVisitor : public SifTableVisitor {
  public:
    explicit ContentsVisitor(std::vector<SifAction>& actions) : actions_(actions) {}
    void BeginAction(std::int16_t lastDirection) override {
        actions_.push_back({lastDirection, {}});
        actions_.back().Directions.reserve(static_cast<std::size_t>(lastDirection + 1));
    }
    void BeginDirection(std::int16_t lastFrame) override {
        auto& directions = actions_.back().Directions;
        directions.push_back({lastFrame, {}});
        directions.back().Frames.reserve(static_cast<std::size_t>(lastFrame + 1));
    }
    void Frame(const SifFrame& frame) override {
        actions_.back().Directions.back().Frames.push_back(frame);
    }
    void EndDirection() override {}
    void EndAction() override {}

  private:
    std::vector<SifAction>& actions_;
};

std::string ReadTables(Cursor& in, std::uint64_t tablesEnd, SifContents& out,
                       SifTableVisitor& visitor) {
    auto truncated = [&](const char* what) {
        return std::string("the tables end before ") + what + At(in.Offset());
    };
    if (!in.Has(2) || in.Offset() + 2 > tablesEnd) return truncated("LastAction");
    out.LastAction = static_cast<std::int16_t>(LoadLE16(in.Take(2)));
    if (out.LastAction < -1) {
        return "LastAction is " + std::to_string(out.LastAction) + At(in.Offset() - 2);
    }
    const auto actions = static_cast<std::size_t>(out.LastAction + 1);
    // Every action takes at least 2 bytes, so the count is checked before anything is sized by it.
    if (actions * 2 > tablesEnd - in.Offset()) return truncated("its last action");
    for (std::size_t a = 0; a < actions; ++a) {
        if (in.Offset() + 2 > tablesEnd) return truncated("an action's LastDirection");
        const auto lastDirection = static_cast<std::int16_t>(LoadLE16(in.Take(2)));
        if (lastDirection < -1) {
            return "LastDirection is " + std::to_string(lastDirection) + At(in.Offset() - 2);
        }
        const auto directions = static_cast<std::size_t>(lastDirection + 1);
        if (directions * 2 > tablesEnd - in.Offset())
            return truncated("an action's last direction");
        visitor.BeginAction(lastDirection);
        for (std::size_t d = 0; d < directions; ++d) {
            if (in.Offset() + 2 > tablesEnd) return truncated("a direction's LastFrame");
            const auto lastFrame = static_cast<std::int16_t>(LoadLE16(in.Take(2)));
            if (lastFrame < -1) {
                return "LastFrame is " + std::to_string(lastFrame) + At(in.Offset() - 2);
            }
            const auto frames = static_cast<std::size_t>(lastFrame + 1);
            if (frames * kSifFrameSize > tablesEnd - in.Offset()) {
                return truncated("a direction's last frame record");
            }
            visitor.BeginDirection(lastFrame);
            for (std::size_t k = 0; k < frames; ++k) {
                const std::uint8_t* p = in.Take(kSifFrameSize);
                SifFrame f;
                std::int32_t* fields[] = {&f.X,        &f.Y,      &f.Height, &f.Width,
                                          &f.Reserved, &f.Extra1, &f.Extra2};
                for (std::int32_t* field : fields) {
                    *field = static_cast<std::int32_t>(LoadLE32(p));
                    p += 4;
                }
                visitor.Frame(f);
            }
            visitor.EndDirection();
        }
        visitor.EndAction();
    }
    if (in.Offset() != tablesEnd) {
        return "the tables end at byte " + std::to_string(in.Offset()) +
               " but ImagePos places the image section at byte " + std::to_string(tablesEnd);
    }
    return "";
}

// Reads the image section's header and finds the payload (its offset and length).
std::string ReadImageHeader(Cursor& in, SifContents& out, std::uint64_t& payloadOffset,
                            std::uint64_t& payloadLength) {
    const std::uint64_t start = in.Offset();
    if (!in.Has(kSifImageHeaderSize)) return "the image section is cut short" + At(start);
    const std::uint8_t* p = in.Take(kSifImageHeaderSize);
    SifImageHeader& h = out.Image;
    h.PayloadLast = static_cast<std::int32_t>(LoadLE32(p));
    h.BackColor = LoadLE32(p + 4);
    h.SheetWidth = static_cast<std::int32_t>(LoadLE32(p + 8));
    h.SheetHeight = static_cast<std::int32_t>(LoadLE32(p + 12));
    h.RleKind = p[16];
    if (h.PayloadLast < 0) return "PayloadLast is " + std::to_string(h.PayloadLast) + At(start);
    if (h.SheetWidth < 0 || h.SheetHeight < 0) {
        return "the sheet size " + std::to_string(h.SheetWidth) + " x " +
               std::to_string(h.SheetHeight) + " is negative" + At(start + 8);
    }
    if (h.RleKind != kRleKind24) {
        return "run-length kind " + std::to_string(h.RleKind) + " is not supported" +
               At(start + 16);
    }
    payloadLength = static_cast<std::uint64_t>(h.PayloadLast) + 1;
    if (!in.Has(payloadLength)) {
        return "the payload of " + std::to_string(payloadLength) +
               " bytes runs past the end of the file" + At(in.Offset());
    }
    payloadOffset = in.Offset();
    in.Skip(payloadLength);
    return "";
}

}  // namespace

std::string SifSheetReader::Open(std::span<const std::uint8_t> bytes, SifContents& out,
                                 SifTableVisitor* tables) {
    auto own = std::make_unique<MemorySource>(bytes);
    std::string error = Open(*own, out, tables);
    ownSource_ = std::move(own);
    return error;
}

std::string SifSheetReader::Open(ByteSource& source, SifContents& out, SifTableVisitor* tables) {
    try {
        return OpenFrom(source, out, tables);
    } catch (const SourceFailure& failure) {
        return failure.message;
    }
}

std::string SifSheetReader::OpenFrom(ByteSource& source, SifContents& out,
                                     SifTableVisitor* tables) {
    out = SifContents{};
    chunks_.reset();
    none_ = {};
    chunk_ = &none_;
    consumed_ = 0;
    Cursor in(source);
    if (!in.Has(kSifHeaderSize)) {
        return "the file is " + std::to_string(source.Size()) +
               " bytes long, too short for a SIF header";
    }
    const std::uint8_t* head = in.Take(kSifHeaderSize);
    if (head[0] != kSifSignature0 || head[1] != kSifSignature1 || head[2] != kSifFixed0 ||
        head[3] != kSifFixed1) {
        return "not a SIF file: it does not start with \"SF\" 01 02";
    }
    out.ImagePos = LoadLE32(head + kSifImagePosOffset);
    // The image section follows at least the LastAction field.
    if (out.ImagePos < kSifHeaderSize + 2 + 1 || out.ImagePos - 1 > source.Size()) {
        return "ImagePos " + std::to_string(out.ImagePos) + " lies outside the file" +
               At(kSifImagePosOffset);
    }
    const std::uint64_t tablesEnd = out.ImagePos - 1;
    ContentsVisitor contents(out.Actions);
    if (std::string error = ReadTables(in, tablesEnd, out, tables ? *tables : contents);
        !error.empty()) {
        return error;
    }
    std::uint64_t payloadOffset = 0;
    std::uint64_t payloadLength = 0;
    if (std::string error = ReadImageHeader(in, out, payloadOffset, payloadLength);
        !error.empty()) {
        return error;
    }
    payloadOffset_ = payloadOffset;

    // A sheet's run-length stream takes at most one record per pixel plus the leading one.
    const SifImageHeader& h = out.Image;
    const std::uint64_t pixels =
        static_cast<std::uint64_t>(h.SheetWidth) * static_cast<std::uint64_t>(h.SheetHeight);
    if (std::string error =
            huffman_.Open(source, payloadOffset, payloadLength, (pixels + 1) * kRleRecordSize);
        !error.empty()) {
        return PayloadError(error);
    }
    out.PayloadCoded = huffman_.Form() == HuffmanForm::Coded;
    out.RleLength = huffman_.SourceLength();
    rle_ = Rle5StreamDecoder(h.SheetWidth, h.SheetHeight);
    none_.start = huffman_.Tell();
    chunks_ = std::make_unique<UncodedChunks>(huffman_);
    chunks_->UseWorker(ahead_);
    return "";
}

std::string SifSheetReader::PayloadError(const std::string& error) const {
    return "the payload cannot be uncoded: " + error + At(payloadOffset_);
}

void SifSheetReader::UncodeAhead(bool ahead) {
    ahead_ = ahead;
    if (chunks_) chunks_->UseWorker(ahead);
}

bool SifSheetReader::Refill() {
    if (!chunks_) return false;
    chunk_ = &chunks_->Next();
    consumed_ = 0;
    return chunk_->filled > 0;
}

void SifSheetReader::Seek(const Mark& mark) {
    if (!chunks_) return;
    chunks_->Restart(mark.huffman);
    rle_ = mark.rle;
    Refill();
    consumed_ = std::min(mark.consumed, chunk_->filled);
}

std::string SifSheetReader::ReadRows(std::uint8_t* first, std::int64_t stride, std::int32_t rows) {
    rle_.SetBand(first, stride, rows);
    while (true) {
        // The last record may still have pixels to place when the stream is used up.
        consumed_ +=
            rle_.Feed(std::span(chunk_->bytes.get() + consumed_, chunk_->filled - consumed_));
        if (!rle_.Error().empty()) return rle_.Error();
        if (rle_.BandFull()) return "";
        if (consumed_ == chunk_->filled && !Refill()) {
            if (!huffman_.Error().empty()) return PayloadError(huffman_.Error());
            std::string error = rle_.End();
            return error.empty() ? "the sheet has fewer rows than were asked for" : error;
        }
    }
}

std::string SifSheetReader::Finish() {
    while (true) {
        if (consumed_ < chunk_->filled) {
            const std::size_t taken =
                rle_.Feed(std::span(chunk_->bytes.get() + consumed_, chunk_->filled - consumed_));
            if (!rle_.Error().empty()) return rle_.Error();
            // Rows that were never read take nothing: the stream is not whole.
            if (taken == 0) return rle_.End();
            consumed_ += taken;
        }
        if (consumed_ == chunk_->filled && !Refill()) break;
    }
    if (std::string error = huffman_.End(); !error.empty()) return PayloadError(error);
    return rle_.End();
}

std::string ReadSif(std::span<const std::uint8_t> bytes, SifContents& out) {
    MemorySource source(bytes);
    return ReadSif(source, out);
}

std::string ReadSif(ByteSource& source, SifContents& out) {
    SifSheetReader reader;
    if (std::string error = reader.Open(source, out); !error.empty()) return error;
    // The stream is checked to cover exactly the sheet before the sheet is allocated.
    const SifSheetReader::Mark start = reader.Tell();
    if (std::string error = reader.ReadRows(nullptr, 0, out.Image.SheetHeight); !error.empty()) {
        return error;
    }
    if (std::string error = reader.Finish(); !error.empty()) return error;
    reader.Seek(start);
    try {
        out.Sheet.Reset(out.Image.SheetWidth, out.Image.SheetHeight);
        std::uint8_t* bits = out.Sheet.SizeBytes() > 0 ? out.Sheet.MutableBits() : nullptr;
        if (std::string error = reader.ReadRows(bits, out.Sheet.Stride(), out.Image.SheetHeight);
            !error.empty()) {
            return error;
        }
        return reader.Finish();
    } catch (const std::bad_alloc&) {
        return "not enough memory for a sheet of " + std::to_string(out.Image.SheetWidth) + " x " +
               std::to_string(out.Image.SheetHeight) + " pixels";
    }
}

std::string ReadSifFile(const std::string& path, SifContents& out) {
    std::string error;
    const std::unique_ptr<FileSource> file = FileSource::Open(path, error);
    if (!file) return error;
    return ReadSif(*file, out);
}

}  // namespace pixhaul
