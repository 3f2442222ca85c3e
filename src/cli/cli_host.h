#pragma once
// The host for the qxa tool: captions and labels are not shown, messages go to stderr as
// "qxa: ...", options come from the command line's flags, progress is a bar on stderr when
// stderr is a terminal.
#include <cstdint>
#include <iosfwd>
#include <map>
#include <string>

#include "platform/host.h"
#include "progress_bar.h"

namespace pixhaul::cli {

class CliHost : public Host {
  public:
    CliHost(std::ostream& err, bool stderrIsTerminal) : err_(err), bar_(err, stderrIsTerminal) {}

    void SetCaption(const std::string&) override {}
    void SetLabel(const std::string&) override {}
    // No one can answer: questions get No.
    // details are not printed: `qxa info --problems` lists a damaged archive's problems.
    using Host::ShowMessage;
    MessageResult ShowMessage(const std::string& text, const std::string& title, MessageIcon icon,
                              MessageButtons buttons, const std::string& details) override;
    bool IsOptionChecked(Option option) override;
    void Yield() override {}
    void ImageLoaded(std::int64_t number, std::int64_t total) override;
    void Progress(std::int64_t done, std::int64_t total) override;
    // True after the first Ctrl+C (SIGINT), once the signal handlers are installed.
    bool IsCanceled() override;

    // Options start as the window's menu does; flags change them.
    void SetOption(Option option, bool checked) { options_[option] = checked; }
    // Put before every message, e.g. "demo.qxa: "; "" for none.
    void SetMessageContext(std::string context) { context_ = std::move(context); }
    // The label of the bar that Progress draws.
    void SetProgressLabel(std::string label) { progressLabel_ = std::move(label); }
    void EndProgress() { bar_.Clear(); }
    // Writes "qxa: text" on stderr, clearing the bar first; control characters are escaped
    // except the message box's line breaks (CR LF).
    void Tell(const std::string& text);

  private:
    std::ostream& err_;
    ProgressBar bar_;
    std::map<Option, bool> options_;
    std::string context_;
    std::string progressLabel_ = "Working";
};

}  // namespace pixhaul::cli
