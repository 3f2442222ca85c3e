#pragma once
// ExportSif: one object of the archive as a SIF file. Its frames go onto one sheet (one row per
// direction, as in every export), the sheet is run-length coded (kind 5) and Huffman coded, and
// the tables of every action, direction and frame go in front of it.
#include <cstdint>
#include <string>
#include <vector>

#include "archive/model.h"
#include "export/output_budget.h"
#include "formats/sif_format.h"
#include "platform/host.h"

namespace pixhaul {

inline constexpr const char* kSifCreatedSuffix = ".sif created.";

enum class SifExportStatus {
    NoSelection,      // no object selected: nothing done at all
    Written,          // the file is complete
    NothingToExport,  // the object holds no frames: told the user, nothing written
    TooLarge,         // more than a SIF file can hold: told the user, nothing written
    OverBudget,       // over the output budget: refused (or declined), nothing written
    Failed,           // the file could not be written: the error box was shown, nothing left behind
    Canceled,         // the user stopped it: nothing written
};

struct SifExportResult {
    SifExportStatus status = SifExportStatus::NoSelection;
    std::string path;     // the file written (or that failed)
    std::string problem;  // what went wrong, as told to the user
    // Images whose stream could not be decoded fully (the background shows where they failed).
    std::vector<std::int32_t> corruptImages;
};

// Writes object `object` (-1: none selected) to ExportFolder + ExportName + ".sif", the name
// being the object's list text when ExportName is empty. The file appears complete or not at
// all; an older file of that name stays untouched on failure. After success ExportName is "";
// otherwise it is as it was.
// The sheet's pixels and uncompressed size are checked against budget before anything is coded.
SifExportResult ExportSif(const ArchiveModel& model, Settings& settings, Host& host,
                          std::int32_t object, const OutputBudget& budget = {});

}  // namespace pixhaul
