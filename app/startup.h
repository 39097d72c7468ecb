#pragma once

#include <QString>
#include <QStringList>
#include <QSurfaceFormat>

// Where the application's resources (the demos directory) are, given the directory holding the
// executable: the installed share/sprig beside the executable's bin/ when it exists (so an
// installed tree can be moved as a whole), else the source tree the build came from.
QString resourcePath(const QString &applicationDirPath);

// The demos directory of the running program.
QString demosDirectory();

// argv as strings from which every file name given returns to its bytes (see filename.h), even
// a name that is not UTF-8.
QStringList commandLineArguments(int argc, char *argv[]);

// The OpenGL format every figure view needs: a compatibility profile (the figure is drawn with
// the fixed-function pipeline) and a depth buffer. Set as the default before any widget exists.
QSurfaceFormat defaultSurfaceFormat();
