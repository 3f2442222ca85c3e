// The export side of the window: export modes, the sequence panel, Export now / As / To, the SIF
// command, and the commands held back while a load or an export runs.
#include <QProgressBar>
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

        // Every image, on the same workers as qxa extract; the window is idle again after.
        w.Action("mnuExpImages")->trigger();
        QCOMPARE(qxa("extract"), 0);
        const auto images = [](const std::string& folder) {
            return std::distance(std::filesystem::directory_iterator(folder), {});
        };
        QVERIFY(same("image-00000.png") && same("image-00020.png"));
        QCOMPARE(images(mine), images(tool));  // the sheets, tables and SIF, and every image
        QVERIFY(!w.form->IsBusy() && w.Find<QProgressBar>("Progress")->isHidden());
    }
};

QTEST_MAIN(ExportTest)
#include "export_test.moc"
