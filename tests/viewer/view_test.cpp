// The window's view settings, keys and the Options menu.
#include <QTest>

#include "bgr_to_rgb32.h"
#include "export/compose_image.h"
#include "viewer_fixture.h"

using namespace pixhaul;
using namespace pixhaul::testing;

namespace {

// One 64 x 48 palette image of 8 x 8 tiles, each tile its own palette entry.
constexpr int kTiledWidth = 64;
constexpr int kTiledHeight = 48;

std::uint32_t TileIndex(int x, int y) {
    return static_cast<std::uint32_t>(1 + x / 8 + 8 * (y / 8));
}
COLORREF EntryColour(int i) {
    return MakeColorRef(static_cast<std::uint8_t>(4 * i), static_cast<std::uint8_t>(0xFF - 4 * i),
                        0x80);
}
COLORREF TileColour(int x, int y) {
    return EntryColour(static_cast<int>(TileIndex(x, y)));
}

std::vector<std::uint8_t> TiledArchive() {
    ImageBlockSpec block;
    for (int i = 1; i < 64; ++i) block.palette[i] = EntryColour(i);
    block.images.push_back({7,
                            kTiledWidth,
                            kTiledHeight,
                            259,
                            {},
                            EncodeImage(259, kTiledWidth, kTiledHeight, TileIndex),
                            {}});
    DirectionSpec direction;
    direction.frames.push_back({0, 7});
    return ArchiveBuilder()
        .ImageBlock({})
        .ImageBlock(block)
        .Object({{{{direction}, "Tiles", {}, {}}}, {}})
        .Build();
}

void SendMouse(QWidget* to, QEvent::Type type, QPoint at, Qt::MouseButtons held) {
    QMouseEvent event(type, at, to->mapToGlobal(at), Qt::MiddleButton, held, Qt::NoModifier);
    QCoreApplication::sendEvent(to, &event);
}

}  // namespace

class ViewTest : public QObject {
    Q_OBJECT

  private slots:

    void cancelledColourDialogKeepsColour() {
        TestWindow w;
        w.Load(StandardArchive());
        w.colourAnswer.reset();
        w.Action("mnuTransparent")->trigger();
        QCOMPARE(w.form->Config().TransColor, COLORREF{0xFF00FF});
        QCOMPARE(w.Shown(0, 0), COLORREF{0xFF00FF});
        const COLORREF blue = MakeColorRef(0, 0, 255);
        w.colourAnswer = blue;
        w.Action("mnuTransparent")->trigger();
        QCOMPARE(w.form->Config().TransColor, blue);
        QCOMPARE(w.Shown(0, 0), blue);  // redrawn with the new colour (caching is off)
    }

    // A zoomed picture larger than the area gets scroll bars; the bars and a middle-button drag
    // show other parts of it, from the composed picture (no decode), and the view ends at the
    // picture's far edges.
    void zoomedPicturePans() {
        TestWindow w;
        w.Load(TiledArchive());
        w.form->Config().Zoom = 10;
        w.form->ShowImage(0);
        auto* box = w.form->Picture1();
        auto* across = w.Find<QScrollBar>("PictureHScroll");
        auto* down = w.Find<QScrollBar>("PictureVScroll");
        QVERIFY(!across->isHidden() && !down->isHidden());
        QCOMPARE(across->maximum(), 10 * kTiledWidth - box->Shown().width());
        QCOMPARE(down->maximum(), 10 * kTiledHeight - box->Shown().height());
        const std::int64_t decodes = w.form->Stats().decodes;

        const auto topLeftShows = [&](int x, int y) {
            return w.Shown(0, 0) == TileColour(x / 10, y / 10) &&
                   box->ScrollOffset() == QPoint(x, y);
        };
        // Zoomed in from 1x, the view keeps its centre on the picture's.
        const QImage& shown = box->Shown();
        QCOMPARE(w.Shown(shown.width() / 2, shown.height() / 2),
                 TileColour(kTiledWidth / 2, kTiledHeight / 2));
        across->setValue(0);
        down->setValue(100);
        QVERIFY(topLeftShows(0, 100));
        SendMouse(box, QEvent::MouseButtonPress, {200, 150}, Qt::MiddleButton);
        SendMouse(box, QEvent::MouseMove, {110, 140}, Qt::MiddleButton);
        SendMouse(box, QEvent::MouseButtonRelease, {110, 140}, Qt::NoButton);
        QVERIFY(topLeftShows(90, 110));
        down->setValue(down->maximum());
        across->setValue(across->maximum());
        QCOMPARE(w.Shown(shown.width() - 1, shown.height() - 1),
                 TileColour(kTiledWidth - 1, kTiledHeight - 1));
        QCOMPARE(w.form->Stats().decodes, decodes);
    }

    // The window picks the same source pixels at every zoom as the exports' stretch does.
    void displayMatchesTheExportStretch() {
        TestWindow w;
        w.Load(TiledArchive());
        const COLORREF trans = w.form->Config().TransColor;
        for (const double zoom : {0.5, 1.5, 2.5, 4.0, 10.0}) {
            w.form->Config().Zoom = zoom;
            w.form->ShowImage(0);
            // From the top-left corner: a picture larger than the area is cut at its right.
            for (const char* bar : {"PictureHScroll", "PictureVScroll"}) {
                w.Find<QScrollBar>(bar)->setValue(0);
            }
            const QImage& shown = w.form->Picture1()->Shown();
            Surface expected(shown.width(), shown.height());
            expected.Fill(trans);
            ComposeImage(w.form->Model(), 0, trans, *w.form, {&expected, 0, 0, zoom});
            for (int y = 0; y < shown.height(); ++y) {
                for (int x = 0; x < shown.width(); ++x) {
                    if (w.Shown(x, y) != expected.PixelAt(x, y)) QFAIL("the pixels differ");
                }
            }
        }
    }

    // A redraw as large as a maximised window's is written past the caches; every pixel still
    // shows the source pixel the stretch picks, wherever its row starts against a cache line,
    // and nothing right of the area is touched.
    void largeStretchPicksTheSourcePixels() {
        Surface source(64, 48);
        for (std::size_t i = 0; i < source.SizeBytes(); ++i) {
            source.MutableBits()[i] = static_cast<std::uint8_t>(i * 37 + i / 191);
        }
        constexpr int kWidth = 2001, kHeight = 1101, kLine = 2003;
        std::vector<std::uint32_t> pixels(kLine * kHeight, 0);
        const viewer::Rgb32Image image{reinterpret_cast<std::uint8_t*>(pixels.data()), kWidth,
                                       kHeight, kLine * 4};
        const int left = -37, top = -5, width = 64 * 40 + 3, height = 48 * 40 - 1;
        const PixelRect written = viewer::StretchToRgb32(source, image, left, top, width, height);
        QVERIFY(written.left == 0 && written.top == 0 && written.right == kWidth &&
                written.bottom == kHeight);
        for (int y = 0; y < kHeight; ++y) {
            for (int x = 0; x < kLine; ++x) {
                const COLORREF c = source.PixelAt((x - left) * 64 / width, (y - top) * 48 / height);
                const std::uint32_t want =
                    x < kWidth ? 0xFF000000u | RedOf(c) << 16 | GreenOf(c) << 8 | BlueOf(c) : 0;
                if (pixels[static_cast<std::size_t>(y) * kLine + x] != want) QFAIL("pixel differs");
            }
        }
    }

    // Fit: the largest zoom step at which the whole picture shows, without scroll bars.
    void fitShowsTheWholePicture() {
        TestWindow w;
        w.Load(TiledArchive());
        w.form->Config().Zoom = 10;
        w.Action("mnuZoomFit")->trigger();
        const double zoom = w.form->Config().Zoom;
        const QSize area = w.form->Picture1()->size();
        QVERIFY(zoom * kTiledWidth <= area.width() && zoom * kTiledHeight <= area.height());
        QVERIFY((zoom + 0.5) * kTiledWidth > area.width() ||
                (zoom + 0.5) * kTiledHeight > area.height());
        QVERIFY(w.Find<QScrollBar>("PictureHScroll")->isHidden());
        QVERIFY(w.Find<QScrollBar>("PictureVScroll")->isHidden());
        const int right = static_cast<int>(zoom * kTiledWidth) - 1;
        QCOMPARE(w.Shown(right, 0), TileColour(kTiledWidth - 1, 0));
        QCOMPARE(w.Shown(right + 1, 0), w.form->Config().TransColor);
    }
};

QTEST_MAIN(ViewTest)
#include "view_test.moc"
