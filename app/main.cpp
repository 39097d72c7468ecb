#include "app/appcommandline.h"
#include "app/lscontroller.h"
#include "app/startup.h"

#include <QApplication>
#include <QIcon>

#include <cstdio>

using namespace Qt::StringLiterals;

namespace {

void nameApplication()
{
    QCoreApplication::setApplicationName(u"Sprig"_s);
    QCoreApplication::setOrganizationName(u"Sprig"_s);
    QCoreApplication::setApplicationVersion(QStringLiteral(SPRIG_VERSION));
}

} // namespace

int main(int argc, char *argv[])
{
    {
        // Help and version are answered before the GUI starts, so they need no display.
        QCoreApplication console(argc, argv);
        nameApplication();
        const AppCommandLine line = parseAppCommandLine(QCoreApplication::arguments());
        if (line.status == AppCommandLine::Help || line.status == AppCommandLine::Version) {
            std::fputs(line.text.toLocal8Bit().constData(), stdout);
            return 0;
        }
    }

    // Must precede every widget: each figure view's context takes the default format.
    QSurfaceFormat::setDefaultFormat(defaultSurfaceFormat());
    QApplication app(argc, argv);
    nameApplication();
    // The desktop entry, so that the desktop groups the windows under it.
    QApplication::setDesktopFileName(u"io.github.sprig.Sprig"_s);
    QApplication::setWindowIcon(QIcon(u":/sprig/sprig.png"_s));
    // Only now are Qt's own options (-platform, -style, ...) taken out of the arguments; they
    // are read from argv so that file names that are not UTF-8 keep their bytes.
    const AppCommandLine line = parseAppCommandLine(commandLineArguments(argc, argv));
    if (line.status == AppCommandLine::Error) {
        std::fputs(line.text.toLocal8Bit().constData(), stderr);
        return 2;
    }

    LSController controller;
    controller.applicationDidFinishLaunching();
    controller.openFiles(line.files);
    return app.exec();
}
