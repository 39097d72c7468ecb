#pragma once

#include <QString>
#include <QSurfaceFormat>

// Where the application's resources (the demos directory) are, given the directory holding the
// executable: the installed share/sprig beside the executable's bin/ when it exists (so an
// installed tree can be moved as a whole), else the source tree the build came from.
QString resourcePath(const QString &applicationDirPath);

// The demos directory of the running program.
QString demosDirectory();

// The OpenGL format every figure view needs: a compatibility profile (the figure is drawn with
// the fixed-function pipeline) and a depth buffer. Set as the default before any widget exists.
QSurfaceFormat defaultSurfaceFormat();
