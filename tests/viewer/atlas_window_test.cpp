// Export > Export Atlas... and Export Frames...: the export mode's selection, the same files as
// qxa atlas and qxa frames write.
#include <QTest>
#include <cstdlib>
#include <map>

#include "test_files.h"
#include "viewer_fixture.h"

using namespace pixhaul;
using namespace pixhaul::testing;

namespace {

// Every file under folder by its relative path, with its bytes.
std::map<std::string, std::vector<std::uint8_t>> FilesUnder(const std::string& folder) {
    std::map<std::string, std::vector<std::uint8_t>> files;
    for (const auto& entry : std::filesystem::recursive_directory_iterator(folder)) {
        if (!entry.is_regular_file()) continue;
        files[std::filesystem::relative(entry.path(), folder).string()] =
            ReadAll(entry.path().string());
    }
    return files;
}

void RunTool(const TestWindow& w, const std::string& arguments) {
    const std::string command = std::string("'") + PIXHAUL_QXA_BINARY + "' " + arguments + " '" +
                                w.dir.File("units.qxa") + "' --object 0 --action 0 >/dev/null";
    QCOMPARE(std::system(command.c_str()), 0);
}

}  // namespace

class AtlasWindowTest : public QObject {
    Q_OBJECT

  private slots:
    void writesWhatTheToolWrites() {
        TestWindow w;
        w.Load(StandardArchive());
        w.List(1)->setCurrentIndex(0);
        w.List(2)->setCurrentIndex(0);
        w.Mode(static_cast<int>(ExportMode::SelectedAction))->trigger();
        std::filesystem::create_directories(w.dir.File("window-atlas"));
        std::filesystem::create_directories(w.dir.File("window-frames"));
        w.form->Choosers().Atlas = [&](QWidget*, viewer::AtlasChoice& choice) {
            choice.Folder = w.dir.File("window-atlas");
            choice.Name = "walk";
            choice.Request.Trim = true;
            choice.Request.Layout.padding = 1;
            choice.Request.Layout.maxWidth = 8;
            choice.Request.Layout.maxHeight = 6;
            return true;
        };
        std::string offeredPattern;
        w.form->Choosers().Frames = [&](QWidget*, viewer::FramesChoice& choice) {
            offeredPattern = choice.Request.Pattern;
            choice.Folder = w.dir.File("window-frames");
            return true;
        };
        w.Action("mnuExpAtlas")->trigger();
        w.Action("mnuExpFrames")->trigger();
        QVERIFY(w.messages.empty());
        QCOMPARE(offeredPattern, std::string(kDefaultFramePattern));
        RunTool(w, "atlas --name walk --trim --padding 1 --max-size 8x6 -o '" +
                       w.dir.File("tool-atlas") + "'");
        RunTool(w, "frames -o '" + w.dir.File("tool-frames") + "'");
        const auto atlas = FilesUnder(w.dir.File("tool-atlas"));
        QVERIFY(atlas.size() >= 3);  // two pages at least, and the data
        QVERIFY(atlas == FilesUnder(w.dir.File("window-atlas")));
        const auto frames = FilesUnder(w.dir.File("tool-frames"));
        QCOMPARE(frames.size(), std::size_t{3});
        QVERIFY(frames == FilesUnder(w.dir.File("window-frames")));
        // Exporting again asks about every page there is, not only the first.
        w.Action("mnuExpAtlas")->trigger();
        QCOMPARE(w.replaceQuestions.size(), std::size_t{1});
        QVERIFY(w.replaceQuestions[0].find("walk-1.png") != std::string::npos);

        // A mode that names no frames of the hierarchy is told, and nothing is asked or written.
        w.Mode(static_cast<int>(ExportMode::DisplayedImage))->trigger();
        bool asked = false;
        w.form->Choosers().Atlas = [&](QWidget*, viewer::AtlasChoice&) { return asked = true; };
        w.Action("mnuExpAtlas")->trigger();
        QVERIFY(!asked && w.messages.size() == 1);
    }
};

QTEST_MAIN(AtlasWindowTest)
#include "atlas_window_test.moc"
