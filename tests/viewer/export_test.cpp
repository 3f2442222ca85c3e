// The export side of the window: export modes, the sequence panel, Export now / As / To, the SIF
// command, and the commands held back while a load or an export runs.
#include <QTest>
#include <cstdlib>
#include <filesystem>

#include "test_files.h"
#include "viewer_fixture.h"

using namespace pixhaul;
using namespace pixhaul::testing;

namespace {

using Items = std::vector<std::string>;

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
        QWidget* panel = w.Find<QWidget>("Picture3");
        w.Mode(7)->trigger();
        QVERIFY(!panel->isHidden());
        QVERIFY(!w.List(1)->isEnabled() && !w.List(2)->isEnabled() && !w.List(3)->isEnabled());
        QCOMPARE(w.List(4)->count(), 0);
        w.Mode(3)->trigger();
        QVERIFY(panel->isHidden());
        QVERIFY(w.List(1)->isEnabled() && w.List(2)->isEnabled() && w.List(3)->isEnabled());
        QCOMPARE(w.form->Config().ExportMode, std::int16_t{3});
        w.Mode(3)->trigger();  // choosing the checked mode again keeps it checked
        for (int i = 0; i < 8; ++i) QCOMPARE(w.Mode(i)->isChecked(), i == 3);
    }

    void sequenceButtons() {
        TestWindow w;
        w.Load(StandardArchive());
        w.Mode(7)->trigger();
        for (int image : {0, 4, 5}) {
            w.Scroll()->setValue(image);
            QTest::mouseClick(w.Button(5), Qt::LeftButton);
        }
        QCOMPARE(w.SequenceItems(), (Items{"Image #1", "Image #5", "Image #6"}));
        QCOMPARE(w.List5()->currentRow(), 2);
        w.Button(8)->click();  // down on the last: nothing
        QCOMPARE(w.List5()->currentRow(), 2);
        w.List5()->setCurrentRow(1);
        w.Button(7)->click();
        QCOMPARE(w.SequenceItems(), (Items{"Image #5", "Image #1", "Image #6"}));
        QCOMPARE(w.List5()->currentRow(), 0);
        w.Button(7)->click();  // up on the first: nothing
        w.Button(8)->click();
        QCOMPARE(w.SequenceItems(), (Items{"Image #1", "Image #5", "Image #6"}));
        QCOMPARE(w.List5()->currentRow(), 1);
        w.List5()->setCurrentRow(-1);
        for (int button : {6, 7, 8}) w.Button(button)->click();  // nothing selected: nothing
        w.List5()->setCurrentRow(0);
        w.Button(6)->click();
        QCOMPARE(w.SequenceItems(), (Items{"Image #5", "Image #6"}));
        // The sequence outlives a mode change and an unload.
        w.Mode(1)->trigger();
        w.Action("mnuUnload")->trigger();
        QCOMPARE(w.List5()->count(), 2);
    }

    void exportAsAndSifSplitFolderAndName() {
        TestWindow w;
        w.Load(StandardArchive());
        const std::string folder = w.dir.Path() + "/";
        QVERIFY(!w.Action("mnuToSIF")->isEnabled());  // no object selected
        Select(w, 0, 0);
        w.Mode(3)->trigger();
        w.fileAnswers.push_back(folder + "walk.bmp");
        w.Action("mnuExpAs")->trigger();
        QCOMPARE(w.fileDialogs.back().filter, std::string("Bitmap Images\0*.bmp", 19));
        QCOMPARE(w.form->Config().ExportFolder, folder);
        QCOMPARE(w.form->Config().ExportName, std::string());
        QCOMPARE(w.Caption(), "Pixhaul: " + w.dir.File("units.qxa"));
        QCOMPARE(w.Find<QLabel>("ExportNote")->text(), QString("Written: walk.bmp, walk.dat"));
        const auto bmp = ReadAll(folder + "walk.bmp");
        QCOMPARE(SLe32(bmp, 18), 9);  // "Walk": rows of 4 + 5 and 3 pixels, 3 and 4 high
        QCOMPARE(SLe32(bmp, 22), 7);
        const auto dat = ReadAll(folder + "walk.dat");
        QCOMPARE(dat.size(), std::size_t{3 * 36});
        QCOMPARE(SLe32(dat, 36 + 16), 4);  // second frame at X 4
        QCOMPARE(SLe32(dat, 72 + 20), 3);  // third frame on the second row
        QVERIFY(w.Action("mnuExpNow")->isEnabled() && !w.form->IsBusy());

        // SIF: a name that is only the extension gives the automatic name.
        Select(w, 0);
        w.fileAnswers.push_back(w.dir.File(".sif"));
        w.Action("mnuToSIF")->trigger();
        QVERIFY(Exists(w.dir.File("Object 0 (2 actions).sif")));
        QCOMPARE(w.form->Config().ExportName, std::string());
    }

    void exportNowUsesAutomaticNames() {
        TestWindow w;
        w.Load(StandardArchive());
        w.folderAnswer = w.dir.Path();
        w.Action("mnuExpTo")->trigger();
        w.Action("mnuExpNow")->trigger();  // All Objects: the archive's name
        QVERIFY(Exists(w.dir.File("units.bmp")) && Exists(w.dir.File("units.dat")));
        w.Mode(2)->trigger();
        Select(w, 1);
        w.Action("mnuExpNow")->trigger();
        QVERIFY(Exists(w.dir.File("Object 1 (1 actions).bmp")));
        w.Mode(6)->trigger();
        w.Scroll()->setValue(4);
        w.Opt(3)->trigger();  // no lookup table
        w.Action("mnuExpNow")->trigger();
        QCOMPARE(SLe32(ReadAll(w.dir.File("Image 4.bmp")), 18), 6);
        QVERIFY(!Exists(w.dir.File("Image 4.dat")));

        // Selected Direction without a direction: nothing written, nothing said.
        w.Mode(4)->trigger();
        Select(w, 0, 0);
        const auto before = FileNames(w.dir.Path());
        w.Action("mnuExpNow")->trigger();
        QCOMPARE(FileNames(w.dir.Path()), before);

        // From List: the sequence, frame index = place in the sequence.
        w.Opt(3)->trigger();
        w.Mode(7)->trigger();
        for (int image : {4, 0, 4}) {
            w.Scroll()->setValue(image);
            w.Button(5)->click();
        }
        w.Action("mnuExpNow")->trigger();
        QCOMPARE(SLe32(ReadAll(w.dir.File("Sequence.bmp")), 18), 16);
        const auto dat = ReadAll(w.dir.File("Sequence.dat"));
        QCOMPARE(dat.size(), std::size_t{3 * 36});
        QCOMPARE(SLe32(dat, 0), -1);  // no object
        QCOMPARE(SLe32(dat, 2 * 36 + 12), 2);
        QCOMPARE(SLe32(dat, 2 * 36 + 16), 10);
        QCOMPARE(w.messages.size(), std::size_t{0});
    }

    void exportIntoMissingFolderShowsErrorAndReenables() {
        TestWindow w;
        w.Load(StandardArchive());
        bool commandsOffDuringBox = false;
        w.onMessage = [&] {
            commandsOffDuringBox =
                !w.Action("mnuLoad")->isEnabled() && !w.Action("mnuExpNow")->isEnabled();
        };
        w.fileAnswers.push_back(w.dir.File("missing") + "/x.bmp");
        w.Action("mnuExpAs")->trigger();
        QCOMPARE(w.messages.size(), std::size_t{1});
        QCOMPARE(w.messages[0].title, std::string("Dammit!"));
        QVERIFY2(w.messages[0].text.starts_with("Error 2 Encountered:\r\n\""),
                 w.messages[0].text.c_str());
        QVERIFY(w.messages[0].busy && commandsOffDuringBox);
        QVERIFY(w.Action("mnuExpNow")->isEnabled() && w.Action("mnuLoad")->isEnabled());
        QVERIFY(!Exists(w.dir.File("missing")));
    }

    void commandsHeldBackWhileLoading() {
        // A damaged archive: the loader tells the user while the load still runs.
        ImageBlockSpec block;
        block.images.push_back(
            {1, 2, 2, 259, {}, EncodeImage(259, 2, 2, [](int, int) { return 1u; }), {}});
        block.countOverride = 5;
        TestWindow w;
        const std::string good = w.dir.File("good.qxa");
        WriteFile(good, StandardArchive());
        bool commandsOff = false;
        w.onMessage = [&] {
            commandsOff = true;
            for (const char* name : {"mnuLoad", "mnuUnload", "mnuExpNow", "mnuExpAs", "mnuToSIF"}) {
                commandsOff = commandsOff && !w.Action(name)->isEnabled();
            }
            // Whatever still gets through is ignored.
            w.form->OpenArchive(good);
            w.form->close();
        };
        const std::string damaged =
            w.Load(ArchiveBuilder().ImageBlock({}).ImageBlock(block).Build(), "damaged.qxa");
        QCOMPARE(w.messages.size(), std::size_t{1});
        QVERIFY(w.messages[0].busy && commandsOff);
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
        const auto qxa = [&](const std::string& args) {
            const std::string command = std::string("'") + PIXHAUL_QXA_BINARY + "' " + args + " '" +
                                        w.dir.File("demo.qxa") + "' -o '" + tool +
                                        "' >/dev/null 2>&1";
            return std::system(command.c_str());
        };
        const auto same = [&](const std::string& name) {
            const auto bytes = ReadAll(mine + name);
            return bytes.size() > 8 && bytes == ReadAll(tool + name);
        };

        w.folderAnswer = w.dir.File("window");
        w.Action("mnuExpTo")->trigger();
        w.Action("mnuExpNow")->trigger();  // All Objects
        QCOMPARE(qxa("sheet"), 0);
        QVERIFY(same("demo.bmp") && same("demo.dat"));

        Select(w, 1, 0);
        w.Mode(3)->trigger();
        w.fileAnswers.push_back(mine + "action.bmp");
        w.Action("mnuExpAs")->trigger();
        QCOMPARE(qxa("sheet --object 1 --action 0 --name action"), 0);
        QVERIFY(same("action.bmp") && same("action.dat"));

        w.fileAnswers.push_back(mine + "hero.sif");
        w.Action("mnuToSIF")->trigger();
        QCOMPARE(qxa("sif --object 1 --name hero"), 0);
        QVERIFY(same("hero.sif"));
    }
};

QTEST_MAIN(ExportTest)
#include "export_test.moc"
