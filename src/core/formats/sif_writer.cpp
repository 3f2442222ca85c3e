#include "formats/sif_writer.h"

#include <algorithm>
#include <array>
#include <cerrno>
#include <limits>
#include <memory>

#include "formats/byte_order.h"
#include "platform/atomic_file.h"
#include "platform/job_thread.h"
#include "platform/large_block.h"
#include "platform/usable_cores.h"

namespace pixhaul {
namespace {

// The payload's length minus one is stored as a signed 32-bit number.
constexpr std::uint64_t kMaxPayload =
    static_cast<std::uint64_t>(std::numeric_limits<std::int32_t>::max()) + 1;
// The file's blocks for the stream are asked for ahead in steps that double up to the largest.
constexpr std::uint64_t kFirstReserve = std::uint64_t{8} << 20;
constexpr std::uint64_t kLargestReserve = std::uint64_t{64} << 20;
// The run-length records of a row of up to 16 Ki pixels.
constexpr std::size_t kReservedRowBytes = std::size_t{64} << 10;

std::string Refusal(std::int64_t count, const std::string& what) {
    return "A SIF file cannot hold this object: it has " + std::to_string(count) + " " + what +
           ", a SIF file at most " + std::to_string(kSifMaxEntries) + ".";
}

}  // namespace

std::string SizeSifTables(const std::vector<std::vector<std::int64_t>>& framesPerDirection,
                          std::vector<SifAction>& table) {
    if (framesPerDirection.size() > static_cast<std::size_t>(kSifMaxEntries)) {
        return Refusal(static_cast<std::int64_t>(framesPerDirection.size()), "actions");
    }
    table.assign(framesPerDirection.size(), {});
    for (std::size_t a = 0; a < table.size(); ++a) {
        const std::size_t directions = framesPerDirection[a].size();
        if (directions > static_cast<std::size_t>(kSifMaxEntries)) {
            return Refusal(static_cast<std::int64_t>(directions),
                           "directions in action " + std::to_string(a));
        }
        table[a].LastDirection =
            static_cast<std::int16_t>(static_cast<std::int32_t>(directions) - 1);
        table[a].Directions.resize(directions);
    }
    for (std::size_t a = 0; a < table.size(); ++a) {
        for (std::size_t d = 0; d < table[a].Directions.size(); ++d) {
            const std::int64_t frames = framesPerDirection[a][d];
            if (frames > kSifMaxEntries) {
                return Refusal(frames, "frames in direction " + std::to_string(d) + " of action " +
                                           std::to_string(a));
            }
            SifDirection& direction = table[a].Directions[d];
            direction.LastFrame = static_cast<std::int16_t>(frames - 1);
            direction.Frames.resize(static_cast<std::size_t>(frames));
        }
    }
    return "";
}

SifSheetWriter::SifSheetWriter(const std::string& path, std::size_t heldBytes)
    : file_(path), heldBytes_(heldBytes) {
    file_.Scratch();
    // What is held and one row more, without the copies of growing into it.
    encoder_.Reserve(heldBytes_ + kReservedRowBytes);
}

void SifSheetWriter::Spill() {
    const std::span<const std::uint8_t> written = encoder_.Written();
    if (spilledBytes_ + written.size() > reservedBytes_) {
        // Blocks taken ahead in steps cost less than the page-by-page allocation of plain
        // writes; a step at most this large is all that may go unused.
        const std::uint64_t step = std::clamp(reservedBytes_, kFirstReserve, kLargestReserve);
        reservedBytes_ = std::max(reservedBytes_ + step, spilledBytes_ + written.size());
        file_.Reserve(reservedBytes_);
    }
    file_.Write(written.data(), written.size());
    Piece& piece = pieces_.emplace_back();
    piece.size = written.size();
    piece.counts.fill(0);
    encoder_.TakeCounts(piece.counts);
    spilledBytes_ += written.size();
    encoder_.DropWritten();
}

void SifSheetWriter::AddRows(const std::uint8_t* first, std::int64_t stride, std::int32_t width,
                             std::int32_t rows) {
    // Row by row, so that a piece of the stream is never much larger than what is held: its
    // buffers, and those that code it, stay the same few pages from the first band on.
    for (std::int32_t row = 0; row < rows; ++row) {
        encoder_.AddRows(first + row * stride, stride, width, 1);
        if (encoder_.Size() >= heldBytes_) Spill();
    }
}

std::string SifSheetWriter::Plan(const std::vector<SifAction>& table, SifImageHeader image) {
    encoder_.Close();
    if (!pieces_.empty()) Spill();
    Rle5Encoder::ByteCounts counts{};
    for (const Piece& piece : pieces_) {
        for (std::size_t v = 0; v < counts.size(); ++v) counts[v] += piece.counts[v];
    }
    encoder_.TakeCounts(counts);
    const HuffmanPlan& plan = plan_.emplace(ByteHistogram::FromCounts(counts));
    if (plan.BlockSize() > kMaxPayload) {
        return "A SIF file cannot hold this object: its coded sheet of " +
               std::to_string(plan.BlockSize()) + " bytes is too large.";
    }
    head_ = SerializeSifTables(table);
    if (head_.size() >= std::numeric_limits<std::uint32_t>::max()) {
        return "A SIF file cannot hold this object: its tables take " +
               std::to_string(head_.size()) + " bytes.";
    }
    // ImagePos counts from 1.
    StoreLE(head_.data() + kSifImagePosOffset, static_cast<std::uint32_t>(head_.size() + 1));
    image.PayloadLast = static_cast<std::int32_t>(plan.BlockSize() - 1);
    image.RleKind = kRleKind24;
    const std::vector<std::uint8_t> imageHead = SerializeSifImageHeader(image);
    head_.insert(head_.end(), imageHead.begin(), imageHead.end());
    const std::vector<std::uint8_t> payloadHead = plan.Head();
    head_.insert(head_.end(), payloadHead.begin(), payloadHead.end());
    return "";
}

bool SifSheetWriter::FitsInPlace() const {
    const HuffmanPlan& plan = *plan_;
    std::uint64_t streamEnd = 0;
    std::uint64_t bits = 0;
    // The stored form keeps every byte as it is.
    std::array<unsigned, 256> length{};
    for (std::size_t v = 0; v < length.size(); ++v) {
        length[v] = plan.IsStored() ? 8 : plan.BitCount(static_cast<std::uint8_t>(v));
    }
    for (const Piece& piece : pieces_) {
        streamEnd += piece.size;
        for (std::size_t v = 0; v < piece.counts.size(); ++v) bits += piece.counts[v] * length[v];
        if (head_.size() + (bits + 7) / 8 > streamEnd) return false;
    }
    return true;
}

void SifSheetWriter::CodePieces(AtomicFile& out) {
    out.Write(head_.data(), head_.size());
    HuffmanDataWriter data(*plan_);
    std::size_t largest = 0;
    for (const Piece& piece : pieces_) largest = std::max(largest, piece.size);
    // Room for one piece and its coded form, taken once and never cleared; with a core to
    // spare, one piece's codes are written on a thread of their own while the next is coded
    // into the other room. The pieces are read back into the encoder's room, which held each
    // of them before.
    const std::size_t room = data.RoomFor(largest);
    std::span<std::uint8_t> source = encoder_.SpareRoom();
    LargeBuffer ownSource;
    if (source.size() < largest) {
        ownSource = LargeBuffer(largest);
        source = {ownSource.data(), largest};
    }
    const LargeBuffer coded[2] = {LargeBuffer(room), LargeBuffer(room)};
    JobThread writing(UsableCores() > 1);
    std::size_t which = 0;
    std::uint64_t at = 0;
    for (const Piece& piece : pieces_) {
        // Read before anything is written over it: in place, the codes written so far end
        // before this piece starts.
        file_.ReadScratch(at, source.first(piece.size));
        at += piece.size;
        std::uint8_t* const into = coded[which].data();
        const std::size_t bytes = data.Write(source.first(piece.size), into);
        writing.Run([&out, into, bytes] { out.Write(into, bytes); });
        which ^= 1;
    }
    writing.Wait();
    std::vector<std::uint8_t> last;
    data.Finish(last);
    out.Write(last.data(), last.size());
}

void SifSheetWriter::Write(const std::function<void()>& beforeCommit) {
    const HuffmanPlan& plan = *plan_;
    const std::uint64_t size = head_.size() + plan.BlockSize() - plan.HeadSize();
    inPlace_ = pieces_.empty() || FitsInPlace();
    file_.EndScratch();
    if (pieces_.empty()) {
        // The whole stream is still in memory.
        file_.Reserve(size);
        file_.Write(head_.data(), head_.size());
        HuffmanDataWriter data(plan);
        std::vector<std::uint8_t> coded;
        data.Write(encoder_.Written(), coded);
        data.Finish(coded);
        file_.Write(coded.data(), coded.size());
    } else if (inPlace_) {
        CodePieces(file_);
    } else {
        // The head or some piece's codes would overtake the stream before it is read: a second
        // file, and the first one (with the stream) dropped.
        AtomicFile out(file_.TargetPath());
        out.Reserve(size);
        CodePieces(out);
        if (beforeCommit) beforeCommit();
        out.Commit();
        file_.Discard();
        return;
    }
    if (beforeCommit) beforeCommit();
    file_.Commit();
}

}  // namespace pixhaul
