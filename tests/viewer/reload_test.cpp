// An archive changed on disk while it was open: the window exports nothing and offers to reload.
#include <QTest>
#include <filesystem>

#include "archive/archive.h"
#include "viewer_fixture.h"

using namespace pixhaul;
using namespace pixhaul::testing;

class ReloadTest : public QObject {
    Q_OBJECT

  private slots:
    void exportOfAChangedArchiveOffersToReload() {
        TestWindow w;
        const std::string path = w.Load(StandardArchive());
        w.folderAnswer = w.dir.File("out");
        std::filesystem::create_directory(w.folderAnswer);
        w.Action("mnuExpTo")->trigger();
        std::vector<std::uint8_t> grown = StandardArchive();
        grown.resize(grown.size() + 100);
        WriteFile(path, grown);

        w.yesNoAnswer = MessageResult::Yes;
        w.Action("mnuExpNow")->trigger();
        QCOMPARE(w.messages.size(), std::size_t{1});
        QVERIFY(w.messages[0].text.find("changed on disk") != std::string::npos);
        QVERIFY(w.messages[0].buttons == MessageButtons::YesNo);
        QVERIFY(std::filesystem::is_empty(w.folderAnswer));
        QCOMPARE(w.form->Model().File->Size(), grown.size());  // reloaded
        QVERIFY(!ArchiveChangedOnDisk(w.form->Model()));
    }
};

QTEST_MAIN(ReloadTest)
#include "reload_test.moc"
