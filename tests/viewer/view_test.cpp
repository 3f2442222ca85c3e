// The window's view settings, keys and the Options menu.
#include <QTest>

#include "viewer_fixture.h"

using namespace pixhaul;
using namespace pixhaul::testing;

class ViewTest : public QObject {
    Q_OBJECT

  private slots:

    // The display repaints only what changed: a smaller image after a larger one must leave
    // nothing of the larger one behind, and a new background colour reaches every pixel.
    void displayShowsOnlyTheCurrentImage() {
        TestWindow w;
        w.Load(StandardArchive());
        for (int i = 0; i < 6; ++i) w.Action("mnuZoomIn")->trigger();  // zoom 4
        w.Scroll()->setValue(2);                                       // 3 x 4 -> 12 x 16
        QCOMPARE(w.Shown(2, 10), PaletteColour(3));
        QCOMPARE(w.Shown(11, 15), PaletteColour(3));
        QCOMPARE(w.Shown(12, 15), w.form->Config().TransColor);
        w.Scroll()->setValue(4);  // 6 x 1 -> 24 x 4
        QCOMPARE(w.Shown(20, 2), PaletteColour(5));
        QCOMPARE(w.Shown(2, 10), w.form->Config().TransColor);
        QCOMPARE(w.Shown(0, 0), w.form->Config().TransColor);  // black shows the colour
        w.colourAnswer = 0x00FF0000;
        w.Action("mnuTransparent")->trigger();
        QCOMPARE(w.Shown(2, 10), COLORREF{0x00FF0000});
        QCOMPARE(w.Shown(w.form->Picture1()->width() - 1, w.form->Picture1()->height() - 1),
                 COLORREF{0x00FF0000});
    }

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

    void purgeQuestionOnlyWhenCachingGoesOffWithArchive() {
        TestWindow w;
        w.Opt(7)->trigger();
        w.Opt(7)->trigger();  // off again, nothing loaded: no question
        QCOMPARE(w.messages.size(), std::size_t{0});
        w.Load(StandardArchive());
        w.Opt(7)->trigger();
        w.Scroll()->setValue(1);
        w.Scroll()->setValue(2);
        const ArchiveModel& model = w.form->Model();
        w.yesNoAnswer = MessageResult::No;
        w.Opt(7)->trigger();
        QCOMPARE(w.messages.size(), std::size_t{1});
        QCOMPARE(w.messages[0].title, std::string("Caching disabled"));
        QVERIFY(w.messages[0].buttons == MessageButtons::YesNo);
        QVERIFY(!w.Opt(7)->isChecked());
        QVERIFY(model.ImageBitmap(1).IsRendered() && model.ImageBitmap(2).IsRendered());
        w.Opt(7)->trigger();
        w.yesNoAnswer = MessageResult::Yes;
        w.Opt(7)->trigger();
        for (std::size_t i = 0; i < model.Images.size(); ++i) QVERIFY(!model.ImageBitmap(i).IsRendered());
        w.Opt(3)->trigger();  // other options ask nothing
        QCOMPARE(w.messages.size(), std::size_t{2});
    }

    void thumbnailsOptionEnablesHiddenMode() {
        TestWindow w;
        w.Opt(0)->trigger();
        w.Load(StandardArchive());
        QVERIFY(w.Mode(0)->property(viewer::kItemEnabledProperty).toBool());
        QVERIFY(!w.Mode(0)->isVisible());
        QCOMPARE(w.Scroll()->maximum(), 6);  // the thumbnail comes first
        w.Action("mnuUnload")->trigger();
        QVERIFY(!w.Mode(0)->property(viewer::kItemEnabledProperty).toBool());
    }
};

QTEST_MAIN(ViewTest)
#include "view_test.moc"
