#pragma once
// Reads a SIF file back: its tables and its sheet's pixels. Every field is checked against the
// file's size before it is used; nothing is allocated from a field that was not checked.
#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <vector>

#include "formats/huffman_decode.h"
#include "formats/rle_stream.h"
#include "formats/sif_format.h"
#include "formats/sif_reader_chunks.h"
#include "platform/byte_source.h"
#include "platform/surface.h"

namespace pixhaul {

struct SifContents {
    std::uint32_t ImagePos = 0;
    std::int16_t LastAction = -1;
    std::vector<SifAction> Actions;  // LastAction + 1 entries
    SifImageHeader Image;
    bool PayloadCoded = false;    // coded form (true) or stored form of the Huffman step
    std::uint64_t RleLength = 0;  // length of the run-length stream once uncoded
    Surface Sheet;                // SheetWidth x SheetHeight
};

// Parses a whole SIF file held in memory. Returns "" on success, else what was wrong (and where);
// on failure the contents are unspecified.
std::string ReadSif(std::span<const std::uint8_t> bytes, SifContents& out);

std::string ReadSif(ByteSource& source, SifContents& out);

// Reads the file at path and parses it.
std::string ReadSifFile(const std::string& path, SifContents& out);

// Told each entry of the tables as they are read, in file order.
class SifTableVisitor {
  public:
    virtual ~SifTableVisitor() = default;
    virtual void BeginAction(std::int16_t lastDirection) = 0;
    virtual void BeginDirection(std::int16_t lastFrame) = 0;
    virtual void Frame(const SifFrame& frame) = 0;
    virtual void EndDirection() = 0;
    virtual void EndAction() = 0;
};

// Reads a SIF file a band of rows at a time, so that neither the file, the sheet nor its
// run-length stream is ever whole in memory. Open reads everything in front of the pixels;
// ReadRows then gives the sheet's memory rows, bottom row first; Finish checks what follows the
// last row. Any error is final.
class SifSheetReader {
  public:
    // Fills out's fields but Actions (given to tables, when there is one, instead) and Sheet.
    // bytes must outlive the reader. Returns "" or what was wrong.
    std::string Open(std::span<const std::uint8_t> bytes, SifContents& out,
                     SifTableVisitor* tables = nullptr);
    // The same for a file read a piece at a time (source must outlive the reader).
    std::string Open(ByteSource& source, SifContents& out, SifTableVisitor* tables = nullptr);
    // The next rows memory rows go to first, first + stride, ...; first == nullptr only checks
    // them. Returns "" or what was wrong.
    std::string ReadRows(std::uint8_t* first, std::int64_t stride, std::int32_t rows);
    // After the last row: "" or what is wrong with the rest of the payload.
    std::string Finish();
    // Uncode the payload ahead on a worker thread while rows are placed (off at start). Worth
    // it only when the rows are read front to back: a Seek drops what was uncoded ahead.
    void UncodeAhead(bool ahead);

    // A place in the sheet to come back to (between ReadRows calls).
    struct Mark {
        HuffmanStreamDecoder::Position huffman;
        std::size_t consumed = 0;
        Rle5StreamDecoder rle{0, 0};
    };
    Mark Tell() const { return Mark{chunk_->start, consumed_, rle_}; }
    void Seek(const Mark& mark);

  private:
    std::string OpenFrom(ByteSource& source, SifContents& out, SifTableVisitor* tables);
    std::string PayloadError(const std::string& error) const;
    bool Refill();

    std::unique_ptr<MemorySource> ownSource_;
    HuffmanStreamDecoder huffman_;
    Rle5StreamDecoder rle_{0, 0};
    bool ahead_ = false;
    // Declared after huffman_, so that its worker is stopped before the decoder goes.
    std::unique_ptr<UncodedChunks> chunks_;
    // The chunk being placed (before the first, an empty one at the payload's start).
    UncodedChunks::Chunk none_;
    const UncodedChunks::Chunk* chunk_ = &none_;
    std::size_t consumed_ = 0;
    std::uint64_t payloadOffset_ = 0;
};

}  // namespace pixhaul
