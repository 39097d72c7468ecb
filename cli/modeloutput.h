#pragma once

#include "figure/figurepipeline.h"

#include <QString>

#include <string>

namespace sprig {

struct RenderOptions;

// Writes the figure as the 3D model the options ask for (OBJ or PLY, polylines or tubes),
// named `name` in the file. False, with the message in *error, when it cannot be written;
// *warning says what a file written could not keep.
bool writeModelOutput(const FigureResult &figure,
                      const RenderOptions &options,
                      const QString &name,
                      const std::string &path,
                      QString *error,
                      std::string *warning);

} // namespace sprig
