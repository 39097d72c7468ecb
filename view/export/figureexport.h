#pragma once

#include <array>
#include <string>

struct lsGeometry;
struct lsImageRep;

// Figure exports shared by the document window and sprig-render. Both writers go through a
// temporary file beside the target and rename it into place only when everything was written,
// so a failure never leaves a partial file or destroys an existing one. On failure they return
// false and, when error is given, say why in plain words (naming the file).

// Writes a captured picture (planar RGB, top row first) as an 8-bit RGB PNG.
bool writePng(const lsImageRep &image, const std::string &path, std::string *error);

// Writes the figure as SVG: every line strip becomes a <polyline>, projected with the same
// camera the renderer uses for a width x height picture at the given spin angle, stroked with
// the line colour (alpha as stroke-opacity, the renderer's line width) over an opaque
// rectangle of the background colour. Colours are RGBA in 0-1.
bool writeSvg(const lsGeometry &geometry,
              std::array<double, 4> line,
              std::array<double, 4> background,
              int width,
              int height,
              double spinDegrees,
              const std::string &path,
              std::string *error);
