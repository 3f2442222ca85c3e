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
};

class RecordingHost : public Host {
  public:
    RecordingHost();

    void SetCaption(const std::string& text) override { captions.push_back(text); }
    void SetLabel(const std::string& text) override { labels.push_back(text); }
    MessageResult ShowMessage(const std::string& text, const std::string& title, MessageIcon icon,
                              MessageButtons buttons) override;
    bool IsOptionChecked(Option option) override;
    void Yield() override { ++yields; }
    void SetThumbnailsModeEnabled(bool enabled) override { thumbnailsModeEnabled = enabled; }
    void SetExportNowEnabled(bool enabled) override { exportNowEnabled.push_back(enabled); }
    void ArchiveReset() override { ++resets; }
    void ArchiveLoaded() override { ++loadsFinished; }
    void Progress(std::int64_t done, std::int64_t total) override { lastProgress = {done, total}; }

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
    bool thumbnailsModeEnabled = false;
    std::vector<bool> exportNowEnabled;
    MessageResult answer = MessageResult::Yes;  // the answer to Yes/No questions
    std::pair<std::int64_t, std::int64_t> lastProgress{0, 0};
};

}  // namespace pixhaul::testing
