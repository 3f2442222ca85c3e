#pragma once
// Writing a SIF file in two passes. First the sheet goes in band by band: each band is
// run-length coded (kind 5), its records counted as they are written, the stream gathered in
// memory a megabyte at a time and held in a spill file, so memory does not grow with the sheet.
// Then the Huffman code is planned from the counts and the file written: tables, image header,
// code tables and the coded stream, complete or not at all.
#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "formats/huffman.h"
#include "formats/rle_stream.h"
#include "formats/sif_format.h"
#include "platform/spill_file.h"
#include "platform/surface.h"

namespace pixhaul {

// Sizes the tables for framesPerDirection[action][direction] frames each (the frames left
// empty). Returns "" or why a SIF file cannot hold them.
std::string SizeSifTables(const std::vector<std::vector<std::int64_t>>& framesPerDirection,
                          std::vector<SifAction>& table);

class SifSheetWriter {
  public:
    // The run-length stream gathers in memory up to this size before it goes to the spill file:
    // a small stream never touches the file, and a large one reuses memory that stays in the
    // cache (fresh memory for the whole stream costs more in page faults than the file's
    // copies; huge pages fault less, but where fresh memory is slow to clear, as in a virtual
    // machine whose host has yet to back it, they made one run in three twice as slow).
    static constexpr std::size_t kHeldBytes = std::size_t{1} << 20;

    // The spill file goes in folder, beside the file to come. Throws FileError.
    explicit SifSheetWriter(const std::string& folder, std::size_t heldBytes = kHeldBytes);

    // Adds a band of the sheet (its memory rows, bottom row first). Bands go in from the
    // sheet's bottom up.
    void AddBand(const Surface& band);
    // The same for rows memory rows of width pixels at first, first + stride, ...
    void AddRows(const std::uint8_t* first, std::int64_t stride, std::int32_t width,
                 std::int32_t rows);
    // Ends the stream and lays out the file's head. Returns "" or why a SIF file cannot hold
    // the result. image.PayloadLast and image.RleKind are filled in here.
    std::string Plan(const std::vector<SifAction>& table, SifImageHeader image);
    // Writes the planned file at path. beforeCommit runs after the last byte, before the file
    // takes the name; what it throws leaves no file. Throws FileError.
    void Write(const std::string& path, const std::function<void()>& beforeCommit);

  private:
    // Moves what the encoder holds to the spill file.
    void Spill();

    SpillFile spill_;
    Rle5Encoder encoder_{true};  // counts the stream's bytes as it writes them
    ByteHistogram histogram_;
    std::size_t heldBytes_;
    bool spilled_ = false;
    std::optional<HuffmanPlan> plan_;
    std::vector<std::uint8_t> head_;
};

}  // namespace pixhaul
