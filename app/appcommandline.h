#pragma once

#include <QString>
#include <QStringList>

// What `sprig` was asked to do on its command line.
struct AppCommandLine
{
    enum Status {
        Open,    // open files (none: an untitled document)
        Help,    // text holds the help
        Version, // text holds the version line
        Error,   // text holds the message; exit status 2
    };
    Status status = Open;
    QString text;
    QStringList files;
};

// Parses the arguments (arguments[0] is the program) left after Qt took its own (-platform,
// -style, ...). Anything starting with '-' is an option, never a file name; "--" ends the
// options, so that `sprig -- -odd-name.lsd` opens that file.
AppCommandLine parseAppCommandLine(const QStringList &arguments);
