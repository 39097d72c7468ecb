#pragma once

#include "figure/figurepipeline.h"
#include "view/figurecamera.h"

#include <array>
#include <atomic>
#include <functional>
#include <string>

// Figures as animated GIFs: one full turn, or the figure growing pass by pass. Every frame is
// drawn by PictureRenderer, as a PNG export is drawn, so a frame shows the pixels of the
// picture made with the same numbers (within the GIF's palette). No Qt: the window runs it
// on a thread of its own.

enum class AnimationKind {
    Turn,   // one full turn about the vertical axis, in equal steps
    Growth, // passes 1 to the pass shown, a frame each
};

// How a growing figure is framed.
enum class GrowthFraming {
    Last, // every pass as the last is framed: the figure grows in place
    Each, // every pass framed alone, as a picture of that pass
};

inline constexpr int kMaxAnimationFrames = 1000;
// GIF keeps a frame's time in hundredths of a second, up to 65535; browsers show frames
// faster than 20 ms at 100 ms.
inline constexpr int kMinFrameDelayMs = 20;
inline constexpr int kMaxFrameDelayMs = 655350;

struct AnimationOptions
{
    AnimationKind kind = AnimationKind::Turn;
    int width = 256;
    int height = 256;
    int frames = 36; // of a turn; a growth has one per pass
    int delayMs = 100;
    GrowthFraming framing = GrowthFraming::Last;
    double spinDegrees = 0.0; // where a turn starts; the angle of every frame of a growth
    FigureView view;
    std::array<double, 4> lineColor{ 1.0, 1.0, 1.0, 1.0 }; // RGBA in 0-1
    std::array<double, 4> backgroundColor{ 0.0, 0.0, 0.0, 1.0 };
};

// Cancellation and progress; either may be empty. progress hears the frames done and the
// frames in all, on the calling thread.
struct AnimationControl
{
    const std::atomic<bool> *cancel = nullptr;
    std::function<void(int done, int frames)> progress;
};

// The spin of frame `index` of a turn of `frames` frames starting at `start` degrees.
double turnFrameDegrees(double start, int index, int frames);

// Writes the animation of `figure` turning by `degrees` (a growth streams the passes before
// the one it shows), as a GIF through a SafeFile: a failure, a cancellation or a GIF past
// GifWriter::maxBytes leaves any existing file as it was. A turn turns a flat figure too,
// about the vertical axis through its box centre. False on failure, saying why in *error
// (when given), naming the file; on success *warning (when given) says what the file could
// not keep (SafeFile::warning()).
[[nodiscard]] bool writeAnimation(const FigureResult &figure,
                                  double degrees,
                                  const AnimationOptions &options,
                                  const std::string &path,
                                  std::string *error,
                                  const AnimationControl &control = {},
                                  std::string *warning = nullptr);
