#include "app/lscontroller.h"
#include "app/startup.h"

#include <QApplication>
#include <QIcon>

using namespace Qt::StringLiterals;

int main(int argc, char *argv[])
{
    // Must precede every widget: each figure view's context takes the default format.
    QSurfaceFormat::setDefaultFormat(defaultSurfaceFormat());
    QApplication app(argc, argv);
    QApplication::setApplicationName(u"Sprig"_s);
    QApplication::setOrganizationName(u"Sprig"_s);
    QApplication::setApplicationVersion(QStringLiteral(SPRIG_VERSION));
    QApplication::setDesktopFileName(u"sprig"_s);
    QApplication::setWindowIcon(QIcon(u":/sprig/sprig.png"_s));

    LSController controller;
    controller.applicationDidFinishLaunching();
    controller.openFiles(QApplication::arguments().mid(1));
    return app.exec();
}
