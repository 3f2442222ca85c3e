#include "export/atlas_export.h"

#include <algorithm>
#include <array>
#include <cerrno>
#include <filesystem>
#include <memory>
#include <new>
#include <optional>
#include <ostream>
#include <streambuf>
#include <system_error>

#include "archive/archive.h"
#include "export/export_list.h"
#include "export/rgba_sprite.h"
#include "export/sheet_export.h"
#include "formats/atlas_data.h"
#include "platform/archive_file.h"
#include "platform/atomic_file.h"
#include "platform/replace_check.h"

namespace pixhaul {

const char* AtlasDataExtension(AtlasDataFormat format) {
    switch (format) {
        case AtlasDataFormat::Godot:
            return ".tres";
        case AtlasDataFormat::LibGdx:
            return ".atlas";
        default:
            return ".json";
    }
}

std::string AtlasPageFile(const std::string& name, std::size_t page, std::size_t pageCount) {
    return pageCount == 1 ? name + ".png" : name + "-" + std::to_string(page) + ".png";
}

std::string AtlasPagedJsonFile(const std::string& name, std::size_t page) {
    return name + "-" + std::to_string(page) + ".json";
}

std::vector<std::string> AtlasFilesThatMayBeReplaced(const std::string& base,
                                                     AtlasDataFormat data) {
    std::vector<std::string> paths = {base + ".png", base + AtlasDataExtension(data)};
    for (std::size_t page = 0;; ++page) {
        std::string pagePath = AtlasPageFile(base, page, 0);
        std::string dataPath = AtlasPagedJsonFile(base, page);
        std::error_code error;
        if (!std::filesystem::exists(pagePath, error) &&
            !std::filesystem::exists(dataPath, error)) {
            break;
        }
        paths.push_back(std::move(pagePath));
        paths.push_back(std::move(dataPath));
    }
    return paths;
}

namespace {

// The caller's host, except that duplicate frames are never left out of the list: the atlas
// stores a repeated image once itself and still needs every frame that uses it.
class EveryFrameHost : public Host {
  public:
    explicit EveryFrameHost(Host& host) : host_(host) {}
    void SetCaption(const std::string& text) override { host_.SetCaption(text); }
    void SetLabel(const std::string& text) override { host_.SetLabel(text); }
    MessageResult ShowMessage(const std::string& text, const std::string& title, MessageIcon icon,
                              MessageButtons buttons, const std::string& details) override {
        return host_.ShowMessage(text, title, icon, buttons, details);
    }
    bool IsOptionChecked(Option option) override {
        return option != Option::RemoveDuplicateFrames && host_.IsOptionChecked(option);
    }
    void Yield() override { host_.Yield(); }
    void Progress(std::int64_t done, std::int64_t total) override { host_.Progress(done, total); }
    bool IsCanceled() override { return host_.IsCanceled(); }

  private:
    Host& host_;
};

// Text streamed into a file through a small buffer. A write error leaves the stream as the
// AtomicFile's FileError.
class FileStreamBuffer : public std::streambuf {
  public:
    explicit FileStreamBuffer(AtomicFile& file) : file_(file) {
        setp(buffer_.data(), buffer_.data() + buffer_.size());
    }

  protected:
    int_type overflow(int_type c) override {
        sync();
        if (!traits_type::eq_int_type(c, traits_type::eof())) sputc(traits_type::to_char_type(c));
        return traits_type::not_eof(c);
    }
    int sync() override {
        file_.Write(pbase(), static_cast<std::size_t>(pptr() - pbase()));
        setp(buffer_.data(), buffer_.data() + buffer_.size());
        return 0;
    }

  private:
    AtomicFile& file_;
    std::array<char, 16384> buffer_{};
};

class AtlasFailure : public std::runtime_error {
  public:
    AtlasFailure(AtlasExportStatus status, const std::string& message)
        : std::runtime_error(message), status(status) {}
    AtlasExportStatus status;
};

std::vector<std::vector<std::string>> ActionNames(const ArchiveModel& model) {
    std::vector<std::vector<std::string>> names(model.Objects.size());
    for (std::size_t o = 0; o < model.Objects.size(); ++o) {
        for (const ActionRecord& action : model.Objects[o].Actions) names[o].push_back(action.Name);
    }
    return names;
}

class AtlasWriter {
  public:
    AtlasWriter(const ArchiveModel& model, const Settings& settings, Host& host,
                const AtlasExportRequest& request, AtlasExportResult& result)
        : model_(model), settings_(settings), host_(host), request_(request), result_(result) {}

    // Composes image on the canvas, noting it when it could not be decoded.
    void Compose(std::int32_t image) {
        const ImageOutcome outcome = canvas_.Compose(model_, image, settings_.TransColor, host_);
        NoteFailure(outcome, image, result_.corruptImages);
    }

    // Trimming composes each sprite's image once here and once more when its page is written:
    // keeping the pixels between the two would take memory for every frame.
    SpriteMeasure Measure(std::int32_t image) {
        SpriteMeasure measure;
        if (request_.Trim) {
            Compose(image);
            measure.sourceWidth = canvas_.Width();
            measure.sourceHeight = canvas_.Height();
            measure.box = canvas_.VisibleBox();
            Step();
            return measure;
        }
        const ImageRecord& record = model_.Images[static_cast<std::size_t>(image)];
        measure.sourceWidth = std::max<std::int32_t>(record.Width, 1);
        measure.sourceHeight = std::max<std::int32_t>(record.Height, 1);
        measure.box = {0, 0, measure.sourceWidth, measure.sourceHeight};
        return measure;
    }

    // Composes and writes one page, shelf by shelf: each sprite goes from the canvas straight
    // into the shelf's RGBA rows.
    void WritePage(const AtlasLayout& layout, std::int32_t page, PngWriter& png) {
        const AtlasPage& size = layout.pages[static_cast<std::size_t>(page)];
        const std::size_t rowBytes = static_cast<std::size_t>(size.width) * 4;
        const std::vector<std::uint8_t> clear(rowBytes, 0);
        std::vector<std::uint8_t> band;
        std::int32_t written = 0;
        for (const AtlasShelf& shelf : layout.shelves) {
            if (shelf.page != page) continue;
            png.WriteRows(clear.data(), 0, shelf.y - written);
            band.assign(rowBytes * static_cast<std::size_t>(shelf.height), 0);
            for (std::size_t i = shelf.first; i < shelf.end; ++i) {
                const AtlasSprite& sprite = layout.sprites[i];
                Compose(sprite.image);
                DrawCell(sprite,
                         band.data() + static_cast<std::size_t>(sprite.y - shelf.y) * rowBytes,
                         rowBytes);
                Step();
            }
            png.WriteRows(band.data(), static_cast<std::ptrdiff_t>(rowBytes), shelf.height);
            written = shelf.y + shelf.height;
        }
        png.WriteRows(clear.data(), 0, size.height - written);
        ThrowIfArchiveChanged(model_);
        png.Prepare();
    }

    std::int64_t total = 0;

  private:
    // The kept pixels at their place (`top` is the band row of the sprite's first kept row), and
    // the extrusion around them: every cell pixel takes the nearest kept pixel.
    void DrawCell(const AtlasSprite& sprite, std::uint8_t* top, std::size_t rowBytes) const {
        const std::int32_t e = std::clamp(request_.Layout.extrude, 0, kMaxAtlasSpacing);
        const SpriteBox& box = sprite.box;
        const std::size_t left = static_cast<std::size_t>(sprite.x) * 4;
        for (std::int32_t y = -e; y < box.height + e; ++y) {
            std::uint8_t* row =
                top + static_cast<std::ptrdiff_t>(y) * static_cast<std::ptrdiff_t>(rowBytes) + left;
            canvas_.RowToRgba(box.x, box.y + std::clamp(y, 0, box.height - 1), box.width, row);
            for (std::int32_t k = 1; k <= e; ++k) {
                std::copy_n(row, 4, row - 4 * k);
                std::copy_n(row + 4 * (box.width - 1), 4, row + 4 * (box.width - 1 + k));
            }
        }
    }

    void Step() {
        host_.Progress(++done_, total);
        host_.Yield();
        if (host_.IsCanceled()) throw AtlasFailure(AtlasExportStatus::Canceled, "");
    }

    const ArchiveModel& model_;
    const Settings& settings_;
    Host& host_;
    const AtlasExportRequest& request_;
    AtlasExportResult& result_;
    KeyedCanvas canvas_;
    std::int64_t done_ = 0;
};

void Tell(Host& host, const std::string& text) {
    host.ShowMessage(text, kProgramName, MessageIcon::Exclamation, MessageButtons::Ok);
}

}  // namespace

SelectionListing ListSelectionFrames(const ArchiveModel& model, Host& host, ExportMode mode,
                                     std::int32_t object, std::int32_t action,
                                     std::int32_t direction, std::vector<AtlasSource>& list) {
    constexpr SelectionListing missing = SelectionListing::NoSelection;
    const ArchiveFile* const archive = model.File.get();
    EveryFrameHost every(host);
    std::vector<ExportFrame> frames;
    const std::int32_t objects =
        model.IsLoaded() ? static_cast<std::int32_t>(model.Objects.size()) : 0;
    switch (mode) {
        case ExportMode::AllObjects:
            if (objects < 1) return missing;
            BuildExportList(model, every, frames, objects - 1, -1, -1, -1, 0, 0, 0, 0);
            break;
        case ExportMode::SelectedObject:
            if (object < 0) return missing;
            BuildExportList(model, every, frames, object, -1, -1, -1, object, 0, 0, 0);
            break;
        case ExportMode::SelectedAction:
            if (object < 0 || action < 0) return missing;
            BuildExportList(model, every, frames, object, action, -1, -1, object, action, 0, 0);
            break;
        case ExportMode::SelectedDirection:
            if (object < 0 || action < 0 || direction < 0) return missing;
            BuildExportList(model, every, frames, object, action, direction, -1, object, action,
                            direction, 0);
            break;
        default:
            return missing;
    }
    list.clear();
    list.reserve(frames.size());
    for (const ExportFrame& f : frames) {
        list.push_back(
            {f.ObjectIndex, f.ActionIndex, f.DirectionIndex, f.FrameIndex, f.ImageIndex});
    }
    if (model.File.get() != archive) return SelectionListing::Interrupted;
    if (list.empty()) {
        host.ShowMessage(kNothingToExport, kProgramName, MessageIcon::Information,
                         MessageButtons::Ok);
        return SelectionListing::NothingToExport;
    }
    return SelectionListing::Listed;
}

AtlasExportResult ExportAtlas(ArchiveModel& model, Settings& settings, Host& host,
                              const AtlasExportRequest& request, const OutputBudget& budget) {
    AtlasExportResult result;
    host.SetCaption(kCaptionIndexing);
    std::vector<AtlasSource> frames;
    const SelectionListing listing = ListSelectionFrames(model, host, request.Mode, request.Object,
                                                         request.Action, request.Direction, frames);
    if (listing != SelectionListing::Listed) {
        result.status = UnlistedStatus<AtlasExportStatus>(listing);
        return result;
    }
    const std::string name =
        !settings.ExportName.empty()
            ? settings.ExportName
            : FitFileName(settings.ExportFolder,
                          AutomaticExportName(model, settings.ArchivePath, request.Mode,
                                              request.Object, request.Action, request.Direction, 0),
                          8);
    AtlasWriter writer(model, settings, host, request, result);
    try {
        host.SetCaption(kCaptionAssembling);
        AtlasLayout& layout = result.layout;
        try {
            writer.total = request.Trim ? static_cast<std::int64_t>(frames.size()) : 0;
            layout = LayoutAtlas(
                frames, [&](std::int32_t image) { return writer.Measure(image); }, request.Layout);
        } catch (const AtlasLayoutError& error) {
            throw AtlasFailure(AtlasExportStatus::TooLarge,
                               "The atlas cannot be laid out: " + std::string(error.what()) + ".");
        }
        std::uint64_t pixels = 0;
        std::uint64_t bytes = 0;
        for (const AtlasShelf& shelf : layout.shelves) {
            const AtlasPage& page = layout.pages[static_cast<std::size_t>(shelf.page)];
            const std::int64_t band = std::int64_t{page.width} * shelf.height * 4;
            if (band > kMaxSheetBandBytes) {
                throw AtlasFailure(AtlasExportStatus::TooLarge,
                                   SheetTooLargeToAssemble(page.width, page.height, band));
            }
        }
        for (const AtlasPage& page : layout.pages) {
            pixels +=
                static_cast<std::uint64_t>(page.width) * static_cast<std::uint64_t>(page.height);
            bytes += (static_cast<std::uint64_t>(page.width) * 4 + 1) *
                     static_cast<std::uint64_t>(page.height);
        }
        bytes += static_cast<std::uint64_t>(layout.frames.size()) * 512;  // the data, at most
        AtlasDocument document;
        document.layout = &layout;
        document.fps = std::clamp(request.Fps, 1, kMaxAtlasFps);
        document.animations = AtlasAnimations(layout.frames, ActionNames(model));
        for (std::size_t p = 0; p < layout.pages.size(); ++p) {
            document.pageFiles.push_back(AtlasPageFile(name, p, layout.pages.size()));
        }
        // Several pages in JSON: one hash a page (NAME-0.json, ...), since a hash names one image.
        std::vector<std::string> dataFiles;
        if (request.Data == AtlasDataFormat::Json && layout.pages.size() > 1) {
            for (std::size_t p = 0; p < layout.pages.size(); ++p) {
                dataFiles.push_back(AtlasPagedJsonFile(name, p));
            }
        } else {
            dataFiles.push_back(name + AtlasDataExtension(request.Data));
        }
        if (!ClearedByBudget(
                {settings.ExportFolder + document.pageFiles.front(), pixels, bytes, false}, budget,
                host)) {
            result.status = AtlasExportStatus::OverBudget;
            return result;
        }
        const std::optional<FileIdentity> input =
            model.File ? std::optional(model.File->Identity()) : std::nullopt;
        for (const std::string& page : document.pageFiles) {
            CheckReplaceable(settings.ExportFolder + page, input);
        }
        for (const std::string& data : dataFiles) {
            CheckReplaceable(settings.ExportFolder + data, input);
        }

        writer.total += static_cast<std::int64_t>(layout.sprites.size());
        std::vector<std::unique_ptr<PngWriter>> pages;
        for (std::size_t p = 0; p < layout.pages.size(); ++p) {
            pages.push_back(std::make_unique<PngWriter>(
                settings.ExportFolder + document.pageFiles[p], layout.pages[p].width,
                layout.pages[p].height, request.PngLevel, 0, PngPixels::Rgba));
            writer.WritePage(layout, static_cast<std::int32_t>(p), *pages.back());
        }
        std::vector<std::unique_ptr<AtomicFile>> data;
        for (std::size_t d = 0; d < dataFiles.size(); ++d) {
            data.push_back(std::make_unique<AtomicFile>(settings.ExportFolder + dataFiles[d]));
            FileStreamBuffer buffer(*data.back());
            std::ostream out(&buffer);
            out.exceptions(std::ios::badbit);  // the file's own error goes on
            switch (request.Data) {
                case AtlasDataFormat::Godot:
                    WriteGodotSpriteFrames(out, document);
                    break;
                case AtlasDataFormat::LibGdx:
                    WriteLibGdxAtlas(out, document);
                    break;
                default:
                    if (dataFiles.size() == 1) {
                        WriteAtlasJson(out, document);
                    } else {
                        WriteAtlasPageJson(out, document, d, dataFiles);
                    }
                    break;
            }
            out.flush();
            data.back()->Prepare();
        }
        ThrowIfArchiveChanged(model);
        // Every file is complete on the disk: all of them replace their targets, or none does.
        std::vector<AtomicFile*> files;
        for (auto& page : pages) files.push_back(&page->File());
        for (auto& file : data) files.push_back(file.get());
        PublishTogether(files);
        for (const std::string& page : document.pageFiles) {
            result.paths.push_back(settings.ExportFolder + page);
        }
        for (const std::string& file : dataFiles) {
            result.paths.push_back(settings.ExportFolder + file);
        }
    } catch (const AtlasFailure& failure) {
        if (failure.what()[0] != '\0') Tell(host, failure.what());
        result.status = failure.status;
        return result;
    } catch (const FileError& error) {
        ShowExportError(host, error.Number(), error.Description(), error.Path());
        result.status = AtlasExportStatus::Failed;
        return result;
    } catch (const std::bad_alloc&) {
        ShowExportError(host, ENOMEM, std::generic_category().message(ENOMEM));
        result.status = AtlasExportStatus::Failed;
        return result;
    }
    host.SetCaption(FileNameOf(result.paths.back()) + " created.");
    settings.ExportName.clear();
    result.status = AtlasExportStatus::Written;
    return result;
}

}  // namespace pixhaul
