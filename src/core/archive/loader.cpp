// LoadArchive and LoadArchiveIndex: version byte, tag scan, image blocks, object blocks.
//
// LoadArchive reads the whole file into memory once; LoadArchiveIndex maps it, or reads it in
// pieces into one reused buffer. All parse through the same ByteWindow, so they build the same
// tables and find the same problems. Every field is read through a cursor that knows how many bytes
// are left, and every count is checked against those bytes before it sizes anything. Memory follows
// what was read: an image costs its compact record and an id key, and nothing is reserved for a
// count before the entries it claims have been read. A damaged archive keeps what was read
// completely; every problem found, each with its byte offset, is told to the user once, at the end,
// and returned with the result.
#include <algorithm>
#include <limits>
#include <string>
#include <vector>

#include "archive/archive.h"
#include "archive/block_layout.h"
#include "archive/byte_window.h"
#include "archive/image_keys.h"
#include "archive/tag_scan.h"
#include "formats/byte_order.h"
#include "platform/cache_size.h"

namespace pixhaul {

namespace {

constexpr std::size_t kFrameSize = 8;
constexpr std::size_t kMinDirectionSize = 32;  // a direction without frames
constexpr std::size_t kMinActionSize = 16;     // an action without directions or name

// Little-endian reads over the file's bytes. Callers check Has() before reading.
class Cursor {
  public:
    // Reads from pos on, at most limit bytes and never past the end of the file.
    Cursor(ByteWindow& window, std::size_t pos, std::size_t limit)
        : window_(window), pos_(std::min(pos, window.Size())) {
        size_ = pos_ + std::min(limit, window.Size() - pos_);
    }

    std::size_t Pos() const { return pos_; }
    std::size_t Left() const { return size_ - pos_; }
    bool Has(std::size_t n) const { return Left() >= n; }

    void Skip(std::size_t n) { pos_ += n; }
    // The next n bytes (n <= the window's MaxFetch()), valid until the next read.
    const std::uint8_t* Take(std::size_t n) {
        const std::uint8_t* p = window_.Fetch(pos_, n);
        pos_ += n;
        return p;
    }
    std::uint32_t U32() { return LoadLE32(Take(4)); }
    std::int32_t I32() { return static_cast<std::int32_t>(U32()); }
    // The next n bytes as text: 8-bit, read as Latin-1 and kept as UTF-8.
    std::string Latin1Text(std::size_t n);

  private:
    ByteWindow& window_;
    std::size_t size_ = 0;
    std::size_t pos_;
};

std::string Cursor::Latin1Text(std::size_t n) {
    std::string text;
    text.reserve(n);
    while (n > 0) {
        const std::size_t chunk = std::min(n, window_.MaxFetch());
        const std::uint8_t* p = Take(chunk);
        for (std::size_t i = 0; i < chunk; ++i) {
            const std::uint8_t c = p[i];
            if (c < 0x80) {
                text.push_back(static_cast<char>(c));
            } else {
                text.push_back(static_cast<char>(0xC0 | (c >> 6)));
                text.push_back(static_cast<char>(0x80 | (c & 0x3F)));
            }
        }
        n -= chunk;
    }
    return text;
}

// Collects what was wrong with a damaged archive, each problem with its byte offset. A file full
// of bad frames could name millions; the first kMaxListedProblems are kept and the rest counted.
class DamageReport {
  public:
    static constexpr std::size_t kMaxListedProblems = 1000;

    template <typename Describe>
    void Add(std::size_t offset, Describe&& describe) {
        if (count_++ < kMaxListedProblems) {
            problems_.push_back({static_cast<std::int64_t>(offset), describe()});
        }
    }
    // Problems of the file as a whole, listed before every other.
    void AddWholeFirst(const std::vector<std::string>& whats) {
        std::vector<LoadProblem> first;
        for (const std::string& what : whats) first.push_back({LoadProblem::kWholeFile, what});
        problems_.insert(problems_.begin(), first.begin(), first.end());
        count_ += first.size();
        if (problems_.size() > kMaxListedProblems) problems_.resize(kMaxListedProblems);
    }
    bool Any() const { return count_ > 0; }
    std::string Message() const {
        // Appended piece by piece: g++ 12 warns wrongly about "literal" + std::string chains.
        std::string text = "The archive is damaged: ";
        text.append(LoadProblemText(problems_.front())).append(".");
        if (count_ > 1) {
            text.append(" ").append(std::to_string(count_ - 1)).append(" further problem");
            text.append(count_ > 2 ? "s were found (see the details)."
                                   : " was found (see the details).");
        }
        text.append(" Everything that could be read completely has been loaded.");
        return text;
    }
    // One line per problem, for the message's details.
    std::string Details() const {
        std::string text;
        for (const LoadProblem& problem : problems_)
            text.append(LoadProblemText(problem)).append("\n");
        if (count_ > problems_.size()) {
            text.append("... and ").append(std::to_string(count_ - problems_.size()));
            text.append(" more\n");
        }
        return text;
    }
    std::vector<LoadProblem> Take() { return std::move(problems_); }

  private:
    std::vector<LoadProblem> problems_;
    std::size_t count_ = 0;
};

std::string BlockName(std::size_t block) {
    return "image block " + std::to_string(block);
}
std::string ImageName(std::size_t block, std::size_t image) {
    return "image " + std::to_string(image) + " of " + BlockName(block);
}
std::string ObjectName(std::size_t object) {
    return "object " + std::to_string(object);
}
std::string ActionName(std::size_t object, std::size_t action) {
    return "action " + std::to_string(action) + " of " + ObjectName(object);
}
std::string DirectionName(std::size_t object, std::size_t action, std::size_t direction) {
    return "direction " + std::to_string(direction) + " of " + ActionName(object, action);
}
std::string MoreThanFits(std::uint64_t stated, const char* what, std::size_t left) {
    return " claims " + std::to_string(stated) + " " + what + ", more than the " +
           std::to_string(left) + " bytes after it can hold";
}

class Loader {
  public:
    Loader(ArchiveModel& model, Host& host, DamageReport& damage, ByteWindow& window)
        : model_(model), host_(host), window_(window), damage_(damage) {}

    // True when image block b has been found (its tag may lie further on than scanned so far).
    bool HasImageBlock(std::size_t b);
    void LoadImageBlocks(std::size_t firstBlock);
    void LoadObjectBlocks(const std::vector<std::int64_t>& positions);
    // True when the model was reset or reloaded while the host processed its messages; the
    // load then stops and leaves the model to whoever changed it.
    bool Interrupted() const { return interrupted_; }
    // True when the host asked to stop; the load stops between two images or two objects.
    bool Canceled() const { return canceled_; }

  private:
    bool WithinBudget(std::size_t block, std::size_t start, const char* kind);
    void Spend(const Cursor& c, std::size_t start);
    void LoadImageBlock(std::size_t block, Cursor& c);
    void ReserveImages(std::size_t needed, const Cursor& c);
    void TrimImages();
    std::size_t AppendImage(const ImageRecord& record);
    void LoadObject(std::size_t object, Cursor& c);
    bool ReadAction(Cursor& c, ActionRecord& action, std::size_t object, std::size_t index);
    bool ReadDirection(Cursor& c, DirectionRecord& direction, std::size_t object,
                       std::size_t action, std::size_t index);

    ArchiveModel& model_;
    Host& host_;
    ByteWindow& window_;
    const std::vector<std::int64_t>& imageBlocks_ = window_.Tags().imageBlocks;
    DamageReport& damage_;
    ImageKeys keys_;
    std::size_t loadedImages_ = 0;
    const ArchiveFile* file_ = model_.File.get();
    std::vector<std::size_t> blockFirstImage_;  // index in Images of each block's first image
    // Blocks are found by their tags alone, so they may overlap (a tag inside a stream or a name
    // starts a block of its own). Together they may read a few times the file, no more: a file
    // of many overlapping blocks would otherwise be read over and over, each time into memory.
    std::size_t readBudget_ = 4 * window_.Size() + 65536;
    // The object tables may take at most this much memory: with the file's own bytes, the tag
    // positions and the image records, a model stays within four times its file plus 64 MiB,
    // whatever the file claims. Tags alone (a file of nothing but "AnSt") would otherwise make
    // an empty object of every four bytes. In a sound archive the image streams outweigh the
    // object tables many times over.
    std::size_t tableBudget_ = window_.Size() + (std::size_t{32} << 20);
    TableArena& tables_ = *model_.Tables;
    bool interrupted_ = false;
    bool canceled_ = false;
};

bool Loader::HasImageBlock(std::size_t b) {
    while (b >= imageBlocks_.size() && window_.ScanMore()) {
    }
    return b < imageBlocks_.size();
}

void Loader::LoadImageBlocks(std::size_t firstBlock) {
    for (std::size_t b = firstBlock; HasImageBlock(b) && !interrupted_ && !canceled_; ++b) {
        const auto start = static_cast<std::size_t>(imageBlocks_[b]);
        if (!WithinBudget(b, start, "image block")) continue;
        Cursor c(window_, start, readBudget_);
        LoadImageBlock(b, c);
        Spend(c, start);
    }
    if (interrupted_ || canceled_) return;
    TrimImages();
    model_.LastImage = static_cast<std::int32_t>(model_.Images.size() - 1);
    keys_.Seal([&](const ImageKeys::Key& key) {
        const auto index = static_cast<std::size_t>(key.index);
        const ImageRecord& image = model_.Images[index];
        const auto block = static_cast<std::size_t>(image.PaletteIndex);
        damage_.Add(image.StreamOffset - kImageEntrySize, [&] {
            return ImageName(block, index - blockFirstImage_[block]) + " repeats the id " +
                   std::to_string(key.id) + " of an earlier image, which keeps it";
        });
    });
}

bool Loader::WithinBudget(std::size_t block, std::size_t start, const char* kind) {
    if (readBudget_ > 0) return true;
    damage_.Add(start, [&] {
        return std::string(kind) + " " + std::to_string(block) +
               " was not read: the blocks overlap one another too much";
    });
    return false;
}

void Loader::Spend(const Cursor& c, std::size_t start) {
    readBudget_ -= std::min(readBudget_, c.Pos() - start);
}

void Loader::LoadImageBlock(std::size_t block, Cursor& c) {
    const std::size_t start = c.Pos();
    if (blockFirstImage_.size() <= block) blockFirstImage_.resize(block + 1);
    blockFirstImage_[block] = loadedImages_;
    if (!c.Has(kBlockImageCountOffset + 4)) {
        damage_.Add(start,
                    [&] { return "the file ends inside the header of " + BlockName(block); });
        return;
    }
    c.Skip(kBlockImageCountOffset);
    const std::size_t countAt = c.Pos();
    const std::uint32_t stated = c.U32();
    std::size_t count = stated;
    const std::size_t fits = c.Left() / kImageEntrySize;
    if (count > fits) {
        damage_.Add(countAt,
                    [&] { return BlockName(block) + MoreThanFits(stated, "images", c.Left()); });
        count = fits;
    }
    // Indices stay 32-bit.
    const std::size_t room =
        static_cast<std::size_t>(std::numeric_limits<std::int32_t>::max()) - loadedImages_;
    count = std::min(count, room);
    model_.ImageTotal += static_cast<std::int64_t>(count);
    ReserveImages(loadedImages_ + count, c);

    for (std::size_t j = 0; j < count; ++j) {
        const std::size_t entryAt = c.Pos();
        if (!c.Has(kImageEntrySize)) {
            damage_.Add(entryAt, [&] { return "the file ends inside " + ImageName(block, j); });
            return;
        }
        const std::uint8_t* entry = c.Take(kImageEntrySize);
        auto i16 = [entry](std::size_t at) {
            return static_cast<std::int16_t>(LoadLE16(entry + at));
        };
        ImageRecord record;
        record.Id = static_cast<std::int32_t>(LoadLE32(entry));
        static_assert(kImageEntryLengthOffset == 4 + kImageEntryUnusedBytes);
        record.Length = static_cast<std::int32_t>(LoadLE32(entry + kImageEntryLengthOffset));
        record.Width = i16(14);
        record.Height = i16(16);
        record.eType = i16(18);
        record.Extra1 = i16(20);
        record.Extra2 = i16(22);
        record.Extra3 = i16(24);
        record.Extra4 = i16(26);
        if (record.Length < 0 || static_cast<std::size_t>(record.Length) > c.Left()) {
            damage_.Add(entryAt + kImageEntryLengthOffset, [&] {
                return ImageName(block, j) + " has a stream length of " +
                       std::to_string(record.Length) + " bytes, but " + std::to_string(c.Left()) +
                       " bytes are left in the file";
            });
            return;
        }
        record.Loaded = true;
        record.StreamOffset = c.Pos();
        c.Skip(static_cast<std::size_t>(record.Length));
        record.PaletteIndex = static_cast<std::int32_t>(block);
        const std::int32_t id = record.Id;
        const std::size_t index = AppendImage(record);
        // Frames name the images of every block but the thumbnails block 0.
        if (block != 0) keys_.Add(id, static_cast<std::int32_t>(index));
        model_.LastImage = static_cast<std::int32_t>(index);
        host_.ImageLoaded(static_cast<std::int64_t>(index) + 1, model_.ImageTotal);
        if (model_.File.get() != file_) {
            interrupted_ = true;
            return;
        }
        if (host_.IsCanceled()) {
            canceled_ = true;
            return;
        }
    }
}

// Room for needed images and, judged by how densely the file held images so far, for those still
// to come: each block's count is only known when it is reached, and growing a step at a time
// would fault in about three times the memory the records end in. The guess never exceeds what
// the rest of the file could hold; TrimImages takes back a guess far too high.
void Loader::ReserveImages(std::size_t needed, const Cursor& c) {
    const std::size_t capacity = model_.Images.capacity();
    if (capacity >= needed) return;
    std::size_t want = std::max(needed, capacity + capacity / 2);
    if (loadedImages_ > 0 && c.Pos() > 0) {
        const double perByte = static_cast<double>(loadedImages_) / static_cast<double>(c.Pos());
        const std::size_t rest = window_.Size() - c.Pos();
        const auto guess = static_cast<std::size_t>(perByte * static_cast<double>(rest));
        want = std::max(want, needed + std::min(guess, rest / kImageEntrySize));
    }
    model_.Images.reserve(want);
}

// Keeps the room for images under half a record per image.
void Loader::TrimImages() {
    if (model_.Images.capacity() > model_.Images.size() + model_.Images.size() / 2) {
        model_.Images.shrink_to_fit();
    }
}

// The first image of a load goes into the empty entry 0.
std::size_t Loader::AppendImage(const ImageRecord& record) {
    const std::size_t index = loadedImages_++;
    if (index == 0) {
        model_.Images[0] = record;
    } else {
        model_.Images.push_back(record);
    }
    return index;
}

void Loader::LoadObjectBlocks(const std::vector<std::int64_t>& positions) {
    for (std::size_t o = 0; o < positions.size(); ++o) {
        if (host_.IsCanceled()) {
            canceled_ = true;
            return;
        }
        const auto start = static_cast<std::size_t>(positions[o]);
        if (tableBudget_ == 0) {
            damage_.Add(start, [&] {
                return std::to_string(positions.size() - o) +
                       " object blocks from here on were not read: their tables would take more "
                       "memory than a file of this size can describe";
            });
            return;
        }
        if (!WithinBudget(o, start, "object")) continue;
        Cursor c(window_, start, readBudget_);
        LoadObject(o, c);
        Spend(c, start);
    }
}

void Loader::LoadObject(std::size_t o, Cursor& c) {
    const std::size_t start = c.Pos();
    if (!c.Has(4)) {
        damage_.Add(start,
                    [&] { return "the file ends inside the action count of " + ObjectName(o); });
        return;
    }
    const std::uint32_t stated = c.U32();
    std::size_t count = stated;
    const std::size_t fits = c.Left() / kMinActionSize;
    if (count > fits) {
        damage_.Add(start,
                    [&] { return ObjectName(o) + MoreThanFits(stated, "actions", c.Left()); });
        count = fits;
    }
    const std::size_t usedBefore = tables_.Used();
    ObjectRecord object{.Actions = std::pmr::vector<ActionRecord>(&tables_)};
    for (std::size_t a = 0; a < count; ++a) {
        ActionRecord action{.Directions = std::pmr::vector<DirectionRecord>(&tables_), .Name = {}};
        const bool complete = ReadAction(c, action, o, a);
        // An action cut short keeps the directions read in full, if there are any.
        if (complete || !action.Directions.empty()) object.Actions.push_back(std::move(action));
        if (!complete) break;
    }
    object.ActionCount = static_cast<std::int32_t>(object.Actions.size());
    // What the object took of the arena (tables that grew and moved included), its names,
    // and its entry and its tag's position.
    std::size_t tables = tables_.Used() - usedBefore + sizeof(ObjectRecord) + sizeof(std::int64_t);
    for (const ActionRecord& action : object.Actions) tables += action.Name.capacity();
    tableBudget_ -= std::min(tableBudget_, tables);
    const auto index = static_cast<std::size_t>(model_.ObjectCount);
    if (index == 0) {
        model_.Objects[0] = std::move(object);
    } else {
        model_.Objects.push_back(std::move(object));
    }
    ++model_.ObjectCount;
}

bool Loader::ReadAction(Cursor& c, ActionRecord& action, std::size_t o, std::size_t a) {
    action.Name = "Action " + std::to_string(a);
    if (!c.Has(8)) {
        damage_.Add(c.Pos(), [&] { return "the file ends inside " + ActionName(o, a); });
        return false;
    }
    c.Skip(4);
    const std::size_t countAt = c.Pos();
    const std::uint32_t stated = c.U32();
    std::size_t count = stated;
    const std::size_t fits = c.Left() / kMinDirectionSize;
    bool complete = true;
    if (count > fits) {
        damage_.Add(countAt, [&] {
            return ActionName(o, a) + MoreThanFits(stated, "directions", c.Left());
        });
        count = fits;
        complete = false;
    }
    for (std::size_t d = 0; d < count; ++d) {
        DirectionRecord direction{.Frames = std::pmr::vector<FrameRecord>(&tables_)};
        if (!ReadDirection(c, direction, o, a, d)) {
            complete = false;
            break;
        }
        action.Directions.push_back(std::move(direction));
    }
    action.DirectionCount = static_cast<std::int32_t>(action.Directions.size());
    if (!complete) return false;

    if (!c.Has(8)) {
        damage_.Add(c.Pos(),
                    [&] { return "the file ends before the name of " + ActionName(o, a); });
        return false;
    }
    c.Skip(4);
    const std::size_t nameAt = c.Pos();
    const std::int32_t nameLength = c.I32();
    if (nameLength > 0) {
        const auto n = static_cast<std::size_t>(nameLength);
        if (n > c.Left()) {
            damage_.Add(nameAt, [&] {
                return "the name of " + ActionName(o, a) + " is " + std::to_string(nameLength) +
                       " bytes long, but " + std::to_string(c.Left()) +
                       " bytes are left in the file";
            });
            return false;
        }
        action.Name = c.Latin1Text(n);
    }
    return true;
}

bool Loader::ReadDirection(Cursor& c, DirectionRecord& direction, std::size_t o, std::size_t a,
                           std::size_t d) {
    const std::size_t start = c.Pos();
    if (!c.Has(8)) {
        damage_.Add(start, [&] { return "the file ends inside " + DirectionName(o, a, d); });
        return false;
    }
    c.Skip(4);
    const std::uint32_t frames = c.U32();
    // The frames, then six words: unused, Extra1..Extra4, unused.
    const std::size_t tail = kMinDirectionSize - 8;
    if (c.Left() < tail || frames > (c.Left() - tail) / kFrameSize) {
        damage_.Add(start + 4, [&] {
            return DirectionName(o, a, d) + MoreThanFits(frames, "frames", c.Left());
        });
        return false;
    }
    direction.FrameCount = static_cast<std::int32_t>(frames);
    direction.Frames.resize(frames);
    for (std::uint32_t f = 0; f < frames; ++f) {
        FrameRecord& frame = direction.Frames[f];
        const std::size_t frameAt = c.Pos();
        const std::uint8_t* bytes = c.Take(kFrameSize);
        frame.Extra = static_cast<std::int32_t>(LoadLE32(bytes));
        const auto id = static_cast<std::int32_t>(LoadLE32(bytes + 4));
        const std::optional<std::int32_t> image = keys_.Find(id);
        frame.ImageIndex = image.value_or(-1);
        if (!image) {
            damage_.Add(frameAt + 4, [&] {
                return "frame " + std::to_string(f) + " of " + DirectionName(o, a, d) +
                       " names image id " + std::to_string(id) +
                       ", which the archive does not hold";
            });
        }
    }
    model_.TotalFrames += frames;
    c.Skip(4);
    direction.Extra1 = c.I32();
    direction.Extra2 = c.I32();
    direction.Extra3 = c.I32();
    direction.Extra4 = c.I32();
    c.Skip(4);
    return true;
}

std::uint8_t VersionByte(ByteWindow& window) {
    return window.Size() < 5 ? 0 : *window.Fetch(4, 1);
}

LoadResult Reject(ArchiveModel& model, Host& host, const std::string& problem) {
    host.ShowMessage(problem, kProgramName, MessageIcon::None, MessageButtons::Ok);
    host.SetCaption(kCaptionRejected);
    ResetArchive(model, host);
    return {LoadStatus::Rejected, problem, {}};
}

LoadResult Cancel(ArchiveModel& model, Host& host) {
    ResetArchive(model, host);
    host.SetCaption(kCaptionUnloaded);
    return {LoadStatus::Canceled, "the load was canceled", {}};
}

}  // namespace

std::string LoadProblemText(const LoadProblem& problem) {
    if (problem.offset == LoadProblem::kWholeFile) return problem.message;
    return problem.message + " (at byte offset " + std::to_string(problem.offset) + ")";
}

namespace {

// The load after the file was opened, over the file's bytes as window gives them.
LoadResult LoadFrom(ArchiveModel& model, const std::string& ArchivePath, Host& host,
                    ByteWindow& window) {
    host.SetCaption("Loading file...");
    const std::uint8_t version = VersionByte(window);
    if (version != 'T' && version != 'U') return Reject(model, host, kVersionMessage);
    model.Version = version;

    // The tags are found as the blocks are read (all at once when the file is in memory).
    host.SetCaption("Looking for data...");
    DamageReport damage;
    host.SetCaption("Loading palette and image info...");
    model.ImageTotal = 0;
    Loader loader(model, host, damage, window);
    std::size_t firstBlock = 1;
    if (host.IsOptionChecked(Option::LoadThumbnails)) {
        firstBlock = 0;
        if (loader.HasImageBlock(0)) host.ThumbnailBlockLoaded(true);
    }

    loader.LoadImageBlocks(firstBlock);
    if (loader.Interrupted()) return {LoadStatus::Rejected, "the load was interrupted", {}};
    if (loader.Canceled()) return Cancel(model, host);
    host.Progress(model.ImageTotal, model.ImageTotal);

    while (window.ScanMore()) {
    }
    TagPositions& tags = window.Tags();
    std::vector<std::string> wholeFile;
    if (tags.imageBlocks.empty()) wholeFile.push_back("no image block (\"AGMI\") was found");
    if (tags.objectBlocks.empty()) wholeFile.push_back("no object block (\"AnSt\") was found");
    damage.AddWholeFirst(wholeFile);
    model.ImageBlockPos = std::move(tags.imageBlocks);

    host.SetCaption("Loading object blocks...");
    loader.LoadObjectBlocks(tags.objectBlocks);
    if (loader.Canceled()) return Cancel(model, host);
    window.CheckWhole();

    host.SetCaption("Pixhaul: " + ArchivePath);
    host.ArchiveLoaded();
    if (!damage.Any()) return {LoadStatus::Loaded, "", {}};
    host.ShowMessage(damage.Message(), kProgramName, MessageIcon::Exclamation, MessageButtons::Ok,
                     damage.Details());
    std::vector<LoadProblem> problems = damage.Take();
    std::string first = LoadProblemText(problems.front());
    return {LoadStatus::Damaged, std::move(first), std::move(problems)};
}

}  // namespace

LoadResult LoadArchive(ArchiveModel& model, const std::string& ArchivePath, Host& host) {
    if (ArchivePath.empty()) return {};
    ResetArchive(model, host);
    std::string error;
    std::shared_ptr<const ArchiveFile> file = ArchiveFile::Open(ArchivePath, error);
    if (!file) return Reject(model, host, error);
    model.File = file;
    ByteWindow window(file->Bytes());
    return LoadFrom(model, ArchivePath, host, window);
}

std::size_t IndexPieceSize() {
    return std::clamp(Level2CacheBytes() / 4, kIndexPieceSize, std::size_t{1} << 20);
}

LoadResult LoadArchiveIndex(ArchiveModel& model, const std::string& ArchivePath, Host& host,
                            std::size_t pieceSize) {
    if (ArchivePath.empty()) return {};
    ResetArchive(model, host);
    std::string error;
    FileDescriptor fd;
    std::shared_ptr<const ArchiveFile> file = ArchiveFile::OpenUnread(ArchivePath, error, fd);
    if (!file) return Reject(model, host, error);
    model.File = file;
    try {
        std::unique_ptr<MappedFile> mapping;
        if (pieceSize == kIndexMapped) mapping = MappedFile::Map(fd.Get(), file->SizeOnDisk());
        ByteWindow window =
            mapping ? ByteWindow(std::move(mapping))
                    : ByteWindow(fd.Get(), file->SizeOnDisk(),
                                 pieceSize == kIndexMapped ? IndexPieceSize() : pieceSize);
        return LoadFrom(model, ArchivePath, host, window);
    } catch (const WindowReadError& e) {
        return Reject(model, host, "Cannot read " + ArchivePath + ": " + e.what());
    }
}

}  // namespace pixhaul
