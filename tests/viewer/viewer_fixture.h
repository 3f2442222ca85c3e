#pragma once
// Shared pieces of the window tests: a small archive of known shape, a window whose dialogs and
// message boxes answer from the test, and shortcuts to its controls.
#include <QAction>
#include <QComboBox>
#include <QLabel>
#include <QListWidget>
#include <QScrollBar>
#include <QTest>
#include <QWidget>
#include <deque>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "archive_builder.h"
#include "form1.h"
#include "picture_box.h"

namespace pixhaul::testing {

inline bool Exists(const std::string& path) {
    return std::filesystem::exists(path);
}

// Palette entry i of the archive's image blocks (entry 0 stays black).
inline COLORREF PaletteColour(int i) {
    return i == 0 ? 0 : MakeColorRef(static_cast<std::uint8_t>(20 * i), 0x40, 0x80);
}

// Images (index: id, width x height, every pixel palette entry index + 1 except the top-left
// one, which is black):
//   0: id 11, 4x3    1: id 12, 5x2    2: id 13, 3x4    3: id 14, 2x2    4: id 15, 6x1
//   5: id 16, 1x5
// Objects:
//   Object 0: "Walk" (dir 0: images 0, 1; dir 1: image 2), Action 1 (dir 0: images 3, 3)
//   Object 1: "Idle" (dir 0: images 4, 5)
// Block 0 holds one thumbnail (id 90, 2x2).
inline std::vector<std::uint8_t> StandardArchive() {
    ImageBlockSpec thumbs;
    ImageBlockSpec block;
    for (int i = 0; i < 256; ++i) thumbs.palette[i] = block.palette[i] = PaletteColour(i);
    thumbs.images.push_back(
        {90, 2, 2, 259, {}, EncodeImage(259, 2, 2, [](int, int) { return 7u; }), {}});
    const std::int16_t sizes[6][2] = {{4, 3}, {5, 2}, {3, 4}, {2, 2}, {6, 1}, {1, 5}};
    for (int i = 0; i < 6; ++i) {
        const auto colour = static_cast<std::uint32_t>(i + 1);
        block.images.push_back(
            {11 + i,
             sizes[i][0],
             sizes[i][1],
             259,
             {static_cast<std::int16_t>(i), 0, 0, 0},
             EncodeImage(259, sizes[i][0], sizes[i][1],
                         [colour](int x, int y) { return x == 0 && y == 0 ? 0u : colour; }),
             {}});
    }
    auto direction = [](std::vector<std::int32_t> ids) {
        DirectionSpec spec;
        for (std::int32_t id : ids) spec.frames.push_back({0, id});
        return spec;
    };
    const ObjectSpec walker{{{{direction({11, 12}), direction({13})}, "Walk", {}, {}},
                             {{direction({14, 14})}, "", {}, {}}},
                            {}};
    const ObjectSpec idler{{{{direction({15, 16})}, "Idle", {}, {}}}, {}};
    return ArchiveBuilder()
        .ImageBlock(thumbs)
        .ImageBlock(block)
        .Object(walker)
        .Object(idler)
        .Build();
}

struct ShownMessage {
    std::string text;
    std::string title;
    MessageIcon icon;
    MessageButtons buttons;
    bool busy;  // whether a load or an export was running when it showed
    std::string details;
};

struct FileDialogCall {
    int mode;
    std::string title, initialFile, filter, initialDir, defaultExt;
    bool confirmOverwrite;  // whether the dialog itself would ask about the chosen file
};

// A window whose dialogs answer from queues the test fills.
class TestWindow {
  public:
    TestWindow() : form(std::make_unique<viewer::Form1>()) {
        auto& dlgs = form->Dialogs();
        dlgs.FileDialog = [this](QWidget*, int mode, const std::string& title,
                                 const std::string& initialFile, const std::string& filter,
                                 const std::string& initialDir, const std::string& defaultExt) {
            fileDialogs.push_back({mode, title, initialFile, filter, initialDir, defaultExt,
                                   form->Dialogs().ConfirmOverwrite});
            if (fileAnswers.empty()) return std::string();
            std::string answer = fileAnswers.front();
            fileAnswers.pop_front();
            return answer;
        };
        dlgs.BrowseFolder = [this](QWidget*, const std::string& title, const std::string&) {
            folderTitles.push_back(title);
            return folderAnswer;
        };
        dlgs.PickColor = [this](QWidget*, COLORREF) { return colourAnswer; };
        dlgs.MessageBox = [this](QWidget*, const std::string& text, const std::string& title,
                                 MessageIcon icon, MessageButtons buttons,
                                 const std::string& details) {
            messages.push_back({text, title, icon, buttons, form->IsBusy(), details});
            if (onMessage) onMessage();
            return buttons == MessageButtons::YesNo ? yesNoAnswer : MessageResult::Ok;
        };
        dlgs.AskReplace = [this](QWidget*, const std::string& text, bool allowDontAsk,
                                 bool* dontAskAgain) {
            replaceQuestions.push_back(text);
            if (dontAskAgain != nullptr) *dontAskAgain = allowDontAsk && dontAskAnswer;
            return replaceAnswer;
        };
        form->show();
        if (!QTest::qWaitForWindowExposed(form.get())) qFatal("the window did not show");
    }

    template <typename T>
    T* Find(const char* name) const {
        T* found = form->findChild<T*>(name);
        if (found == nullptr) qFatal("no control named %s", name);
        return found;
    }
    QComboBox* List(int n) const { return Find<QComboBox>(("List" + std::to_string(n)).c_str()); }
    QScrollBar* Scroll() const { return Find<QScrollBar>("HScroll1"); }
    QAction* Action(const char* name) const { return Find<QAction>(name); }
    QAction* Mode(int i) const { return Action(("mnuExportMode_" + std::to_string(i)).c_str()); }

    std::vector<std::string> Items(int list) const {
        std::vector<std::string> items;
        QComboBox* box = List(list);
        for (int i = 0; i < box->count(); ++i) items.push_back(box->itemText(i).toStdString());
        return items;
    }
    std::string Caption() const { return form->windowTitle().toStdString(); }
    std::string Label() const { return Find<QLabel>("Label1")->text().toStdString(); }
    // Picture1's pixel (x, y) as last shown, as a COLORREF.
    COLORREF Shown(int x, int y) const {
        const QImage& image = form->Picture1()->Shown();
        const QRgb rgb = image.pixel(x, y);
        return MakeColorRef(static_cast<std::uint8_t>(qRed(rgb)),
                            static_cast<std::uint8_t>(qGreen(rgb)),
                            static_cast<std::uint8_t>(qBlue(rgb)));
    }

    // Writes the archive into the temp folder and loads it through the Load command.
    std::string Load(const std::vector<std::uint8_t>& bytes,
                     const std::string& name = "units.qxa") {
        const std::string path = dir.File(name);
        WriteFile(path, bytes);
        fileAnswers.push_back(path);
        Action("mnuLoad")->trigger();
        return path;
    }

    TempDir dir;
    std::unique_ptr<viewer::Form1> form;
    std::deque<std::string> fileAnswers;
    std::vector<FileDialogCall> fileDialogs;
    std::string folderAnswer;
    std::vector<std::string> folderTitles;
    std::optional<COLORREF> colourAnswer;
    MessageResult yesNoAnswer = MessageResult::No;
    std::vector<ShownMessage> messages;
    std::vector<std::string> replaceQuestions;
    MessageResult replaceAnswer = MessageResult::Yes;
    bool dontAskAnswer = false;
    std::function<void()> onMessage;
};

}  // namespace pixhaul::testing
