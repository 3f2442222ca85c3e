// Esc while an export runs: the export stops with nothing written and the window is idle again.
#include <QTest>
#include <QTimer>
#include <filesystem>

#include "viewer_fixture.h"

using namespace pixhaul;
using namespace pixhaul::testing;

class CancelTest : public QObject {
    Q_OBJECT

  private slots:
    void escapeStopsAnExportWithNothingWritten() {
        TestWindow w;
        w.Load(StandardArchive());
        const std::string caption = w.Caption();
        const std::string out = w.dir.File("out");
        std::filesystem::create_directory(out);
        w.folderAnswer = out;
        w.Action("mnuExpTo")->trigger();  // the folder
        // The key press waits in the queue until the export lets the window process events,
        // which it does at its first step once the pumping interval has passed.
        QTest::qWait(50);
        bool pressedWhileBusy = false;
        QTimer::singleShot(0, w.form.get(), [&] {
            pressedWhileBusy = w.form->IsBusy();
            QTest::keyClick(w.form.get(), Qt::Key_Escape);
        });
        w.Action("mnuExpNow")->trigger();
        QVERIFY(pressedWhileBusy);
        QVERIFY(std::filesystem::is_empty(out));
        QVERIFY(!w.form->IsBusy());
        QCOMPARE(w.Caption(), caption);
        QVERIFY(w.messages.empty());
    }
};

QTEST_MAIN(CancelTest)
#include "cancel_test.moc"
