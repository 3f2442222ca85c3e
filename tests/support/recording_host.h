#pragma once
// A host for tests: records every caption, label and message, answers options and questions
// from what the test set.
#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "platform/host.h"

namespace pixhaul::testing {

struct RecordedMessage {
    std::string text;
    std::string title;
    MessageIcon icon;
    MessageButtons buttons;
    std::string details;
};

class RecordingHost : public Host {
  public:
    RecordingHost();

    void SetCaption(const std::string& text) override { captions.push_back(text); }
    void SetLabel(const std::string& text) override { labels.push_back(text); }
    using Host::ShowMessage;
    MessageResult ShowMessage(const std::string& text, const std::string& title, MessageIcon icon,
                              MessageButtons buttons, const std::string& details) override;
    bool IsOptionChecked(Option option) override;
    void Yield() override { ++yields; }
    void ThumbnailBlockLoaded(bool loaded) override { thumbnailBlockLoaded = loaded; }
    void ExportStarted() override { exportRunning.push_back(true); }
    void ExportFinished() override { exportRunning.push_back(false); }
    void ArchiveReset() override { ++resets; }
    void ArchiveLoaded() override { ++loadsFinished; }
    void ArchiveChanged() override { ++archiveChanges; }
    void Progress(std::int64_t done, std::int64_t total) override {
        lastProgress = {done, total};
        if (cancelAtProgress > 0 && done >= cancelAtProgress) canceled = true;
    }
    bool IsCanceled() override {
        ++cancelChecks;
        return canceled;
    }

    void SetOption(Option option, bool checked) { options[static_cast<int>(option)] = checked; }
    std::string LastCaption() const { return captions.empty() ? "" : captions.back(); }
    std::string LastLabel() const { return labels.empty() ? "" : labels.back(); }

    std::vector<std::string> captions;
    std::vector<std::string> labels;
    std::vector<RecordedMessage> messages;
    std::map<int, bool> options;
    std::int64_t optionReads = 0;
    std::int64_t yields = 0;
    int resets = 0;
    int loadsFinished = 0;
    bool thumbnailBlockLoaded = false;
    std::vector<bool> exportRunning;  // true at each start, false at each finish
    int archiveChanges = 0;
    bool canceled = false;              // what IsCanceled answers
    std::int64_t cancelAtProgress = 0;  // when > 0, Progress at or past it sets canceled
    std::int64_t cancelChecks = 0;
    MessageResult answer = MessageResult::Yes;  // the answer to Yes/No questions
    std::pair<std::int64_t, std::int64_t> lastProgress{0, 0};
};

}  // namespace pixhaul::testing
