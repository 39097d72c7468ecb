#pragma once

#include "view/figurecamera.h"

#include <array>
#include <cstddef>
#include <optional>
#include <string>

struct lsGeometry;

// The SVG export shared by the document window and sprig-render. It commits through a
// SafeFile: a failure never leaves a partial file or destroys an existing one, a symbolic link
// is written through to its target, whose permissions are kept, and a target that is not a
// regular file is refused. On failure it returns false and, when error is given, says why in
// plain words (naming the file), and on success *warning (when given) says what the file
// could not keep (SafeFile::warning()).

// SVG text grows with the figure's vertices, not with the picture; beyond this an export is
// refused (and any existing file kept) rather than filling the disk.
inline constexpr std::size_t kMaxSvgBytes = std::size_t(256) << 20;

// Writes the figure as SVG: every line strip becomes a <polyline>, projected with the same
// camera the renderer uses for a width x height picture at the given spin angle through the
// given view, stroked with
// the line colour (alpha as stroke-opacity, the renderer's line width) over an opaque
// rectangle of the background colour, or none for a transparent background. Colours are
// RGBA in 0-1.
[[nodiscard]] bool writeSvg(const lsGeometry &geometry,
                            std::array<double, 4> line,
                            std::optional<std::array<double, 4>> background,
                            int width,
                            int height,
                            double spinDegrees,
                            const FigureView &view,
                            const std::string &path,
                            std::string *error,
                            std::string *warning = nullptr);
