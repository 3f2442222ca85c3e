// The window's menus, view settings, keys, layout and the Options menu.
#include <QMenu>
#include <QMenuBar>
#include <QTest>

#include "twips.h"
#include "viewer_fixture.h"

using namespace pixhaul;
using namespace pixhaul::testing;

namespace {

struct ItemState {
    std::string caption;
    bool shown;
    bool checked;
    bool enabled;
    bool operator==(const ItemState&) const = default;
};

std::vector<ItemState> MenuItems(const TestWindow& w, const char* menuName) {
    std::vector<ItemState> items;
    for (QAction* action : w.Find<QMenu>(menuName)->actions()) {
        const std::string caption =
            action->isSeparator() ? "-" : action->text().toUtf8().toStdString();
        items.push_back({caption, action->isVisible(), action->isChecked(), action->isEnabled()});
    }
    return items;
}

}  // namespace

namespace QTest {
template <>
char* toString(const std::vector<ItemState>& items) {
    QByteArray text;
    for (const ItemState& item : items) {
        text += QByteArray::fromStdString(item.caption) + (item.shown ? " shown" : " hidden") +
                (item.checked ? " checked" : "") + (item.enabled ? "" : " disabled") + "; ";
    }
    return qstrdup(text.constData());
}
}  // namespace QTest

class ViewTest : public QObject {
    Q_OBJECT

  private slots:
    void menusStartAsDesigned() {
        TestWindow w;
        QStringList titles;
        for (QAction* menu : w.form->menuBar()->actions()) titles << menu->text();
        QCOMPARE(titles, (QStringList{"&File", "&View", "&Options", "E&xport"}));
        QCOMPARE(MenuItems(w, "mnuFile"), (std::vector<ItemState>{
                                              {"&Load QXA", true, false, true},
                                              {"&Unload QXA", true, false, true},
                                              {"-", true, false, true},
                                              {"E&xit", true, false, true},
                                          }));
        QCOMPARE(MenuItems(w, "mnuView"), (std::vector<ItemState>{
                                              {"Set Transparent Color...", true, false, true},
                                              {"Zoom In (+0.5x)", true, false, true},
                                              {"Zoom Out (-0.5x)", true, false, true},
                                          }));
        QCOMPARE(MenuItems(w, "mnuOptions"),
                 (std::vector<ItemState>{
                     {"Load Thumnails && Icons", true, false, true},
                     {"Auto Filenames", false, true, false},
                     {"Seperate file for each object", false, false, false},
                     {"Generate lookup table (DAT)", true, true, true},
                     {"Remove duplicate frames from sequences", true, true, true},
                     {"Detect and remove \"mirror image\" frames", false, false, false},
                     {"Optomize frame layout", false, false, false},
                     {"Cache rendered images", true, false, true},
                 }));
        QCOMPARE(MenuItems(w, "mnuExport"), (std::vector<ItemState>{
                                                {"E&xport now", true, false, true},
                                                {"Export &As...", true, false, true},
                                                {"Export &To...", true, false, true},
                                                {"-", true, false, true},
                                                {"Export to SIF... (Beta)", true, false, true},
                                                {"-", true, false, true},
                                                {"All Thumbnails && Icons", false, false, false},
                                                {"All Objects", true, true, true},
                                                {"Selected Object", true, false, true},
                                                {"Selected Action", true, false, true},
                                                {"Selected Direction", true, false, true},
                                                {"Selected Frame", false, false, false},
                                                {"Displayed Image", true, false, true},
                                                {"From List...", true, false, true},
                                            }));
        QCOMPARE(w.form->Config().ExportMode, std::int16_t{1});
        QCOMPARE(w.form->Config().Zoom, 1.0);
        QCOMPARE(w.form->Config().TransColor, COLORREF{0xFF00FF});
        QVERIFY(w.form->Config().ExportFolder.ends_with('/'));
        QCOMPARE(w.Find<QWidget>("Picture1")->toolTip(),
                 QString(" Drag & Drop QXA files here to load them "));
    }

    void zoomStopsAtItsLimits() {
        TestWindow w;
        w.Action("mnuZoomIn")->trigger();
        QCOMPARE(w.Label(), std::string("Zoom: 1.5x"));
        for (int i = 0; i < 20; ++i) w.Action("mnuZoomIn")->trigger();
        QCOMPARE(w.form->Config().Zoom, 10.0);
        QCOMPARE(w.Label(), std::string("Zoom: 10.0x"));
        for (int i = 0; i < 25; ++i) w.Action("mnuZoomOut")->trigger();
        QCOMPARE(w.form->Config().Zoom, 0.5);
        QCOMPARE(w.Label(), std::string("Zoom: 0.5x"));
    }

    // The display repaints only what changed: a smaller image after a larger one must leave
    // nothing of the larger one behind, and a new background colour reaches every pixel.
    void displayShowsOnlyTheCurrentImage() {
        TestWindow w;
        w.Load(StandardArchive());
        for (int i = 0; i < 6; ++i) w.Action("mnuZoomIn")->trigger();  // zoom 4
        w.Scroll()->setValue(2);  // 3 x 4 -> 12 x 16
        QCOMPARE(w.Shown(2, 10), PaletteColour(3));
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

    void onlyKeypadPlusAndMinusZoom() {
        TestWindow w;
        w.Load(StandardArchive());
        QWidget* focus = w.List(1);  // keys reach the window whichever control has the focus
        focus->setFocus();
        QTest::keyRelease(focus, Qt::Key_Plus, Qt::KeypadModifier);
        QCOMPARE(w.form->Config().Zoom, 1.5);
        QCOMPARE(w.Label(), std::string("Zoom: 1.5x"));
        for (Qt::Key key : {Qt::Key_Plus, Qt::Key_Minus, Qt::Key_Equal, Qt::Key_Asterisk}) {
            QTest::keyRelease(focus, key, Qt::NoModifier);
            QTest::keyRelease(w.form.get(), key, Qt::NoModifier);
        }
        QTest::keyRelease(w.form.get(), Qt::Key_Asterisk, Qt::KeypadModifier);
        QTest::keyRelease(w.form.get(), Qt::Key_5, Qt::KeypadModifier);
        QCOMPARE(w.form->Config().Zoom, 1.5);
        QTest::keyRelease(w.Scroll(), Qt::Key_Minus, Qt::KeypadModifier);
        QTest::keyRelease(w.Scroll(), Qt::Key_Minus, Qt::KeypadModifier);
        QCOMPARE(w.form->Config().Zoom, 0.5);
        // Pressing alone does nothing: the step is taken when the key comes up.
        QTest::keyPress(w.form.get(), Qt::Key_Plus, Qt::KeypadModifier);
        QCOMPARE(w.form->Config().Zoom, 0.5);
    }

    void resizeSnapsToMinimumAndMovesControls() {
        TestWindow w;
        viewer::Form1& form = *w.form;
        form.resize(100, 80);
        QTRY_VERIFY(form.width() >= form.Px(9000));
        QVERIFY(form.height() >= form.Px(5200));

        form.resize(form.Px(12000), form.Px(8000));
        QTRY_COMPARE(form.width(), form.Px(12000));
        const int W = viewer::PixelsToTwips(form.frameGeometry().width(), form.logicalDpiX());
        QCOMPARE(w.Find<QWidget>("ListFrame")->x(), form.Px(W - 2670));
        QWidget* picture = w.Find<QWidget>("Picture1");
        QCOMPARE(picture->x(), form.Px(120));
        QCOMPARE(picture->y(), form.Px(480));
        QCOMPARE(picture->width(), form.Px(W - 3045));
        QVERIFY(picture->height() > 0);
        QVERIFY(picture->geometry().bottom() < form.centralWidget()->height());
        QWidget* line = w.Find<QWidget>("Line1");
        QCOMPARE(line->geometry().center().x(), form.Px(W - 2790));
        QWidget* list4 = w.List(4);
        QCOMPARE(w.Find<QWidget>("Picture3")->y(), list4->y() + list4->height() + form.Px(20));
    }

    void maximizedShowsTheCompliment() {
        TestWindow w;
        QLabel* label2 = w.Find<QLabel>("Label2");
        QCOMPARE(label2->text(), QString("Hey, nice monitor ya got there!"));
        QVERIFY(label2->isHidden());
        w.form->showMaximized();
        QTRY_VERIFY(!label2->isHidden());
        w.form->showNormal();
        QTRY_VERIFY(label2->isHidden());
        w.form->showMinimized();
        QTRY_VERIFY(w.form->isMinimized());
        QVERIFY(label2->isHidden());
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
        QCOMPARE(w.form->Picture1()->BackColor(), blue);
        QCOMPARE(w.Shown(0, 0), blue);  // redrawn with the new colour (caching is off)
    }

    void purgeQuestionOnlyWhenCachingGoesOffWithArchive() {
        TestWindow w;
        w.Opt(7)->trigger();
        w.Opt(7)->trigger();  // off again, nothing loaded: no question
        QCOMPARE(w.messages.size(), std::size_t{0});
        QVERIFY(!w.Opt(7)->isChecked());

        w.Load(StandardArchive());
        w.Opt(7)->trigger();
        QCOMPARE(w.messages.size(), std::size_t{0});
        w.Scroll()->setValue(1);
        w.Scroll()->setValue(2);
        const ArchiveModel& model = w.form->Model();
        QVERIFY(model.ImageBitmap(1).IsRendered() && model.ImageBitmap(2).IsRendered());

        w.yesNoAnswer = MessageResult::No;
        w.Opt(7)->trigger();
        QCOMPARE(w.messages.size(), std::size_t{1});
        const ShownMessage& question = w.messages[0];
        QCOMPARE(question.text, std::string("Would you like to purge all cached data?\r\n"
                                            "(See readme for what this means!)"));
        QCOMPARE(question.title, std::string("Caching disabled"));
        QVERIFY(question.icon == MessageIcon::Question);
        QVERIFY(question.buttons == MessageButtons::YesNo);
        QVERIFY(!w.Opt(7)->isChecked());
        QVERIFY(model.ImageBitmap(1).IsRendered() && model.ImageBitmap(2).IsRendered());

        w.Opt(7)->trigger();
        w.yesNoAnswer = MessageResult::Yes;
        w.Opt(7)->trigger();
        QCOMPARE(w.messages.size(), std::size_t{2});
        for (std::size_t i = 0; i < model.Images.size(); ++i) {
            QVERIFY(!model.ImageBitmap(i).IsRendered());
        }
        // Other options ask nothing either way.
        w.Opt(3)->trigger();
        w.Opt(3)->trigger();
        QCOMPARE(w.messages.size(), std::size_t{2});
    }

    void thumbnailsOptionEnablesHiddenMode() {
        TestWindow w;
        w.Opt(0)->trigger();
        w.Load(StandardArchive());
        QVERIFY(w.Mode(0)->property(viewer::kItemEnabledProperty).toBool());
        QVERIFY(!w.Mode(0)->isVisible());
        QCOMPARE(w.Scroll()->maximum(), 6);  // the thumbnail comes first
        w.List(1)->setCurrentIndex(0);
        w.List(2)->setCurrentIndex(0);
        w.List(3)->setCurrentIndex(0);
        QCOMPARE(w.Items(4), (std::vector<std::string>{"Frame 0 (#2)", "Frame 1 (#3)"}));
        w.Action("mnuUnload")->trigger();
        QVERIFY(!w.Mode(0)->property(viewer::kItemEnabledProperty).toBool());
    }
};

QTEST_MAIN(ViewTest)
#include "view_test.moc"
