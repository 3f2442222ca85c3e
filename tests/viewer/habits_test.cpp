// The window's faults mended, the state it reports, and its keyboard, zoom, playback and
// recent-file habits.
#include <QApplication>
#include <QDialog>
#include <QDir>
#include <QLabel>
#include <QMenu>
#include <QProgressBar>
#include <QSettings>
#include <QSpinBox>
#include <QTest>
#include <QTimer>
#include <QToolButton>
#include <QWheelEvent>

#include "test_files.h"
#include "viewer_fixture.h"

using namespace pixhaul;
using namespace pixhaul::testing;

namespace {

// Six 2 x 2 images of ids 1..6, one direction over all of them and then over `unknown` ids
// 100.. the archive does not hold; `corrupt` has a stream cut short and `empty` none at all.
std::vector<std::uint8_t> SixImages(int corrupt, int empty, int unknown = 0) {
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
    for (int id = 100; id < 100 + unknown; ++id) direction.frames.push_back({0, id});
    ObjectSpec object;
    object.actions.push_back({{direction}, "", {}, {}});
    return ArchiveBuilder().ImageBlock({}).ImageBlock(block).Object(object).Build();
}

void SelectDirection(TestWindow& w) {
    for (int list = 1; list <= 3; ++list) w.List(list)->setCurrentIndex(0);
}

void ExportToTheTempFolder(TestWindow& w) {
    w.folderAnswer = w.dir.Path();
    w.Action("mnuExpTo")->trigger();
}

bool Holds(const Picture& picture, std::uint32_t rgb) {
    for (std::uint32_t i = 0; i < picture.width * picture.height; ++i)
        if (picture.At(i % picture.width, i / picture.width) == rgb) return true;
    return false;
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

    // A sequence without pixels writes nothing and keeps a good sheet of its name; among good
    // images an empty one takes no place; with nothing loaded there is nothing to export.
    void sequenceOfEmptyImagesWritesNothing() {
        TestWindow w;
        w.Load(SixImages(-1, 2));
        ExportToTheTempFolder(w);
        w.Mode(7)->trigger();
        const auto add = [&w](int image) {
            w.Scroll()->setValue(image);
            w.Find<QToolButton>("Command5")->click();
        };
        const std::string sheet = w.dir.File("Sequence.bmp");
        WriteFile(sheet, {'B', 'M'});
        add(2);
        add(2);
        w.Action("mnuExpNow")->trigger();
        QVERIFY(!w.messages.empty() && w.messages.back().text.starts_with("Nothing to export"));
        QCOMPARE(ReadAll(sheet).size(), std::size_t{2});
        QVERIFY(!Exists(w.dir.File("Sequence.dat")));
        add(3);
        w.Action("mnuExpNow")->trigger();
        QCOMPARE(ReadPicture(sheet).width, 2u);  // image 3 alone
        w.Action("mnuUnload")->trigger();
        QVERIFY(!w.Action("mnuExpNow")->isEnabled() && !w.Action("mnuExpAs")->isEnabled());
    }

    // Export As asks about the sheet and the table it writes, not about the name typed.
    void exportAsAsksAboutTheFilesWritten() {
        TestWindow w;
        w.Load(StandardArchive());
        for (const char* name : {"hero.bmp", "hero.dat"}) WriteFile(w.dir.File(name), {1, 2, 3});
        w.fileAnswers.push_back(w.dir.File("hero.png"));
        w.replaceAnswer = MessageResult::No;
        w.Action("mnuExpAs")->trigger();
        QVERIFY(!w.fileDialogs.back().confirmOverwrite);
        QCOMPARE(w.replaceQuestions.size(), std::size_t{1});
        const std::string& asked = w.replaceQuestions[0];
        QVERIFY2(asked.find(w.dir.File("hero.bmp")) != std::string::npos &&
                     asked.find(w.dir.File("hero.dat")) != std::string::npos &&
                     asked.find("hero.png") == std::string::npos,
                 asked.c_str());
        QCOMPARE(ReadAll(w.dir.File("hero.bmp")).size(), std::size_t{3});
    }

    // With cached renders, a new transparent colour leaves no pixel of the old one on the
    // screen or in a sheet.
    void newTransparentColourReachesCachedImages() {
        TestWindow w;
        w.Action("mnuOpt_7")->trigger();  // Cache rendered images
        w.Load(StandardArchive());
        for (int image = 5; image >= 0; --image) w.Scroll()->setValue(image);
        const COLORREF green = MakeColorRef(0, 255, 0);
        w.colourAnswer = green;
        w.Action("mnuTransparent")->trigger();
        QCOMPARE(w.Shown(0, 0), green);
        ExportToTheTempFolder(w);
        w.Action("mnuExpNow")->trigger();  // all objects
        const Picture sheet = ReadPicture(w.dir.File("units.bmp"));
        QVERIFY(Holds(sheet, 0x00FF00) && !Holds(sheet, 0xFF00FF));
    }

    // A damaged archive: one box whose details name every problem with its offset, and no
    // progress bar left part-way.
    void damagedArchiveListsEveryProblem() {
        TestWindow w;
        w.Load(SixImages(-1, -1, 3));
        QCOMPARE(w.messages.size(), std::size_t{1});
        const QStringList lines =
            QString::fromStdString(w.messages[0].details).split('\n', Qt::SkipEmptyParts);
        QCOMPARE(lines.size(), 3);
        for (int i = 0; i < 3; ++i)
            QVERIFY(lines[i].contains(QString("id %1,").arg(100 + i)) &&
                    lines[i].contains("byte offset"));
        const auto* bar = w.Find<QProgressBar>("Progress");
        QVERIFY(bar->isHidden() || bar->value() == bar->maximum());
    }

    // Left/Right and the page keys move the scroll bar; Up/Down step the frames of the chosen
    // direction (images 0 and 1), wrapping. The focus is on a list that would take them itself.
    void browsingKeys_data() {
        QTest::addColumn<bool>("direction");
        QTest::addColumn<int>("start");
        QTest::addColumn<int>("key");
        QTest::addColumn<int>("presses");
        QTest::addColumn<int>("value");
        QTest::newRow("right") << false << 3 << int(Qt::Key_Right) << 1 << 4;
        QTest::newRow("left") << false << 3 << int(Qt::Key_Left) << 1 << 2;
        QTest::newRow("left at 0") << false << 0 << int(Qt::Key_Left) << 1 << 0;
        QTest::newRow("page down") << false << 1 << int(Qt::Key_PageDown) << 1 << 5;
        QTest::newRow("page up") << false << 4 << int(Qt::Key_PageUp) << 1 << 0;
        QTest::newRow("home") << false << 4 << int(Qt::Key_Home) << 1 << 0;
        QTest::newRow("end") << false << 1 << int(Qt::Key_End) << 1 << 5;
        QTest::newRow("down, no direction") << false << 3 << int(Qt::Key_Down) << 1 << 3;
        QTest::newRow("down twice") << true << 3 << int(Qt::Key_Down) << 2 << 1;
        QTest::newRow("down wraps") << true << 3 << int(Qt::Key_Down) << 3 << 0;
        QTest::newRow("up from none: last") << true << 3 << int(Qt::Key_Up) << 1 << 1;
        QTest::newRow("up wraps") << true << 3 << int(Qt::Key_Up) << 3 << 1;
    }
    void browsingKeys() {
        QFETCH(bool, direction);
        QFETCH(int, start);
        QFETCH(int, key);
        QFETCH(int, presses);
        TestWindow w;
        w.Load(StandardArchive());
        if (direction) SelectDirection(w);
        w.Scroll()->setValue(start);
        w.List(1)->setFocus();
        for (int i = 0; i < presses; ++i) QTest::keyClick(w.List(1), static_cast<Qt::Key>(key));
        QTEST(w.Scroll()->value(), "value");
    }

    // Control with =, +, -, 0 and the wheel zoom in steps within the limits; the keypad's plus
    // and minus keep zooming, and the wheel alone does not.
    void zoomKeys_data() {
        QTest::addColumn<double>("start");
        QTest::addColumn<int>("key");  // 0: one notch of the wheel, up (wheel > 0) or down
        QTest::addColumn<int>("wheel");
        QTest::addColumn<int>("modifiers");
        QTest::addColumn<double>("zoom");
        const int ctrl = Qt::ControlModifier;
        const int keypad = Qt::KeypadModifier;
        QTest::newRow("ctrl =") << 1.0 << int(Qt::Key_Equal) << 0 << ctrl << 1.5;
        QTest::newRow("ctrl +") << 1.0 << int(Qt::Key_Plus) << 0 << ctrl << 1.5;
        QTest::newRow("ctrl = at most")
            << viewer::kMaxZoom << int(Qt::Key_Equal) << 0 << ctrl << viewer::kMaxZoom;
        QTest::newRow("ctrl -") << 2.0 << int(Qt::Key_Minus) << 0 << ctrl << 1.5;
        QTest::newRow("ctrl - at least") << 0.5 << int(Qt::Key_Minus) << 0 << ctrl << 0.5;
        QTest::newRow("ctrl 0") << 3.0 << int(Qt::Key_0) << 0 << ctrl << 1.0;
        QTest::newRow("ctrl wheel up") << 1.0 << 0 << 120 << ctrl << 1.5;
        QTest::newRow("ctrl wheel down") << 1.0 << 0 << -120 << ctrl << 0.5;
        QTest::newRow("wheel alone") << 1.0 << 0 << 120 << 0 << 1.0;
        QTest::newRow("keypad +") << 1.0 << int(Qt::Key_Plus) << 0 << keypad << 1.5;
        QTest::newRow("keypad -") << 1.0 << int(Qt::Key_Minus) << 0 << keypad << 0.5;
    }
    void zoomKeys() {
        QFETCH(double, start);
        QFETCH(int, key);
        QFETCH(int, wheel);
        QFETCH(int, modifiers);
        TestWindow w;
        w.Load(StandardArchive());
        w.form->Config().Zoom = start;
        const auto held = Qt::KeyboardModifiers::fromInt(modifiers);
        w.List(1)->setFocus();
        if (key != 0) {
            QTest::keyClick(w.List(1), static_cast<Qt::Key>(key), held);
        } else {
            QWheelEvent notch(QPointF(5, 5), QPointF(5, 5), {}, QPoint(0, wheel), Qt::NoButton,
                              held, Qt::NoScrollPhase, false);
            QApplication::sendEvent(w.form->Picture1(), &notch);
        }
        QTEST(w.form->Config().Zoom, "zoom");
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

    // File > Recent Files: newest first, a reopened archive moves to the top, the last eight,
    // only archives that loaded; kept between runs and reopened from the menu.
    void recentFiles_data() {
        QTest::addColumn<QStringList>("opened");
        QTest::addColumn<QStringList>("listed");
        QTest::newRow("newest first") << QStringList{"a", "b", "c"} << QStringList{"c", "b", "a"};
        QTest::newRow("reopened to the top")
            << QStringList{"a", "b", "c", "a"} << QStringList{"a", "c", "b"};
        QTest::newRow("last eight") << QStringList{"0", "1", "2", "3", "4", "5", "6", "7", "8", "9"}
                                    << QStringList{"9", "8", "7", "6", "5", "4", "3", "2"};
        QTest::newRow("failed load") << QStringList{"a", "bad"} << QStringList{"a"};
    }
    void recentFiles() {
        QFETCH(QStringList, opened);
        QFETCH(QStringList, listed);
        TestWindow w;
        QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope,  // not the user's
                           QString::fromStdString(w.dir.Path()));
        const auto path = [&w](const QString& name) { return w.dir.File(name.toStdString()); };
        for (const QString& name : opened) {
            WriteFile(path(name), name == "bad" ? std::vector<std::uint8_t>(9) : StandardArchive());
            w.form->OpenArchive(path(name));
        }
        QStringList expected;
        for (const QString& name : listed)
            expected << QString("&%1 %2").arg(expected.size() + 1).arg(path(name).c_str());
        const auto menu = [](const TestWindow& window) {
            QStringList texts;
            for (QAction* item : window.Find<QMenu>("mnuRecent")->actions()) texts << item->text();
            return texts;
        };
        QCOMPARE(menu(w), expected);

        w.form->SavePreferences();
        TestWindow next;  // the next run
        next.form->RestorePreferences();
        QCOMPARE(menu(next), expected);
        next.Find<QMenu>("mnuRecent")->actions().back()->trigger();
        QCOMPARE(next.Caption(), "Pixhaul: " + path(listed.back()));
        QCOMPARE(menu(next).front(), "&1 " + QString::fromStdString(path(listed.back())));
    }

    // One size, one layout from the first showing on; a relative path is named in full.
    void startUpLayoutAndFullPath() {
        TestWindow w;
        const auto layout = [&w] {
            QList<QRect> geometries;
            for (const QWidget* child : w.form->findChildren<QWidget*>())
                if (child->isVisible()) geometries << child->geometry();
            return geometries;
        };
        const QList<QRect> start = layout();
        const QSize size = w.form->size();
        w.form->resize(size + QSize(90, 70));
        QTRY_VERIFY(layout() != start);
        w.form->resize(size);
        QTRY_COMPARE(layout(), start);

        WriteFile(w.dir.File("rel.qxa"), StandardArchive());
        const QString before = QDir::currentPath();
        QDir::setCurrent(QString::fromStdString(w.dir.Path()));
        w.form->OpenArchive("rel.qxa");
        QDir::setCurrent(before);
        QCOMPARE(w.Caption(), "Pixhaul: " + w.dir.File("rel.qxa"));
        // The image's line, cut off in a window this narrow, can still be read whole.
        const auto* info = w.form->findChild<QLabel*>("InfoLine");
        QVERIFY(info->text().contains("frames (object/action/direction/frame): 0/0/0/0"));
        QCOMPARE(info->toolTip(), info->text());
    }
};

QTEST_MAIN(HabitsTest)
#include "habits_test.moc"
