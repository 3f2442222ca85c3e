#pragma once
// A SIF file's tables as JSON, written while the reader walks them: the same text an indented
// dump of a JSON document of them gives (keys in alphabetical order, two spaces a level),
// without ever holding the document.
#include <cstddef>
#include <cstdint>
#include <string>

#include "formats/sif_format.h"
#include "formats/sif_reader.h"
#include "platform/atomic_file.h"

namespace pixhaul {

class SifTablesJson : public SifTableVisitor {
  public:
    // Begins the file at path (in place only at Commit). Throws FileError.
    explicit SifTablesJson(const std::string& path);

    void BeginAction(std::int16_t lastDirection) override;
    void BeginDirection(std::int16_t lastFrame) override;
    void Frame(const SifFrame& frame) override;
    void EndDirection() override;
    void EndAction() override;

    // The fields after the tables, then the file is put in place. Throws FileError.
    void Commit(const SifContents& sif);

  private:
    // Starts an element of an array whose elements are indented by `indent` + 2 spaces.
    void Item(std::size_t& count, int indent);
    // Ends an array whose key is indented by `indent` spaces: "[]" when it has no element.
    void Close(std::size_t count, int indent);
    void Flush();

    AtomicFile file_;
    std::string text_;
    std::size_t actions_ = 0;
    std::size_t directions_ = 0;
    std::size_t frames_ = 0;
};

}  // namespace pixhaul
