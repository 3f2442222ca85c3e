#pragma once
// DecodeSif: a SIF file's sheet back as a picture (BMP or PNG), and its tables as JSON. The file
// is read a piece at a time and the sheet decoded a band of rows at a time straight into the
// picture, so memory does not grow with either. Each output appears complete or not at all.
#include <string>

#include "export/sheet_export.h"
#include "formats/png_writer.h"

namespace pixhaul {

struct SifDecodeRequest {
    std::string Sif;      // the SIF file to read
    std::string Picture;  // the sheet's picture to write
    SheetFormat Format = SheetFormat::Bmp;
    int PngLevel = kPngDefaultCompression;
    std::string Tables;  // where the tables go as JSON; empty: nowhere
};

// Returns "" or what is wrong with the SIF file, after its path ("a.sif: ..."); then neither
// output is written. The caller checks beforehand that the outputs may be replaced. Throws
// FileError when an output cannot be written.
std::string DecodeSif(const SifDecodeRequest& request);

}  // namespace pixhaul
