#include "app/appcommandline.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QFileInfo>

AppCommandLine parseAppCommandLine(const QStringList &arguments)
{
    QCommandLineParser parser;
    parser.setApplicationDescription(
            QCoreApplication::translate("main", "Edit L-systems and watch them grow."));
    // Own options rather than addHelpOption(), whose --help-all would open a window.
    const QCommandLineOption help({ QStringLiteral("h"), QStringLiteral("help") },
                                  QCoreApplication::translate("main", "Show this help."));
    const QCommandLineOption version({ QStringLiteral("v"), QStringLiteral("version") },
                                     QCoreApplication::translate("main", "Show the version."));
    parser.addOptions({ help, version });
    parser.addPositionalArgument(QStringLiteral("files"),
                                 QCoreApplication::translate("main", "L-system documents to open."),
                                 QStringLiteral("[FILE.lsd ...]"));

    AppCommandLine result;
    const bool parsed = parser.parse(arguments);
    // Help and version answer even beside a mistake, as most programs do.
    if (parser.isSet(help)) {
        result.status = AppCommandLine::Help;
        result.text = parser.helpText();
    } else if (parser.isSet(version)) {
        result.status = AppCommandLine::Version;
        result.text = QStringLiteral("%1 %2\n").arg(QCoreApplication::applicationName(),
                                                    QCoreApplication::applicationVersion());
    } else if (!parsed) {
        result.status = AppCommandLine::Error;
        result.text = QCoreApplication::translate("main", "%1\nTry \u201c%2 --help\u201d.\n")
                              .arg(parser.errorText(), QFileInfo(arguments.value(0)).fileName());
    } else {
        result.files = parser.positionalArguments();
    }
    return result;
}
