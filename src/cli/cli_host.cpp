#include "cli_host.h"

#include <ostream>

#include "export/sheet_assembly.h"
#include "platform/temporary_registry.h"
#include "terminal_text.h"

namespace pixhaul::cli {

MessageResult CliHost::ShowMessage(const std::string& text, const std::string&, MessageIcon icon,
                                   MessageButtons buttons, const std::string& details) {
    // A file error names its file in the details; on a terminal it belongs on the same line.
    const bool fileError = icon == MessageIcon::Critical && details.starts_with(kExportErrorFile);
    Tell(TerminalText(context_) + text + (fileError ? " (" + details + ")" : std::string()));
    return buttons == MessageButtons::YesNo ? MessageResult::No : MessageResult::Ok;
}

void CliHost::Tell(const std::string& text) {
    bar_.Clear();
    // Message boxes break lines with CR LF; a terminal wants plain line feeds. Names and paths
    // in the text may hold anything: control characters are shown escaped.
    err_ << "qxa: " << TerminalMessage(text) << '\n' << std::flush;
}

bool CliHost::IsOptionChecked(Option option) {
    const auto it = options_.find(option);
    return it != options_.end() ? it->second : OptionCheckedAtStart(option);
}

void CliHost::ImageLoaded(std::int64_t number, std::int64_t total) {
    bar_.Update("Loading", number, total);
}

bool CliHost::IsCanceled() {
    return InterruptRequested();
}

void CliHost::Progress(std::int64_t done, std::int64_t total) {
    bar_.Update(progressLabel_, done, total);
}

}  // namespace pixhaul::cli
