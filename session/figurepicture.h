#pragma once

#include "figure/figurepipeline.h"
#include "view/figurecamera.h"

#include <array>
#include <atomic>
#include <memory>
#include <string>

struct lsGeometry;

// A picture of a figure to write to a file: the window's snapshot and exports.
struct FigurePicture
{
    enum Format {
        Png,
        Tiff,
        Svg,
    };
    Format format = Png;
    std::string path; // as the system needs it (encodeFileName)
    int width = 0;    // pixels (an SVG's nominal size)
    int height = 0;
    // PNG and SVG: no background; where lines let the background through, it shows.
    bool transparent = false;
    double spinDegrees = 0.0;
    std::array<double, 4> line{}; // RGBA in 0-1
    std::array<double, 4> background{};
};

enum class PictureOutcome {
    Written,
    Failed,  // error says why; any file there before keeps its bytes
    Stopped, // cancelled before anything was written
};

// Writes a picture of the pass `figure` shows, turned by `degrees`, through `view`: the one
// function that draws the window's exports and snapshots. The geometry is built for the
// picture's size unless `built` (may be null) already is; box, when known, saves a walk.
// Polls cancel between chunks and before writing; progress (may be empty) hears the walks.
// Runs on any thread: its drawing context is its own.
PictureOutcome writeFigurePicture(const FigurePicture &picture,
                                  const FigureResult &figure,
                                  double degrees,
                                  const FigureView &view,
                                  const double *box,
                                  std::shared_ptr<const lsGeometry> built,
                                  const std::atomic<bool> &cancel,
                                  lsCommandSource::Progress progress,
                                  std::string &error);
