// The window's browsing: loading, the four lists, the scroll bar and the frame display.
#include <QDropEvent>
#include <QMimeData>
#include <QSignalSpy>
#include <QTest>
#include <QUrl>

#include "viewer_fixture.h"

using namespace pixhaul;
using namespace pixhaul::testing;

namespace {
constexpr COLORREF kMagenta = 0xFF00FF;
}

class BrowseTest : public QObject {
    Q_OBJECT

  private slots:
    void startsEmpty() {
        TestWindow w;
        QCOMPARE(w.Caption(), std::string("Pixhaul sprite image extractor v1.6"));
        QCOMPARE(w.Label(), std::string("No images loaded"));
        QCOMPARE(w.List(1)->count(), 0);
        QCOMPARE(w.Scroll()->maximum(), 0);
        // Unload with nothing ever loaded does nothing at all.
        w.Action("mnuUnload")->trigger();
        QCOMPARE(w.Caption(), std::string("Pixhaul sprite image extractor v1.6"));
    }

    void loadFillsObjectsAndShowsFirstImage() {
        TestWindow w;
        const std::string path = w.Load(StandardArchive());
        QCOMPARE(w.fileDialogs.size(), std::size_t{1});
        const FileDialogCall& call = w.fileDialogs[0];
        QCOMPARE(call.mode, 1);
        QCOMPARE(call.title, std::string("Open QXA file"));
        QCOMPARE(call.initialFile, std::string("*.QXA"));
        QCOMPARE(call.filter, std::string("QXA File\0*.qxa", 14));
        QCOMPARE(call.initialDir, w.form->Config().ExportFolder);
        QCOMPARE(call.defaultExt, std::string("qxa"));

        QCOMPARE(w.Caption(), "Pixhaul: " + path);
        QCOMPARE(w.Items(1),
                 (std::vector<std::string>{"Object 0 (2 actions)", "Object 1 (1 actions)"}));
        QCOMPARE(w.List(1)->currentIndex(), -1);
        QCOMPARE(w.List(2)->count() + w.List(3)->count() + w.List(4)->count(), 0);
        QCOMPARE(w.Scroll()->minimum(), 0);
        QCOMPARE(w.Scroll()->maximum(), 5);
        QCOMPARE(w.Label(), std::string("Viewing frame 1 of 6"));
        // Image 0: black top-left pixel shows the transparent colour, the rest palette entry 1.
        QCOMPARE(w.Shown(0, 0), kMagenta);
        QCOMPARE(w.Shown(1, 0), PaletteColour(1));
        QCOMPARE(w.Shown(3, 2), PaletteColour(1));
        QCOMPARE(w.Shown(4, 0), kMagenta);  // beyond the image: background
        QCOMPARE(w.messages.size(), std::size_t{0});
        QVERIFY(!w.form->IsBusy());
        QVERIFY(w.Action("mnuLoad")->isEnabled());
    }

    void cancelledOpenKeepsArchive() {
        TestWindow w;
        const std::string path = w.Load(StandardArchive());
        w.Action("mnuLoad")->trigger();  // no answer queued: the dialog is cancelled
        QCOMPARE(w.Caption(), "Pixhaul: " + path);
        QCOMPARE(w.List(1)->count(), 2);
        QVERIFY(w.form->Model().IsLoaded());
    }

    void listsFillOneAnotherDownward() {
        TestWindow w;
        w.Load(StandardArchive());
        w.List(1)->setCurrentIndex(0);
        QCOMPARE(w.Items(2),
                 (std::vector<std::string>{"Walk (2 directions)", "Action 1 (1 directions)"}));
        QCOMPARE(w.List(2)->currentIndex(), -1);
        QCOMPARE(w.List(3)->count(), 0);
        w.List(2)->setCurrentIndex(0);
        QCOMPARE(w.Items(3),
                 (std::vector<std::string>{"Direction 0 (2 frames)", "Direction 1 (1 frames)"}));
        w.List(3)->setCurrentIndex(1);
        QCOMPARE(w.Items(4), (std::vector<std::string>{"Frame 0 (#3)"}));
        w.List(3)->setCurrentIndex(0);
        QCOMPARE(w.Items(4), (std::vector<std::string>{"Frame 0 (#1)", "Frame 1 (#2)"}));

        // Another object replaces the actions and empties the lists below; the image stays.
        w.List(4)->setCurrentIndex(1);
        QCOMPARE(w.Scroll()->value(), 1);
        w.List(1)->setCurrentIndex(1);
        QCOMPARE(w.Items(2), (std::vector<std::string>{"Idle (1 directions)"}));
        QCOMPARE(w.List(3)->count(), 0);
        QCOMPARE(w.List(4)->count(), 0);
        QCOMPARE(w.Scroll()->value(), 1);
        QCOMPARE(w.Label(), std::string("Viewing frame 2 of 6"));
    }

    void frameChoiceMovesScrollBar() {
        TestWindow w;
        w.Load(StandardArchive());
        w.List(1)->setCurrentIndex(1);
        w.List(2)->setCurrentIndex(0);
        w.List(3)->setCurrentIndex(0);
        QCOMPARE(w.Items(4), (std::vector<std::string>{"Frame 0 (#5)", "Frame 1 (#6)"}));
        w.List(4)->setCurrentIndex(1);
        QCOMPARE(w.Scroll()->value(), 5);
        QCOMPARE(w.Label(), std::string("Viewing frame 6 of 6"));
        QCOMPARE(w.Shown(0, 1), PaletteColour(6));

        // A frame whose image is already shown redraws nothing.
        w.List(1)->setCurrentIndex(0);
        w.List(2)->setCurrentIndex(1);
        w.List(3)->setCurrentIndex(0);
        w.List(4)->setCurrentIndex(0);
        QCOMPARE(w.Scroll()->value(), 3);
        const auto decodes = w.form->Stats().decodes;
        w.List(4)->setCurrentIndex(1);  // the same image again
        QCOMPARE(w.form->Stats().decodes, decodes);
    }

    void scrollBarClampsToLastImage() {
        TestWindow w;
        w.Load(StandardArchive());
        w.Scroll()->setValue(1000);
        QCOMPARE(w.Scroll()->value(), 5);
        QCOMPARE(w.Label(), std::string("Viewing frame 6 of 6"));
        QCOMPARE(w.Shown(0, 4), PaletteColour(6));
    }

    void cachingOffDecodesEveryTime() {
        TestWindow w;
        w.Load(StandardArchive());
        const DisplayStatsCopy before(w);
        w.Scroll()->setValue(1);
        w.Scroll()->setValue(0);
        QCOMPARE(w.form->Stats().decodes - before.decodes, 2);
        QCOMPARE(w.form->Stats().paletteReads - before.paletteReads, 2);
        for (std::size_t i = 0; i < w.form->Model().Images.size(); ++i) {
            QVERIFY(!w.form->Model().ImageBitmap(i).IsRendered());
        }
        QCOMPARE(w.Label(), std::string("Viewing frame 1 of 6"));
    }

    void cachingOnKeepsDecodedImages() {
        TestWindow w;
        w.Load(StandardArchive());
        w.Opt(7)->trigger();  // caching on: no question
        QVERIFY(w.Opt(7)->isChecked());
        QCOMPARE(w.messages.size(), std::size_t{0});
        w.Scroll()->setValue(2);
        const DisplayStatsCopy once(w);
        QVERIFY(w.form->Model().ImageBitmap(2).IsRendered());

        // A new colour: the cached image keeps the old one, a newly decoded image takes the new.
        const COLORREF green = MakeColorRef(0, 255, 0);
        w.colourAnswer = green;
        w.Action("mnuTransparent")->trigger();
        QCOMPARE(w.form->Config().TransColor, green);
        QCOMPARE(w.Shown(0, 0), kMagenta);
        QCOMPARE(w.Shown(2, 3), PaletteColour(3));
        QCOMPARE(w.Shown(3, 0), green);  // the background beside the image
        w.Scroll()->setValue(3);
        w.Scroll()->setValue(2);
        QCOMPARE(w.form->Stats().decodes - once.decodes, 1);  // only image 3
        QCOMPARE(w.form->Stats().paletteReads - once.paletteReads, 1);
        w.Scroll()->setValue(3);
        QCOMPARE(w.Shown(0, 0), green);
    }

    void zoomScalesTheImage() {
        TestWindow w;
        w.Load(StandardArchive());
        w.Action("mnuZoomIn")->trigger();
        w.Action("mnuZoomIn")->trigger();
        QCOMPARE(w.form->Config().Zoom, 2.0);
        // Image 0 (4 x 3) covers 8 x 6 pixels.
        QCOMPARE(w.Shown(1, 1), kMagenta);
        QCOMPARE(w.Shown(2, 0), PaletteColour(1));
        QCOMPARE(w.Shown(7, 5), PaletteColour(1));
        QCOMPARE(w.Shown(8, 5), kMagenta);
        QCOMPARE(w.Shown(7, 6), kMagenta);
    }

    void emptyStreamLeavesCounterAndClearsPicture() {
        ImageBlockSpec thumbs;
        ImageBlockSpec block;
        block.images.push_back(
            {1, 2, 2, 259, {}, EncodeImage(259, 2, 2, [](int, int) { return 1u; }), {}});
        block.images.push_back({2, 2, 2, 259, {}, {}, {}});
        block.palette[1] = 0x0000FF;
        ObjectSpec object;
        object.actions.push_back({{DirectionSpec{{{0, 1}, {0, 2}}, {}, {}}}, "A", {}, {}});
        TestWindow w;
        w.Load(ArchiveBuilder().ImageBlock(thumbs).ImageBlock(block).Object(object).Build());
        QCOMPARE(w.Shown(1, 1), COLORREF{0x0000FF});
        w.Scroll()->setValue(1);
        QCOMPARE(w.Label(), std::string("Viewing frame 1 of 2"));
        QCOMPARE(w.Shown(1, 1), kMagenta);
    }

    void frameOfUnknownImageShowsNothing() {
        ImageBlockSpec thumbs;
        ImageBlockSpec block;
        block.palette[1] = 0x0000FF;
        block.images.push_back(
            {1, 2, 2, 259, {}, EncodeImage(259, 2, 2, [](int, int) { return 1u; }), {}});
        block.images.push_back(
            {2, 2, 2, 259, {}, EncodeImage(259, 2, 2, [](int, int) { return 1u; }), {}});
        ObjectSpec object;
        // An 8-bit name from the archive ("Caf" and Latin-1 e-acute).
        object.actions.push_back({{DirectionSpec{{{0, 2}, {0, 99}}, {}, {}}}, "Caf\xE9", {}, {}});
        TestWindow w;
        w.Load(ArchiveBuilder().ImageBlock(thumbs).ImageBlock(block).Object(object).Build());
        w.messages.clear();  // the loader's word about the unknown id
        w.List(1)->setCurrentIndex(0);
        QCOMPARE(w.Items(2), (std::vector<std::string>{"Caf\xC3\xA9 (1 directions)"}));
        w.List(2)->setCurrentIndex(0);
        w.List(3)->setCurrentIndex(0);
        QCOMPARE(w.Items(4), (std::vector<std::string>{"Frame 0 (#2)", "Frame 1 (#0)"}));
        w.List(4)->setCurrentIndex(0);
        QCOMPARE(w.Scroll()->value(), 1);
        QCOMPARE(w.Shown(0, 0), COLORREF{0x0000FF});
        w.List(4)->setCurrentIndex(1);
        QCOMPARE(w.Scroll()->value(), 1);  // not moved to image 0
        QCOMPARE(w.Shown(0, 0), kMagenta);
        QCOMPARE(w.messages.size(), std::size_t{0});
    }

    void unloadEmptiesEverything() {
        TestWindow w;
        const std::string path = w.Load(StandardArchive());
        w.List(1)->setCurrentIndex(0);
        w.Scroll()->setValue(3);
        w.Action("mnuUnload")->trigger();
        QCOMPARE(w.Caption(), std::string("No file loaded"));
        QCOMPARE(w.List(1)->count() + w.List(2)->count(), 0);
        QCOMPARE(w.Scroll()->maximum(), 0);
        QVERIFY(!w.form->Model().IsLoaded());
        QCOMPARE(w.form->Config().ArchivePath, path);
        w.form->setWindowTitle("x");
        w.Action("mnuUnload")->trigger();  // the path stays, so a second unload does it again
        QCOMPARE(w.Caption(), std::string("No file loaded"));
    }

    void droppedFileLoads() {
        TestWindow w;
        const std::string path = w.dir.File("dropped.bin");  // the name is not checked
        WriteFile(path, StandardArchive());
        viewer::PictureBox* picture = w.form->Picture1();

        QMimeData textOnly;
        textOnly.setText("not a file");
        QDragEnterEvent enterText(QPoint(5, 5), Qt::CopyAction, &textOnly, Qt::LeftButton,
                                  Qt::NoModifier);
        QCoreApplication::sendEvent(picture, &enterText);
        QVERIFY(!enterText.isAccepted());

        QMimeData files;
        files.setUrls({QUrl::fromLocalFile(QString::fromStdString(path)),
                       QUrl::fromLocalFile("/nonexistent/second.qxa")});
        QDragEnterEvent enter(QPoint(5, 5), Qt::CopyAction, &files, Qt::LeftButton, Qt::NoModifier);
        QCoreApplication::sendEvent(picture, &enter);
        QVERIFY(enter.isAccepted());
        QDropEvent drop(QPointF(5, 5), Qt::CopyAction, &files, Qt::LeftButton, Qt::NoModifier);
        QCoreApplication::sendEvent(picture, &drop);
        QTRY_COMPARE(w.Caption(), "Pixhaul: " + path);
        QCOMPARE(w.List(1)->count(), 2);
    }

    void wrongVersionLeavesNothingLoaded() {
        TestWindow w;
        w.Load(StandardArchive());
        w.Load(ArchiveBuilder().Version('X').Build(), "bad.qxa");
        QCOMPARE(w.Caption(), std::string("Pixhaul sprite image extractor v2.0"));
        QCOMPARE(w.messages.size(), std::size_t{1});
        QCOMPARE(w.messages[0].title, std::string("Pixhaul"));
        QCOMPARE(w.List(1)->count(), 0);
        QCOMPARE(w.Scroll()->maximum(), 0);
    }

  private:
    struct DisplayStatsCopy {
        explicit DisplayStatsCopy(const TestWindow& w)
            : decodes(w.form->Stats().decodes), paletteReads(w.form->Stats().paletteReads) {}
        std::int64_t decodes;
        std::int64_t paletteReads;
    };
};

QTEST_MAIN(BrowseTest)
#include "browse_test.moc"
