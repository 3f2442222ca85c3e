// The window's view settings, keys and the Options menu.
#include <QTest>

#include "viewer_fixture.h"

using namespace pixhaul;
using namespace pixhaul::testing;

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
};

QTEST_MAIN(ViewTest)
#include "view_test.moc"
