#pragma once

#include "figure/figurepipeline.h"
#include "view/export/figureanimation.h"
#include "view/figurecamera.h"

#include <array>
#include <atomic>
#include <memory>
#include <optional>
#include <string>

struct lsGeometry;

// A file to write of a figure: the window's snapshot and exports.
struct FigurePicture
{
    enum Format {
        Png,
        Tiff,
        Svg,
        Obj, // a 3D model: polylines, or tubes around them
        Ply,
        Gif, // an animation
    };
    Format format = Png;
    std::string path; // as the system needs it (encodeFileName)
    int width = 0;    // pixels (an SVG's nominal size, a GIF's frames); none for a model
    int height = 0;
    // PNG and SVG: no background; where lines let the background through, it shows.
    bool transparent = false;
    double spinDegrees = 0.0;
    std::array<double, 4> line{}; // RGBA in 0-1
    std::array<double, 4> background{};

    // A model's.
    double tubeRadius = 0.0; // 0: polylines
    std::string name;        // the figure's, in the file (UTF-8)

    // An animation's.
    AnimationKind animation = AnimationKind::Turn;
    int frames = 36; // of a turn; a growth has one per pass
    int delayMs = 100;
    GrowthFraming framing = GrowthFraming::Last;
};

// What a picture shows: a figure turned by `degrees` through `view`, and what is known of
// it already.
struct PictureSubject
{
    std::shared_ptr<const FigureResult> figure;
    double degrees = 0.0;
    FigureView view;
    std::optional<std::array<double, 6>> box; // saves a walk
    // Built for the picture's size through the view (the window's): drawn as it is.
    std::shared_ptr<const lsGeometry> built;
};

enum class PictureOutcome {
    Written,
    Failed,  // error says why; any file there before keeps its bytes
    Stopped, // cancelled before anything was written
};

struct PictureResult
{
    PictureOutcome outcome = PictureOutcome::Written;
    std::string error;   // a sentence, when it failed
    std::string warning; // what the file written could not keep (SafeFile::warning()), or ""
};

// Writes the picture of the subject: the one function that draws the window's exports and
// snapshots, pictures through the renderer sprig-render uses (in tiles, in memory that
// follows a band of rows whatever the size). Polls cancel between chunks, frames and
// walks, and before writing. progress (may be empty) hears how far it got: of a picture the
// symbols its walks have done of a pass, of an animation its frames, of a model its
// thousandths. Runs on any thread: its drawing context is its own.
PictureResult writeFigurePicture(const FigurePicture &picture,
                                 const PictureSubject &subject,
                                 const std::atomic<bool> &cancel,
                                 lsCommandSource::Progress progress);
