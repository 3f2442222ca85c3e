#pragma once
// Writing a SIF file in two passes. First the sheet goes in a band of rows at a time: the rows
// are run-length coded (kind 5), their records counted as they are written, the stream gathered
// in memory a megabyte at a time and held in the file to come, so memory does not grow with the
// sheet. Then the Huffman code is planned from the counts and the file written over the stream
// it is coded from: tables, image header, code tables and the coded stream, complete or not at
// all.
#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "formats/huffman.h"
#include "formats/rle_stream.h"
#include "formats/sif_format.h"
#include "platform/atomic_file.h"

namespace pixhaul {

// Sizes the tables for framesPerDirection[action][direction] frames each (the frames left
// empty). Returns "" or why a SIF file cannot hold them.
std::string SizeSifTables(const std::vector<std::vector<std::int64_t>>& framesPerDirection,
                          std::vector<SifAction>& table);

class SifSheetWriter {
  public:
    // The run-length stream gathers in memory up to this size before it goes to the file: a
    // small stream never touches the file, and a large one reuses memory that stays in the
    // cache (fresh memory for the whole stream costs more in page faults than the file's
    // copies; huge pages fault less, but where fresh memory is slow to clear, as in a virtual
    // machine whose host has yet to back it, they made one run in three twice as slow).
    static constexpr std::size_t kHeldBytes = std::size_t{1} << 20;

    // The file to come is begun at path at once: it holds the stream until it is coded. Throws
    // FileError.
    explicit SifSheetWriter(const std::string& path, std::size_t heldBytes = kHeldBytes);

    // Adds rows memory rows of width pixels at first, first + stride, ... (bottom row first).
    // Rows go in from the sheet's bottom up.
    void AddRows(const std::uint8_t* first, std::int64_t stride, std::int32_t width,
                 std::int32_t rows);
    // Ends the stream and lays out the file's head. Returns "" or why a SIF file cannot hold
    // the result. image.PayloadLast and image.RleKind are filled in here.
    std::string Plan(const std::vector<SifAction>& table, SifImageHeader image);
    // Writes the planned file. beforeCommit runs after the last byte, before the file takes
    // the name; what it throws leaves no file. Throws FileError.
    void Write(const std::function<void()>& beforeCommit);
    // Whether Write coded the stream over itself in the file, rather than into a second one.
    bool WroteInPlace() const { return inPlace_; }

  private:
    // A piece of the stream as it went to the file, and the counts of its bytes.
    struct Piece {
        std::size_t size;
        Rle5Encoder::ByteCounts counts;
    };
    // Moves what the encoder holds to the file.
    void Spill();
    // Whether the coded file can be written over the stream it is coded from: its head and the
    // codes of every piece must end before the next piece starts.
    bool FitsInPlace() const;
    // Codes the pieces held in the file into out, the head first.
    void CodePieces(AtomicFile& out);

    AtomicFile file_;
    Rle5Encoder encoder_{true};  // counts the stream's bytes as it writes them
    std::vector<Piece> pieces_;
    std::uint64_t spilledBytes_ = 0;
    std::uint64_t reservedBytes_ = 0;
    std::size_t heldBytes_;
    bool inPlace_ = false;
    std::optional<HuffmanPlan> plan_;
    std::vector<std::uint8_t> head_;
};

}  // namespace pixhaul
