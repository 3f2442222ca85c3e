#include "export/sif_reader.h"

#include <new>

#include "export/huffman_decode.h"
#include "export/rle_stream.h"
#include "platform/archive_file.h"

namespace pixhaul {
namespace {

// Reads front to back through the file, checking each read against its end.
class Cursor {
  public:
    explicit Cursor(std::span<const std::uint8_t> bytes) : bytes_(bytes) {}

    std::size_t Offset() const { return at_; }
    std::size_t Left() const { return bytes_.size() - at_; }
    bool Has(std::size_t n) const { return n <= Left(); }
    const std::uint8_t* Take(std::size_t n) {
        const std::uint8_t* p = bytes_.data() + at_;
        at_ += n;
        return p;
    }

  private:
    std::span<const std::uint8_t> bytes_;
    std::size_t at_ = 0;
};

std::string At(std::size_t offset) {
    return " (byte " + std::to_string(offset) + ")";
}

std::string ReadTables(Cursor& in, std::size_t tablesEnd, SifContents& out) {
    auto truncated = [&](const char* what) {
        return std::string("the tables end before ") + what + At(in.Offset());
    };
    if (!in.Has(2) || in.Offset() + 2 > tablesEnd) return truncated("LastAction");
    out.LastAction = static_cast<std::int16_t>(GetLE16(in.Take(2)));
    if (out.LastAction < -1) {
        return "LastAction is " + std::to_string(out.LastAction) + At(in.Offset() - 2);
    }
    const auto actions = static_cast<std::size_t>(out.LastAction + 1);
    // Every action takes at least 2 bytes, so the count is checked before anything is sized by it.
    if (actions * 2 > tablesEnd - in.Offset()) return truncated("its last action");
    out.Actions.resize(actions);
    for (SifAction& action : out.Actions) {
        if (in.Offset() + 2 > tablesEnd) return truncated("an action's LastDirection");
        action.LastDirection = static_cast<std::int16_t>(GetLE16(in.Take(2)));
        if (action.LastDirection < -1) {
            return "LastDirection is " + std::to_string(action.LastDirection) + At(in.Offset() - 2);
        }
        const auto directions = static_cast<std::size_t>(action.LastDirection + 1);
        if (directions * 2 > tablesEnd - in.Offset())
            return truncated("an action's last direction");
        action.Directions.resize(directions);
        for (SifDirection& direction : action.Directions) {
            if (in.Offset() + 2 > tablesEnd) return truncated("a direction's LastFrame");
            direction.LastFrame = static_cast<std::int16_t>(GetLE16(in.Take(2)));
            if (direction.LastFrame < -1) {
                return "LastFrame is " + std::to_string(direction.LastFrame) + At(in.Offset() - 2);
            }
            const auto frames = static_cast<std::size_t>(direction.LastFrame + 1);
            if (frames * kSifFrameSize > tablesEnd - in.Offset()) {
                return truncated("a direction's last frame record");
            }
            direction.Frames.resize(frames);
            for (SifFrame& f : direction.Frames) {
                const std::uint8_t* p = in.Take(kSifFrameSize);
                std::int32_t* fields[] = {&f.X,        &f.Y,      &f.Height, &f.Width,
                                          &f.Reserved, &f.Extra1, &f.Extra2};
                for (std::int32_t* field : fields) {
                    *field = static_cast<std::int32_t>(GetLE32(p));
                    p += 4;
                }
            }
        }
    }
    if (in.Offset() != tablesEnd) {
        return "the tables end at byte " + std::to_string(in.Offset()) +
               " but ImagePos places the image section at byte " + std::to_string(tablesEnd);
    }
    return "";
}

std::string ReadImage(Cursor& in, SifContents& out) {
    const std::size_t start = in.Offset();
    if (!in.Has(kSifImageHeaderSize)) return "the image section is cut short" + At(start);
    const std::uint8_t* p = in.Take(kSifImageHeaderSize);
    SifImageHeader& h = out.Image;
    h.PayloadLast = static_cast<std::int32_t>(GetLE32(p));
    h.BackColor = GetLE32(p + 4);
    h.SheetWidth = static_cast<std::int32_t>(GetLE32(p + 8));
    h.SheetHeight = static_cast<std::int32_t>(GetLE32(p + 12));
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
    const std::size_t payloadLength = static_cast<std::size_t>(h.PayloadLast) + 1;
    if (!in.Has(payloadLength)) {
        return "the payload of " + std::to_string(payloadLength) +
               " bytes runs past the end of the file" + At(in.Offset());
    }
    const std::span<const std::uint8_t> payload(in.Take(payloadLength), payloadLength);

    // A sheet's run-length stream takes at most one record per pixel plus the leading one.
    const std::uint64_t pixels =
        static_cast<std::uint64_t>(h.SheetWidth) * static_cast<std::uint64_t>(h.SheetHeight);
    HuffmanDecoded decoded = HuffmanDecode(payload, (pixels + 1) * kRleRecordSize);
    if (!decoded.ok()) {
        return "the payload cannot be uncoded: " + decoded.error + At(start + kSifImageHeaderSize);
    }
    out.PayloadCoded = decoded.form == HuffmanForm::Coded;
    out.RleLength = decoded.data.size();

    // The run-length records give the number of pixels they cover: the sheet is allocated only
    // once they are known to cover exactly SheetWidth x SheetHeight.
    const std::vector<std::uint8_t>& rle = decoded.data;
    std::uint64_t covered = 0;
    for (std::size_t i = 0; i + kRleRecordSize <= rle.size(); i += kRleRecordSize) {
        covered += rle[i];
    }
    if (rle.size() % kRleRecordSize == 0 && covered != pixels) {
        return "the run-length stream covers " + std::to_string(covered) + " pixels, the " +
               std::to_string(h.SheetWidth) + " x " + std::to_string(h.SheetHeight) +
               " sheet holds " + std::to_string(pixels);
    }
    try {
        out.Sheet.Reset(h.SheetWidth, h.SheetHeight);
        return Rle5Decoder::Decode(rle, out.Sheet);
    } catch (const std::bad_alloc&) {
        return "not enough memory for a sheet of " + std::to_string(h.SheetWidth) + " x " +
               std::to_string(h.SheetHeight) + " pixels";
    }
}

}  // namespace

std::string ReadSif(std::span<const std::uint8_t> bytes, SifContents& out) {
    out = SifContents{};
    Cursor in(bytes);
    if (!in.Has(kSifHeaderSize)) {
        return "the file is " + std::to_string(bytes.size()) +
               " bytes long, too short for a SIF header";
    }
    const std::uint8_t* head = in.Take(kSifHeaderSize);
    if (head[0] != kSifSignature0 || head[1] != kSifSignature1 || head[2] != kSifFixed0 ||
        head[3] != kSifFixed1) {
        return "not a SIF file: it does not start with \"SF\" 01 02";
    }
    out.ImagePos = GetLE32(head + kSifImagePosOffset);
    // The image section follows at least the LastAction field.
    if (out.ImagePos < kSifHeaderSize + 2 + 1 || out.ImagePos - 1 > bytes.size()) {
        return "ImagePos " + std::to_string(out.ImagePos) + " lies outside the file" +
               At(kSifImagePosOffset);
    }
    const std::size_t tablesEnd = out.ImagePos - 1;
    if (std::string error = ReadTables(in, tablesEnd, out); !error.empty()) return error;
    return ReadImage(in, out);
}

std::string ReadSifFile(const std::string& path, SifContents& out) {
    std::string error;
    const std::shared_ptr<const ArchiveFile> file = ArchiveFile::Open(path, error);
    if (!file) return error;
    return ReadSif(file->Bytes(), out);
}

}  // namespace pixhaul
