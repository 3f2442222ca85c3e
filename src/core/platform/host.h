#pragma once
// The host: everything core needs from whoever runs it (the window, the qxa tool, a test).
//
// Core never shows anything itself and never names the host's controls. It asks the host for
// options and whether to stop, and reports facts: what it is doing (the caption), the counters
// line, the progress of long work, the start and end of an export, the archive emptied, loaded
// or changed on disk. The host decides what each fact does to its controls.
//
// Who tells the user, the one rule: core returns a result that carries the problem (a status
// and its text, a list where there are many). Core calls ShowMessage only where the window's own
// texts require a box at that moment: a question whose answer decides the next step, or a text
// the window always shows in a box (the load's refusal and damage boxes, an image's damage box,
// an export's error box). Each result type says which of its statuses were shown that way, so a
// caller never has to count messages to learn whether the user was told.
#include <cstdint>
#include <exception>
#include <string>

namespace pixhaul {

inline constexpr const char* kProgramName = "Pixhaul";

enum class MessageIcon { None, Information, Question, Exclamation, Critical };
enum class MessageButtons { Ok, YesNo };
enum class MessageResult { Ok, Yes, No };

// The options a user can set, in the order the window's Options menu lists them.
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

    // What the program is doing, or which archive is open ("Loading file...", "Pixhaul: PATH").
    virtual void SetCaption(const std::string& text) = 0;
    // The counters line: image counters and the zoom read-out.
    virtual void SetLabel(const std::string& text) = 0;
    // A message box. details, when not empty, is a longer text the user may open (one line per
    // item, e.g. every problem of a damaged archive); a host without boxes may print it or not.
    virtual MessageResult ShowMessage(const std::string& text, const std::string& title,
                                      MessageIcon icon, MessageButtons buttons,
                                      const std::string& details) = 0;
    MessageResult ShowMessage(const std::string& text, const std::string& title, MessageIcon icon,
                              MessageButtons buttons) {
        return ShowMessage(text, title, icon, buttons, std::string());
    }
    // Whether an option is set, read at the moment of use (never cached by core).
    virtual bool IsOptionChecked(Option option) = 0;
    // Lets the window process pending events. Called once per unit of work; the host decides
    // how often it really pumps.
    virtual void Yield() = 0;

    // The loader's per-image step: the counters line reads LoadingLabel(number, total) and the
    // window processes its messages. A host may refresh the line only when it really pumps, as
    // long as the text it shows is the one for the current numbers.
    virtual void ImageLoaded(std::int64_t number, std::int64_t total);

    // Whether image block 0 (thumbnails and icons) is part of what is loaded: true from a load
    // that reads it, false after a reset. Exporting "all thumbnails and icons" needs it.
    virtual void ThumbnailBlockLoaded(bool /*loaded*/) {}
    // An export runs from ExportStarted to ExportFinished, however it ends. Exports do not nest.
    virtual void ExportStarted() {}
    virtual void ExportFinished() {}
    // The model was emptied: no archive, no objects, no images.
    virtual void ArchiveReset() {}
    // A load ended with something loaded: the objects and images of the model are there to show,
    // and image 0 is the one to show first.
    virtual void ArchiveLoaded() {}
    // The archive that is open changed on disk; an export found it and wrote nothing.
    virtual void ArchiveChanged() {}
    // Progress of long work in numbers, for progress bars. done == total at the end.
    virtual void Progress(std::int64_t /*done*/, std::int64_t /*total*/) {}
    // Whether the user asked to stop the running work. Long work asks between its steps and
    // stops with status Canceled and nothing written.
    virtual bool IsCanceled() { return false; }
};

// What long work throws between its steps when the host asks it to stop; the work's entry point
// catches it and returns status Canceled. Whatever was being written goes with the unwinding.
class WorkCanceled : public std::exception {
  public:
    const char* what() const noexcept override { return "canceled"; }
};

// Throws WorkCanceled when host.IsCanceled().
void ThrowIfCanceled(Host& host);

// "Loading 12 of 300"
std::string LoadingLabel(std::int64_t number, std::int64_t total);

// A host that shows nothing, answers every option with its start state and never pumps.
class QuietHost : public Host {
  public:
    using Host::ShowMessage;
    void SetCaption(const std::string&) override {}
    void SetLabel(const std::string&) override {}
    MessageResult ShowMessage(const std::string&, const std::string&, MessageIcon,
                              MessageButtons buttons, const std::string&) override {
        return buttons == MessageButtons::YesNo ? MessageResult::No : MessageResult::Ok;
    }
    bool IsOptionChecked(Option option) override;
    void Yield() override {}
    void ImageLoaded(std::int64_t, std::int64_t) override {}
};

// Start states of the options.
bool OptionCheckedAtStart(Option option);

}  // namespace pixhaul
