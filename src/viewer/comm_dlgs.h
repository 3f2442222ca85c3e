#pragma once
// CommDlgs: the dialogs the window asks the user through (file, folder, colour, message box).
// Each is a replaceable function, so tests can answer in place of the user; the defaults show
// the real Qt dialogs, modal over the owner.
#include <functional>
#include <optional>
#include <string>

#include "platform/host.h"
#include "platform/surface.h"

class QWidget;

namespace pixhaul::viewer {

// Mode of FileDialog: 1 opens an existing file, any other value saves.
inline constexpr int kOpenMode = 1;
inline constexpr int kSaveMode = 0;

// "QXA File" + NUL + "*.qxa": one description/pattern pair joined by a NUL character.
std::string MakeFilter(const std::string& description, const std::string& pattern);
// The same pair as a Qt name filter: "QXA File (*.qxa *.QXA)".
std::string QtNameFilter(const std::string& filter);

struct CommDlgs {
    CommDlgs();
    CommDlgs(const CommDlgs&) = delete;  // the default file dialog reads ConfirmOverwrite
    CommDlgs& operator=(const CommDlgs&) = delete;

    // Returns the chosen path, or "" when the user cancels. A save dialog asks before
    // overwriting an existing file and appends DefaultExt when the user types no extension; an
    // open dialog accepts only existing files.
    std::function<std::string(QWidget* Owner, int Mode, const std::string& Title,
                              const std::string& InitialFile, const std::string& Filter,
                              const std::string& InitialDir, const std::string& DefaultExt)>
        FileDialog;
    // Returns the chosen folder without a trailing "/", or "" when the user cancels.
    std::function<std::string(QWidget* Owner, const std::string& Title,
                              const std::string& InitialDir)>
        BrowseFolder;
    // Returns the chosen colour, or nothing when the user cancels.
    std::function<std::optional<COLORREF>(QWidget* Owner, COLORREF current)> PickColor;
    // A message box; "\r\n" in the text breaks the line. details, when not empty, is the box's
    // detailed text, shown on request.
    std::function<MessageResult(QWidget* Owner, const std::string& text, const std::string& title,
                                MessageIcon icon, MessageButtons buttons,
                                const std::string& details)>
        MessageBox;
    // Asks whether to replace existing files. With allowDontAsk the box offers "Don't ask again"
    // and sets *dontAskAgain from it. Returns Yes or No.
    std::function<MessageResult(QWidget* Owner, const std::string& text, bool allowDontAsk,
                                bool* dontAskAgain)>
        AskReplace;
    // Whether a save FileDialog asks before overwriting the chosen file itself.
    bool ConfirmOverwrite = true;
};

}  // namespace pixhaul::viewer
