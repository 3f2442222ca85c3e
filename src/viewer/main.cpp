// pixhaul: the viewer window. `pixhaul FILE.qxa` opens the archive once the window shows.
#include <QApplication>
#include <QIcon>
#include <QTimer>
#include <cstring>
#include <iostream>
#include <string>

#include "form1.h"
#include "pixhaul_version.h"

int main(int argc, char** argv) {
    // Answered before Qt starts, so it works without a display.
    if (argc == 2 && std::strcmp(argv[1], "--version") == 0) {
        std::cout << "pixhaul " PIXHAUL_VERSION "\n";
        return 0;
    }
    QApplication app(argc, argv);
    QApplication::setApplicationName("Pixhaul");
    QApplication::setWindowIcon(QIcon::fromTheme("pixhaul"));

    QApplication::setOrganizationName("Pixhaul");

    pixhaul::viewer::Form1 window;
    window.RestorePreferences();
    QObject::connect(&app, &QApplication::aboutToQuit, &window,
                     [&window] { window.SavePreferences(); });
    window.show();
    window.activateWindow();
    const QStringList arguments = QApplication::arguments();
    if (arguments.size() > 1) {
        const std::string path = arguments.at(1).toLocal8Bit().toStdString();
        QTimer::singleShot(0, &window, [&window, path] { window.OpenArchive(path); });
    }
    return QApplication::exec();
}
