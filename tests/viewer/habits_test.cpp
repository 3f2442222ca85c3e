// The window's faults mended, the state it reports, and its keyboard, zoom, playback and
// recent-file habits.
#include <QDialog>
#include <QDir>
#include <QLabel>
#include <QMenu>
#include <QSpinBox>
#include <QTest>
#include <QTimer>
#include <QWheelEvent>

#include "export/sheet_export.h"
#include "test_files.h"
#include "viewer_fixture.h"

using namespace pixhaul;
using namespace pixhaul::testing;

namespace {

// Six 2 x 2 images of ids 1..6, one direction over all of them; `corrupt` has a stream cut
// short and `empty` none at all.
std::vector<std::uint8_t> SixImages(int corrupt, int empty) {
    ImageBlockSpec block;
    block.palette[1] = 0x0000FF;
    for (int i = 0; i < 6; ++i) {
        std::vector<std::uint8_t> stream = EncodeImage(259, 2, 2, [](int, int) { return 1u; });
        if (i == corrupt) stream = {0x84, 1, 2};
        if (i == empty) stream.clear();
        block.images.push_back({i + 1, 2, 2, 259, {}, stream, {}});
    }
    DirectionSpec direction;
    for (int id = 1; id <= 6; ++id) direction.frames.push_back({0, id});
    ObjectSpec object;
    object.actions.push_back({{direction}, "", {}, {}});
    return ArchiveBuilder().ImageBlock({}).ImageBlock(block).Object(object).Build();
}

void SelectDirection(TestWindow& w) {
    for (int list = 1; list <= 3; ++list) w.List(list)->setCurrentIndex(0);
}

}  // namespace

class HabitsTest : public QObject {
    Q_OBJECT

  private slots:
    // A held arrow must not keep stepping under the corruption box: one click, one step.
    void arrowOntoCorruptImageStepsOnce() {
        TestWindow w;
        w.Load(SixImages(1, -1));
        w.onMessage = [] {
            QDialog box;
            QTimer::singleShot(900, &box, &QDialog::accept);  // longer than the repeat delay
            box.exec();
        };
        QScrollBar* bar = w.Scroll();
        const QPoint rightArrow(bar->width() - 3, bar->height() / 2);
        QTest::mousePress(bar, Qt::LeftButton, {}, rightArrow);
        QTest::qWait(700);
        QTest::mouseRelease(bar, Qt::LeftButton, {}, rightArrow);
        QCOMPARE(bar->value(), 1);
        QCOMPARE(w.messages.size(), std::size_t{1});
        QCOMPARE(w.Label(), std::string("Viewing frame 2 of 6"));
    }

    void browsingKeys_data() {
        QTest::addColumn<int>("start");
        QTest::addColumn<int>("key");
        QTest::addColumn<int>("value");
        QTest::newRow("right") << 3 << int(Qt::Key_Right) << 4;
        QTest::newRow("left") << 3 << int(Qt::Key_Left) << 2;
        QTest::newRow("left at 0") << 0 << int(Qt::Key_Left) << 0;
        QTest::newRow("page down") << 1 << int(Qt::Key_PageDown) << 5;
        QTest::newRow("page up") << 4 << int(Qt::Key_PageUp) << 0;
        QTest::newRow("home") << 4 << int(Qt::Key_Home) << 0;
        QTest::newRow("end") << 1 << int(Qt::Key_End) << 5;
    }

    void playbackStepsFramesAndStopsOnUnload() {
        TestWindow w;
        w.Load(StandardArchive());
        w.Find<QSpinBox>("PlaybackFps")->setValue(50);
        QTest::keyClick(w.form.get(), Qt::Key_Space);
        QVERIFY(!w.form->IsPlaying());  // no direction chosen
        SelectDirection(w);
        QTest::keyClick(w.form.get(), Qt::Key_Space);
        QVERIFY(w.form->IsPlaying());
        QTRY_COMPARE(w.Scroll()->value(), 1);  // frame 1 shows image 1
        QTRY_COMPARE(w.Scroll()->value(), 0);  // and round again
        w.Action("mnuUnload")->trigger();
        QVERIFY(!w.form->IsPlaying());
    }
};

QTEST_MAIN(HabitsTest)
#include "habits_test.moc"
