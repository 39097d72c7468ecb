// sprig-render: renders, converts and inspects L-system documents without a display.

#include "cli/commandline.h"
#include "cli/sprigrender.h"

#include <QCoreApplication>

#include <unistd.h>

#include <cstdio>
#include <iostream>

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("sprig-render"));
    QCoreApplication::setApplicationVersion(QStringLiteral(SPRIG_VERSION));

    const sprig::ParseResult parsed =
            sprig::parseCommandLine(sprig::commandLineArguments(argc, argv));
    switch (parsed.status) {
    case sprig::ParseResult::Help:
    case sprig::ParseResult::Version:
        std::cout << parsed.text.toStdString() << '\n';
        return sprig::ExitSuccess;
    case sprig::ParseResult::Error:
        std::cerr << "sprig-render: " << parsed.text.toStdString()
                  << "\nTry 'sprig-render --help'.\n";
        return sprig::ExitBadArguments;
    case sprig::ParseResult::Ok:
        break;
    }
    return sprig::runSprigRender(parsed.options, std::cout, std::cerr, isatty(STDERR_FILENO) != 0);
}
