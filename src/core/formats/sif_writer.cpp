#include "formats/sif_writer.h"

#include <algorithm>
#include <cerrno>
#include <limits>
#include <memory>

#include "formats/byte_order.h"
#include "platform/atomic_file.h"
#include "platform/job_thread.h"
#include "platform/usable_cores.h"

namespace pixhaul {
namespace {

// The payload's length minus one is stored as a signed 32-bit number.
constexpr std::uint64_t kMaxPayload =
    static_cast<std::uint64_t>(std::numeric_limits<std::int32_t>::max()) + 1;
// Source bytes handed to the Huffman data writer at a time.
constexpr std::size_t kCodeChunk = std::size_t{1} << 20;

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

SifSheetWriter::SifSheetWriter(const std::string& folder, std::size_t heldBytes)
    : spill_(folder), heldBytes_(heldBytes) {}

void SifSheetWriter::Spill() {
    spill_.Write(encoder_.Written());
    encoder_.DropWritten();
    spilled_ = true;
}

void SifSheetWriter::AddBand(const Surface& band) {
    encoder_.AddSurface(band);
    if (encoder_.Size() >= heldBytes_) Spill();
}

void SifSheetWriter::AddRows(const std::uint8_t* first, std::int64_t stride, std::int32_t width,
                             std::int32_t rows) {
    encoder_.AddRows(first, stride, width, rows);
    if (encoder_.Size() >= heldBytes_) Spill();
}

std::string SifSheetWriter::Plan(const std::vector<SifAction>& table, SifImageHeader image) {
    encoder_.Close();
    if (spilled_) Spill();
    Rle5Encoder::ByteCounts counts{};
    encoder_.TakeCounts(counts);
    histogram_ = ByteHistogram::FromCounts(counts);
    const HuffmanPlan& plan = plan_.emplace(histogram_);
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

void SifSheetWriter::Write(const std::string& path, const std::function<void()>& beforeCommit) {
    AtomicFile file(path);
    file.Reserve(head_.size() + plan_->BlockSize() - plan_->HeadSize());
    file.Write(head_.data(), head_.size());
    HuffmanDataWriter data(*plan_);
    // Room for the coded form of one chunk, taken once and never cleared; with a core to spare,
    // one chunk is written on a thread of its own while the next is coded into the other room.
    const std::size_t room = data.RoomFor(kCodeChunk);
    const std::unique_ptr<std::uint8_t[]> coded[2] = {
        std::unique_ptr<std::uint8_t[]>(new std::uint8_t[room]),
        std::unique_ptr<std::uint8_t[]>(new std::uint8_t[room])};
    JobThread writing(UsableCores() > 1);
    std::size_t which = 0;
    std::uint64_t taken = 0;
    auto code = [&](std::span<const std::uint8_t> piece) {
        taken += piece.size();
        std::uint8_t* const out = coded[which].get();
        const std::size_t bytes = data.Write(piece, out);
        writing.Run([&file, out, bytes] { file.Write(out, bytes); });
        which ^= 1;
    };
    if (!spilled_) {
        const std::span<const std::uint8_t> held = encoder_.Written();
        for (std::size_t at = 0; at < held.size(); at += kCodeChunk) {
            code(held.subspan(at, std::min(kCodeChunk, held.size() - at)));
        }
    } else {
        spill_.Rewind();
        std::vector<std::uint8_t> piece(kCodeChunk);
        for (std::size_t n; (n = spill_.Read(piece)) > 0;) code({piece.data(), n});
    }
    writing.Wait();
    // The stream must give back exactly what was counted.
    if (taken != histogram_.Total()) ThrowFileError(EIO, spill_.Folder());
    std::vector<std::uint8_t> chunk;
    data.Finish(chunk);
    file.Write(chunk.data(), chunk.size());
    if (beforeCommit) beforeCommit();
    file.Commit();
}

}  // namespace pixhaul
