// The export side of the window: export modes, the sequence panel, Export now / As / To, the SIF
// command, and the commands held back while a load or an export runs.
#include <QFile>
#include <QTest>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>

#include "viewer_fixture.h"

using namespace pixhaul;
using namespace pixhaul::testing;

namespace {

std::vector<std::uint8_t> ReadAll(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

std::int32_t Le32(const std::vector<std::uint8_t>& bytes, std::size_t at) {
    return static_cast<std::int32_t>(bytes[at] | (bytes[at + 1] << 8) | (bytes[at + 2] << 16) |
                                     (static_cast<std::uint32_t>(bytes[at + 3]) << 24));
}

bool Exists(const std::string& path) {
    return std::filesystem::exists(path);
}

// Selects object o, action a, direction d in the lists (-1 leaves a list unselected).
void Select(TestWindow& w, int o, int a = -1, int d = -1) {
    w.List(1)->setCurrentIndex(o);
    if (a >= 0) w.List(2)->setCurrentIndex(a);
    if (d >= 0) w.List(3)->setCurrentIndex(d);
}

}  // namespace

class ExportTest : public QObject {
    Q_OBJECT

  private slots:
    void fromListModeShowsPanelAndLocksLists() {
        TestWindow w;
        w.Load(StandardArchive());
        Select(w, 0, 0, 0);
        QCOMPARE(w.List(4)->count(), 2);
        QWidget* panel = w.Find<QWidget>("Picture3");
        QVERIFY(panel->isHidden());

        w.Mode(7)->trigger();
        QVERIFY(!panel->isHidden());
        QVERIFY(!w.List(1)->isEnabled() && !w.List(2)->isEnabled() && !w.List(3)->isEnabled());
        QCOMPARE(w.List(4)->count(), 0);
        QCOMPARE(w.form->Config().ExportMode, std::int16_t{7});

        w.Mode(3)->trigger();
        QVERIFY(panel->isHidden());
        QVERIFY(w.List(1)->isEnabled() && w.List(2)->isEnabled() && w.List(3)->isEnabled());
        QCOMPARE(w.List(4)->count(), 0);  // not restored
        QCOMPARE(w.form->Config().ExportMode, std::int16_t{3});
        for (int i = 0; i < 8; ++i) QCOMPARE(w.Mode(i)->isChecked(), i == 3);
        w.Mode(3)->trigger();  // choosing the checked mode again keeps it checked
        QVERIFY(w.Mode(3)->isChecked());
    }

    void sequenceButtons() {
        TestWindow w;
        w.Load(StandardArchive());
        w.Mode(7)->trigger();
        QCOMPARE(w.Button(5)->toolTip(), QString(" Add displayed image to list "));
        QCOMPARE(w.Button(7)->toolTip(), QString(" Move selected frame up in sequence "));
        QCOMPARE(w.Button(8)->toolTip(), QString(" Move selected frame down in sequence "));
        QCOMPARE(w.Button(6)->toolTip(), QString(" Remove selected frame from sequence "));

        w.Scroll()->setValue(0);
        QTest::mouseClick(w.Button(5), Qt::LeftButton);  // P
        w.Scroll()->setValue(4);
        w.Button(5)->click();  // Q
        w.Scroll()->setValue(5);
        w.Button(5)->click();  // R
        QCOMPARE(w.SequenceItems(), (std::vector<std::string>{"Image #1", "Image #5", "Image #6"}));
        QCOMPARE(w.List5()->currentRow(), 2);

        w.Button(8)->click();  // down on the last: nothing
        QCOMPARE(w.SequenceItems(), (std::vector<std::string>{"Image #1", "Image #5", "Image #6"}));
        QCOMPARE(w.List5()->currentRow(), 2);
        w.List5()->setCurrentRow(1);
        w.Button(7)->click();
        QCOMPARE(w.SequenceItems(), (std::vector<std::string>{"Image #5", "Image #1", "Image #6"}));
        QCOMPARE(w.List5()->currentRow(), 0);
        w.Button(7)->click();  // up on the first: nothing
        QCOMPARE(w.SequenceItems(), (std::vector<std::string>{"Image #5", "Image #1", "Image #6"}));
        QCOMPARE(w.List5()->currentRow(), 0);
        w.Button(8)->click();
        QCOMPARE(w.SequenceItems(), (std::vector<std::string>{"Image #1", "Image #5", "Image #6"}));
        QCOMPARE(w.List5()->currentRow(), 1);

        w.Button(5)->click();  // the same image twice
        QCOMPARE(w.SequenceItems().back(), std::string("Image #6"));
        QCOMPARE(w.List5()->count(), 4);

        w.List5()->setCurrentRow(-1);
        w.Button(6)->click();
        w.Button(7)->click();
        w.Button(8)->click();
        QCOMPARE(w.List5()->count(), 4);
        w.List5()->setCurrentRow(0);
        w.Button(6)->click();
        QCOMPARE(w.SequenceItems(), (std::vector<std::string>{"Image #5", "Image #6", "Image #6"}));

        // The sequence outlives a mode change and an unload.
        w.Mode(1)->trigger();
        w.Action("mnuUnload")->trigger();
        QCOMPARE(w.List5()->count(), 3);
    }

    void sequenceEntryTexts() {
        QCOMPARE(viewer::SequenceEntryText(11), std::string("Image #12"));
        QCOMPARE(viewer::SequenceEntryImage("Image #12"), 11);
        QCOMPARE(viewer::SequenceEntryImage("Image #0"), -1);
        QCOMPARE(viewer::SequenceEntryImage("Image #"), -1);
        QCOMPARE(viewer::SequenceEntryImage("Image #1x"), -1);
        QCOMPARE(viewer::SequenceEntryImage("Image #99999999999"), -1);
    }

    void exportAsSplitsFolderAndName() {
        TestWindow w;
        w.Load(StandardArchive());
        const std::string folder = w.dir.File("out") + "/";
        std::filesystem::create_directory(folder);
        Select(w, 0, 0);
        w.Mode(3)->trigger();
        w.fileAnswers.push_back(folder + "walk.bmp");
        w.Action("mnuExpAs")->trigger();

        const FileDialogCall& call = w.fileDialogs.back();
        QCOMPARE(call.mode, 0);
        QCOMPARE(call.title, std::string("Export As..."));
        QCOMPARE(call.initialFile, std::string("*.BMP"));
        QCOMPARE(call.filter, std::string("Bitmap Images\0*.bmp", 19));
        QCOMPARE(call.defaultExt, std::string("bmp"));

        QCOMPARE(w.form->Config().ExportFolder, folder);
        QCOMPARE(w.form->Config().ExportName, std::string());
        QCOMPARE(w.Caption(), std::string("walk.bmp created."));
        const auto bmp = ReadAll(folder + "walk.bmp");
        QVERIFY(bmp.size() > 54);
        QCOMPARE(Le32(bmp, 18), 9);  // "Walk": rows of 4 + 5 and 3 pixels, 3 and 4 high
        QCOMPARE(Le32(bmp, 22), 7);
        const auto dat = ReadAll(folder + "walk.dat");
        QCOMPARE(dat.size(), std::size_t{3 * 36});
        QCOMPARE(Le32(dat, 36 + 16), 4);  // second frame at X 4
        QCOMPARE(Le32(dat, 72 + 20), 3);  // third frame on the second row
        QVERIFY(w.Action("mnuExpNow")->isEnabled());
        QVERIFY(!w.form->IsBusy());

        // Cancelled: nothing changes.
        const auto calls = w.fileDialogs.size();
        w.Action("mnuExpAs")->trigger();
        QCOMPARE(w.fileDialogs.size(), calls + 1);
        QCOMPARE(w.form->Config().ExportFolder, folder);
    }

    void exportToSetsFolderOrOnlyForgetsName() {
        TestWindow w;
        const std::string start = w.form->Config().ExportFolder;
        w.form->Config().ExportName = "kept";
        w.folderAnswer = "";
        w.Action("mnuExpTo")->trigger();
        QCOMPARE(w.folderTitles.back(), std::string("Export graphics to..."));
        QCOMPARE(w.form->Config().ExportFolder, start);
        QCOMPARE(w.form->Config().ExportName, std::string());

        w.form->Config().ExportName = "kept";
        w.folderAnswer = w.dir.Path();
        w.Action("mnuExpTo")->trigger();
        QCOMPARE(w.form->Config().ExportFolder, w.dir.Path() + "/");
        QCOMPARE(w.form->Config().ExportName, std::string());
    }

    void exportNowUsesAutomaticNames() {
        TestWindow w;
        const std::string path = w.Load(StandardArchive());
        w.folderAnswer = w.dir.Path();
        w.Action("mnuExpTo")->trigger();
        w.Action("mnuExpNow")->trigger();  // All Objects: the archive's name
        QVERIFY(Exists(w.dir.File("units.bmp")));
        QVERIFY(Exists(w.dir.File("units.dat")));
        QCOMPARE(w.Caption(), std::string("units.bmp created."));

        w.Mode(2)->trigger();
        Select(w, 1);
        w.Action("mnuExpNow")->trigger();
        Select(w, 0);
        w.Action("mnuExpNow")->trigger();
        QVERIFY(Exists(w.dir.File("Object 1 (1 actions).bmp")));
        QVERIFY(Exists(w.dir.File("Object 0 (2 actions).bmp")));

        w.Mode(6)->trigger();
        w.Scroll()->setValue(4);
        w.Opt(3)->trigger();  // no lookup table
        w.Action("mnuExpNow")->trigger();
        QVERIFY(Exists(w.dir.File("Image 4.bmp")));
        QVERIFY(!Exists(w.dir.File("Image 4.dat")));
        QCOMPARE(Le32(ReadAll(w.dir.File("Image 4.bmp")), 18), 6);

        // Selected Direction without a direction: nothing written, nothing said.
        w.Mode(4)->trigger();
        Select(w, 0, 0);
        const auto before = std::distance(std::filesystem::directory_iterator(w.dir.Path()),
                                          std::filesystem::directory_iterator());
        w.Action("mnuExpNow")->trigger();
        QCOMPARE(std::distance(std::filesystem::directory_iterator(w.dir.Path()),
                               std::filesystem::directory_iterator()),
                 before);
        QCOMPARE(w.messages.size(), std::size_t{0});
        QVERIFY(w.Action("mnuExpNow")->isEnabled());
    }

    void exportNowFromListWritesTheSequence() {
        TestWindow w;
        w.Load(StandardArchive());
        w.folderAnswer = w.dir.Path();
        w.Action("mnuExpTo")->trigger();
        w.Mode(7)->trigger();
        for (int image : {4, 0, 4}) {
            w.Scroll()->setValue(image);
            w.Button(5)->click();
        }
        w.Action("mnuExpNow")->trigger();
        QCOMPARE(w.messages.size(), std::size_t{0});
        const auto bmp = ReadAll(w.dir.File("Sequence.bmp"));
        QVERIFY(!bmp.empty());
        QCOMPARE(Le32(bmp, 18), 16);
        QCOMPARE(Le32(bmp, 22), 3);
        const auto dat = ReadAll(w.dir.File("Sequence.dat"));
        QCOMPARE(dat.size(), std::size_t{3 * 36});
        QCOMPARE(Le32(dat, 0), -1);           // no object
        QCOMPARE(Le32(dat, 2 * 36 + 12), 2);  // frame index = place in the sequence
        QCOMPARE(Le32(dat, 2 * 36 + 16), 10);
    }

    void exportIntoMissingFolderShowsErrorAndReenables() {
        TestWindow w;
        w.Load(StandardArchive());
        bool loadOffDuringBox = false;
        bool expNowOffDuringBox = false;
        w.onMessage = [&] {
            loadOffDuringBox = !w.Action("mnuLoad")->isEnabled();
            expNowOffDuringBox = !w.Action("mnuExpNow")->isEnabled();
        };
        w.fileAnswers.push_back(w.dir.File("missing") + "/x.bmp");
        w.Action("mnuExpAs")->trigger();
        QCOMPARE(w.messages.size(), std::size_t{1});
        const ShownMessage& box = w.messages[0];
        QCOMPARE(box.title, std::string("Dammit!"));
        QVERIFY(box.icon == MessageIcon::Critical);
        QVERIFY(box.buttons == MessageButtons::Ok);
        QVERIFY2(box.text.starts_with("Error 2 Encountered:\r\n\""), box.text.c_str());
        QVERIFY(box.text.ends_with("\""));
        QVERIFY(box.busy);
        QVERIFY(loadOffDuringBox);
        QVERIFY(expNowOffDuringBox);
        QVERIFY(w.Action("mnuExpNow")->isEnabled());
        QVERIFY(w.Action("mnuLoad")->isEnabled());
        QCOMPARE(w.form->Config().ExportName, std::string("x"));
        QVERIFY(!Exists(w.dir.File("missing")));
    }

    void commandsHeldBackWhileLoading() {
        // A damaged archive: the loader tells the user while the load still runs.
        ImageBlockSpec thumbs;
        ImageBlockSpec block;
        block.images.push_back(
            {1, 2, 2, 259, {}, EncodeImage(259, 2, 2, [](int, int) { return 1u; }), {}});
        block.countOverride = 5;
        TestWindow w;
        const std::string good = w.dir.File("good.qxa");
        WriteFile(good, StandardArchive());
        bool commandsOff = false;
        w.onMessage = [&] {
            commandsOff = !w.Action("mnuLoad")->isEnabled() &&
                          !w.Action("mnuUnload")->isEnabled() &&
                          !w.Action("mnuExpNow")->isEnabled() &&
                          !w.Action("mnuExpAs")->isEnabled() && !w.Action("mnuToSIF")->isEnabled();
            // Whatever still gets through is ignored.
            w.form->OpenArchive(good);
            w.form->close();
        };
        const std::string damaged =
            w.Load(ArchiveBuilder().ImageBlock(thumbs).ImageBlock(block).Build(), "damaged.qxa");
        QCOMPARE(w.messages.size(), std::size_t{1});
        QVERIFY(w.messages[0].busy);
        QVERIFY(commandsOff);
        QCOMPARE(w.form->Config().ArchivePath, damaged);
        QVERIFY(w.Action("mnuLoad")->isEnabled());
        // The close asked for during the load happens once it is over.
        QTRY_VERIFY(!w.form->isVisible());
    }

    // The window and the qxa tool call the same core exports: the same archive and choices
    // must give the same bytes.
    void windowWritesTheSameBytesAsTheTool() {
        TestWindow w;
        const std::string demo = std::string(PIXHAUL_SOURCE_DIR) + "/samples/demo.qxa";
        w.Load(ReadAll(demo), "demo.qxa");
        const std::string mine = w.dir.File("window") + "/";
        const std::string tool = w.dir.File("tool") + "/";
        std::filesystem::create_directories(mine);
        std::filesystem::create_directories(tool);
        const auto qxa = [&](const std::string& args) {
            const std::string command = std::string("'") + PIXHAUL_QXA_BINARY + "' " + args +
                                        " '" + w.dir.File("demo.qxa") + "' -o '" + tool +
                                        "' >/dev/null 2>&1";
            return std::system(command.c_str());
        };

        w.folderAnswer = w.dir.File("window");
        w.Action("mnuExpTo")->trigger();
        w.Action("mnuExpNow")->trigger();  // All Objects
        QCOMPARE(qxa("sheet"), 0);
        QVERIFY(ReadAll(mine + "demo.bmp") == ReadAll(tool + "demo.bmp"));
        QVERIFY(ReadAll(mine + "demo.dat") == ReadAll(tool + "demo.dat"));

        Select(w, 1, 0);
        w.Mode(3)->trigger();
        w.fileAnswers.push_back(mine + "action.bmp");
        w.Action("mnuExpAs")->trigger();
        QCOMPARE(qxa("sheet --object 1 --action 0 --name action"), 0);
        QVERIFY(ReadAll(mine + "action.bmp") == ReadAll(tool + "action.bmp"));
        QVERIFY(ReadAll(mine + "action.dat") == ReadAll(tool + "action.dat"));

        w.fileAnswers.push_back(mine + "hero.sif");
        w.Action("mnuToSIF")->trigger();
        QCOMPARE(qxa("sif --object 1 --name hero"), 0);
        const auto sif = ReadAll(mine + "hero.sif");
        QVERIFY(sif.size() > 8);
        QVERIFY(sif == ReadAll(tool + "hero.sif"));
    }

    void sifExport() {
        TestWindow w;
        w.Load(StandardArchive());
        w.fileAnswers.push_back(w.dir.File("hero.sif"));
        w.Action("mnuToSIF")->trigger();  // no object selected: nothing written
        QVERIFY(!Exists(w.dir.File("hero.sif")));
        const FileDialogCall& call = w.fileDialogs.back();
        QCOMPARE(call.mode, 0);
        QCOMPARE(call.title, std::string("Export to SIF..."));
        QCOMPARE(call.initialFile, std::string("*.sif"));
        QCOMPARE(call.filter, std::string("Sprite Image Files\0*.sif", 24));
        QCOMPARE(call.defaultExt, std::string("sif"));

        Select(w, 0);
        w.fileAnswers.push_back(w.dir.File("hero.sif"));
        w.Action("mnuToSIF")->trigger();
        QVERIFY(Exists(w.dir.File("hero.sif")));
        QCOMPARE(w.Caption(), std::string("hero.sif created."));
        QCOMPARE(w.form->Config().ExportFolder, w.dir.Path() + "/");
        QCOMPARE(w.form->Config().ExportName, std::string());

        // A name that is only the extension: the automatic name.
        w.fileAnswers.push_back(w.dir.File(".sif"));
        w.Action("mnuToSIF")->trigger();
        QVERIFY(Exists(w.dir.File("Object 0 (2 actions).sif")));
        QVERIFY(w.Action("mnuExpNow")->isEnabled());
    }
};

QTEST_MAIN(ExportTest)
#include "export_test.moc"
