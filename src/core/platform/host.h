#pragma once
// The host: everything core needs from whoever runs it (the window, the qxa tool, a test).
// Core never shows anything itself. Captions, Label1, message boxes, the Checked state of an
// option (read each time it is needed, never cached) and the yield to the message loop all go
// through here.
#include <cstdint>
#include <string>

namespace pixhaul {

inline constexpr const char* kProgramName = "Pixhaul";

enum class MessageIcon { None, Information, Question, Exclamation, Critical };
enum class MessageButtons { Ok, YesNo };
enum class MessageResult { Ok, Yes, No };

// Indices of the Options menu items (mnuOpt).
enum class Option : int {
    LoadThumbnails = 0,
    AutoFilenames = 1,
    SeparateFilePerObject = 2,
    GenerateLookupTable = 3,
    RemoveDuplicateFrames = 4,
    DetectMirrorFrames = 5,
    OptimizeFrameLayout = 6,
    CacheRenderedImages = 7,
};

class Host {
public:
    virtual ~Host() = default;

    // The main window's caption (progress phases: "Loading file...", ...).
    virtual void SetCaption(const std::string& text) = 0;
    // Label1: counters and the zoom read-out.
    virtual void SetLabel(const std::string& text) = 0;
    virtual MessageResult ShowMessage(const std::string& text, const std::string& title,
                                      MessageIcon icon, MessageButtons buttons) = 0;
    // The Checked state of an Options menu item, read at the moment of use.
    virtual bool IsOptionChecked(Option option) = 0;
    // Lets the window process pending events. Called once per unit of work; the host decides
    // how often it really pumps.
    virtual void Yield() = 0;

    // The loader's per-image step: Label1 reads LoadingLabel(number, total) and the window
    // processes its messages. A host may refresh the label only when it really pumps, as long
    // as the text it shows is the one for the current numbers.
    virtual void ImageLoaded(std::int64_t number, std::int64_t total);

    // mnuExportMode item 0 ("All Thumbnails && Icons"): enabled by a load of block 0,
    // disabled by a reset.
    virtual void SetThumbnailsModeEnabled(bool /*enabled*/) {}
    // mnuExpNow: disabled while an export runs.
    virtual void SetExportNowEnabled(bool /*enabled*/) {}
    // The browsing controls: a reset clears List1..List4, sets HScroll1's maximum to 0 and
    // clears Picture1; the end of a successful load fills List1, sets HScroll1's range and
    // shows image 0.
    virtual void ArchiveReset() {}
    virtual void ArchiveLoaded() {}
    // Progress of long work in numbers, for progress bars. Optional.
    virtual void Progress(std::int64_t /*done*/, std::int64_t /*total*/) {}
    // Whether the user asked to stop the running work. Long work asks between its steps and
    // stops with nothing written.
    virtual bool IsCanceled() { return false; }
};

// "Loading 12 of 300"
std::string LoadingLabel(std::int64_t number, std::int64_t total);

// A host that shows nothing, answers every option with its start state and never pumps.
class QuietHost : public Host {
public:
    void SetCaption(const std::string&) override {}
    void SetLabel(const std::string&) override {}
    MessageResult ShowMessage(const std::string&, const std::string&, MessageIcon,
                              MessageButtons buttons) override {
        return buttons == MessageButtons::YesNo ? MessageResult::No : MessageResult::Ok;
    }
    bool IsOptionChecked(Option option) override;
    void Yield() override {}
    void ImageLoaded(std::int64_t, std::int64_t) override {}
};

// Start states of the Options menu items.
bool OptionCheckedAtStart(Option option);

}  // namespace pixhaul
