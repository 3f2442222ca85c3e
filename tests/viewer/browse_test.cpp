// The window's browsing: loading, the four lists, the scroll bar and the frame display.
#include <QDropEvent>
#include <QMimeData>
#include <QTest>
#include <QUrl>

#include "viewer_fixture.h"

using namespace pixhaul;
using namespace pixhaul::testing;

namespace {
constexpr COLORREF kMagenta = 0xFF00FF;
using Items = std::vector<std::string>;

// One block of 2 x 2 palette images (entry 1 blue) of ids 1.., the last `empty` ones without a
// stream, and one action of the given name over the frames (image ids).
std::vector<std::uint8_t> SmallArchive(int images, int empty, std::vector<std::int32_t> frames,
                                       const std::string& name = "A") {
    ImageBlockSpec block;
    block.palette[1] = 0x0000FF;
    for (int i = 0; i < images; ++i) {
        block.images.push_back({i + 1,
                                2,
                                2,
                                259,
                                {},
                                i < images - empty
                                    ? EncodeImage(259, 2, 2, [](int, int) { return 1u; })
                                    : std::vector<std::uint8_t>{},
                                {}});
    }
    DirectionSpec direction;
    for (std::int32_t id : frames) direction.frames.push_back({0, id});
    ObjectSpec object;
    object.actions.push_back({{direction}, name, {}, {}});
    return ArchiveBuilder().ImageBlock({}).ImageBlock(block).Object(object).Build();
}
}  // namespace

class BrowseTest : public QObject {
    Q_OBJECT

  private slots:
    void loadFillsObjectsAndShowsFirstImage() {
        TestWindow w;
        w.Action("mnuUnload")->trigger();  // nothing ever loaded: nothing at all
        QCOMPARE(w.Caption(), std::string("Pixhaul sprite image extractor v1.6"));
        const std::string path = w.Load(StandardArchive());
        QCOMPARE(w.fileDialogs[0].filter, std::string("QXA File\0*.qxa", 14));
        QCOMPARE(w.Caption(), "Pixhaul: " + path);
        QCOMPARE(w.Items(1), (Items{"Object 0 (2 actions)", "Object 1 (1 actions)"}));
        QCOMPARE(w.List(1)->currentIndex(), -1);
        QCOMPARE(w.Scroll()->maximum(), 5);
        QCOMPARE(w.Label(), std::string("Viewing frame 1 of 6"));
        // Image 0: black top-left pixel shows the transparent colour, the rest palette entry 1.
        QCOMPARE(w.Shown(0, 0), kMagenta);
        QCOMPARE(w.Shown(3, 2), PaletteColour(1));
        QCOMPARE(w.Shown(4, 0), kMagenta);  // beyond the image: background
        QCOMPARE(w.messages.size(), std::size_t{0});

        w.Action("mnuLoad")->trigger();  // no answer queued: the dialog is cancelled
        QCOMPARE(w.Caption(), "Pixhaul: " + path);
        QVERIFY(w.form->Model().IsLoaded());
        w.Scroll()->setValue(1000);
        QCOMPARE(w.Label(), std::string("Viewing frame 6 of 6"));
    }

    void listsFillOneAnotherDownwardAndFramesMoveTheScrollBar() {
        TestWindow w;
        w.Load(StandardArchive());
        w.List(1)->setCurrentIndex(0);
        QCOMPARE(w.Items(2), (Items{"Walk (2 directions)", "Action 1 (1 directions)"}));
        QCOMPARE(w.List(3)->count(), 0);
        w.List(2)->setCurrentIndex(0);
        QCOMPARE(w.Items(3), (Items{"Direction 0 (2 frames)", "Direction 1 (1 frames)"}));
        w.List(3)->setCurrentIndex(1);
        QCOMPARE(w.Items(4), (Items{"Frame 0 (#3)"}));
        w.List(3)->setCurrentIndex(0);
        QCOMPARE(w.Items(4), (Items{"Frame 0 (#1)", "Frame 1 (#2)"}));
        w.List(4)->setCurrentIndex(1);
        QCOMPARE(w.Scroll()->value(), 1);
        QCOMPARE(w.Shown(1, 0), PaletteColour(2));

        // Another object replaces the actions and empties the lists below; the image stays.
        w.List(1)->setCurrentIndex(1);
        QCOMPARE(w.Items(2), (Items{"Idle (1 directions)"}));
        QCOMPARE(w.List(3)->count() + w.List(4)->count(), 0);
        QCOMPARE(w.Label(), std::string("Viewing frame 2 of 6"));

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

    void frameOfUnknownImageShowsNothing() {
        TestWindow w;
        // An 8-bit name from the archive ("Caf" and Latin-1 e-acute).
        w.Load(SmallArchive(2, 0, {2, 99}, "Caf\xE9"));
        w.messages.clear();  // the loader's word about the unknown id
        w.List(1)->setCurrentIndex(0);
        QCOMPARE(w.Items(2), (Items{"Caf\xC3\xA9 (1 directions)"}));
        w.List(2)->setCurrentIndex(0);
        w.List(3)->setCurrentIndex(0);
        QCOMPARE(w.Items(4), (Items{"Frame 0 (#2)", "Frame 1 (#0)"}));
        w.List(4)->setCurrentIndex(0);
        QCOMPARE(w.Scroll()->value(), 1);
        w.List(4)->setCurrentIndex(1);
        QCOMPARE(w.Scroll()->value(), 1);  // not moved to image 0
        QCOMPARE(w.Shown(0, 0), kMagenta);
        QCOMPARE(w.messages.size(), std::size_t{0});
    }
};

QTEST_MAIN(BrowseTest)
#include "browse_test.moc"
