// Export > Export Animation...: the chosen direction, the same bytes as qxa anim writes.
#include <QTest>
#include <cstdlib>

#include "test_files.h"
#include "viewer_fixture.h"

using namespace pixhaul;
using namespace pixhaul::testing;

class AnimTest : public QObject {
    Q_OBJECT

  private slots:
    void writesWhatTheToolWrites() {
        TestWindow w;
        w.Load(StandardArchive());
        w.List(1)->setCurrentIndex(0);
        w.List(2)->setCurrentIndex(0);
        w.List(3)->setCurrentIndex(0);
        for (const char* name : {"walk.gif", "walk.webp", "walk.png"}) {
            w.fileAnswers.push_back(w.dir.File(std::string("window-") + name));
            w.Action("mnuExpAnim")->trigger();
            const std::string tool = w.dir.File(name);
            const std::string command = std::string("'") + PIXHAUL_QXA_BINARY + "' anim '" +
                                        w.dir.File("units.qxa") +
                                        "' --object 0 --action 0 --direction 0 -o '" + tool + "'";
            QCOMPARE(std::system((command + " >/dev/null").c_str()), 0);
            const auto bytes = ReadAll(tool);
            QVERIFY(bytes.size() > 8);
            QVERIFY(bytes == ReadAll(w.dir.File(std::string("window-") + name)));
        }
        w.fileAnswers.push_back(w.dir.File("walk.bmp"));  // not an animation format: told
        w.Action("mnuExpAnim")->trigger();
        QVERIFY(!w.messages.empty() && !std::filesystem::exists(w.dir.File("walk.bmp")));
    }
};

QTEST_MAIN(AnimTest)
#include "anim_test.moc"
