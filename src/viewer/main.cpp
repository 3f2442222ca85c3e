// pixhaul: the viewer window. `pixhaul FILE.qxa` opens the archive once the window shows.
#include <QApplication>
#include <QIcon>
#include <QTimer>
#include <string>

#include "form1.h"

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    QApplication::setApplicationName("Pixhaul");
    QApplication::setWindowIcon(QIcon::fromTheme("pixhaul"));

    pixhaul::viewer::Form1 window;
    window.show();
    window.activateWindow();
    const QStringList arguments = QApplication::arguments();
    if (arguments.size() > 1) {
        const std::string path = arguments.at(1).toLocal8Bit().toStdString();
        QTimer::singleShot(0, &window, [&window, path] { window.OpenArchive(path); });
    }
    return QApplication::exec();
}
