#include "view/export/figureanimation.h"

#include "engine/interpreter.h"
#include "figure/figuredescription.h"
#include "view/export/gifwriter.h"
#include "view/figurerenderer.h"
#include "view/imagerep.h"
#include "view/offscreencontext.h"
#include "view/viewgeometry.h"

#include <algorithm>
#include <cmath>
#include <memory>
#include <new>

namespace {

// Draws frames as a PNG export draws its picture, in an offscreen context of its own.
class FrameMaker
{
public:
    FrameMaker() = default;
    ~FrameMaker()
    {
        if (mReady && mContext.makeCurrent())
            mRenderer.releaseGL();
    }
    FrameMaker(const FrameMaker &) = delete;
    FrameMaker &operator=(const FrameMaker &) = delete;

    bool begin(const AnimationOptions &options, std::string *error)
    {
        if (!mContext.create(options.width, options.height, error))
            return false;
        mReady = true;
        mRenderer.setLineColor(options.lineColor);
        mRenderer.setBackgroundColor(options.backgroundColor);
        return true;
    }

    bool draw(const std::shared_ptr<const lsGeometry> &geometry,
              double spinDegrees,
              const FigureView &view,
              lsImageRep &frame,
              std::string *error)
    {
        if (!mContext.makeCurrent()) {
            *error = "the offscreen context cannot be made current";
            return false;
        }
        if (geometry != mRenderer.geometry())
            mRenderer.setGeometry(geometry);
        mRenderer.draw(mContext.width(), mContext.height(), spinDegrees, view);
        frame = captureImageRep(mContext.width(), mContext.height());
        if (frame.isNull()) {
            *error = "not enough memory to capture a frame";
            return false;
        }
        return true;
    }

private:
    OffscreenContext mContext;
    FigureRenderer mRenderer;
    bool mReady = false;
};

// The colour a component in 0-1 becomes in an 8-bit framebuffer.
GifWriter::Rgb eightBit(const std::array<double, 4> &color)
{
    GifWriter::Rgb rgb{};
    for (std::size_t c = 0; c < 3; ++c)
        rgb[c] = std::uint8_t(std::lround(std::clamp(color[c], 0.0, 1.0) * 255.0));
    return rgb;
}

bool cancelled(const AnimationControl &control)
{
    return control.cancel && control.cancel->load(std::memory_order_relaxed);
}

// The geometry of a figure as a picture of the animation's size shows it; null for a figure
// without an axiom (the background alone). Throws std::bad_alloc as FigurePass::source does.
bool geometryOf(const FigureResult &figure,
                const AnimationOptions &options,
                const FigureView &view,
                const AnimationControl &control,
                std::shared_ptr<lsGeometry> &geometry,
                std::string *error)
{
    geometry.reset();
    if (!figure.hasAxiom)
        return true;
    const std::unique_ptr<lsCommandSource> commands = figure.commands.source();
    commands->watch(control.cancel, {});
    auto built = std::make_shared<lsGeometry>();
    if (!buildViewGeometry(*figure.rules, *commands, options.width, options.height, *built, view)) {
        *error = commands->cancelled() ? "the export was stopped"
                                       : "not enough memory for the figure";
        return false;
    }
    geometry = std::move(built);
    return true;
}

// The frames, each handed to `add` as it is drawn.
class Frames
{
public:
    Frames(const FigureRequest &request,
           const FigureResult &figure,
           const AnimationOptions &options,
           const AnimationControl &control)
        : mRequest(request)
        , mFigure(figure)
        , mOptions(options)
        , mControl(control)
    { }

    int count() const
    {
        return mOptions.kind == AnimationKind::Turn ? mOptions.frames : std::max(mFigure.pass, 1);
    }

    template<typename Add>
    bool make(FrameMaker &maker, Add add, std::string *error)
    {
        return mOptions.kind == AnimationKind::Turn ? turn(maker, add, error)
                                                    : grow(maker, add, error);
    }

private:
    template<typename Add>
    bool turn(FrameMaker &maker, Add add, std::string *error)
    {
        FigureView view = mOptions.view;
        view.turnsFlat = true;
        std::shared_ptr<lsGeometry> geometry;
        if (!geometryOf(mFigure, mOptions, view, mControl, geometry, error))
            return false;
        lsImageRep frame;
        for (int k = 0; k < count(); ++k) {
            if (cancelled(mControl))
                return stopped(error);
            if (!maker.draw(geometry, turnFrameDegrees(mOptions.spinDegrees, k, count()), view,
                            frame, error)
                || !add(frame, k))
                return false;
        }
        return true;
    }

    template<typename Add>
    bool grow(FrameMaker &maker, Add add, std::string *error)
    {
        double lastBox[6] = { 0, 0, 0, 0, 0, 0 };
        if (mOptions.framing == GrowthFraming::Last && mFigure.hasAxiom) {
            const std::unique_ptr<lsCommandSource> commands = mFigure.commands.source();
            commands->watch(mControl.cancel, {});
            if (!lsMeasureString(*mFigure.rules, *commands, lastBox))
                return stopped(error);
        }
        lsImageRep frame;
        for (int pass = 1; pass <= count(); ++pass) {
            if (cancelled(mControl))
                return stopped(error);
            FigureResult earlier;
            const FigureResult *figure = &mFigure;
            if (pass < mFigure.pass) {
                FigureRequest request = mRequest;
                request.passes = pass;
                earlier = buildFigure(request, mControl.cancel);
                if (earlier.outcome == FigureOutcome::Cancelled)
                    return stopped(error);
                if (earlier.outcome != FigureOutcome::Complete || earlier.nothing) {
                    *error = "pass " + std::to_string(pass)
                             + " cannot be made: " + describeOutcome(earlier);
                    return false;
                }
                figure = &earlier;
            }
            std::shared_ptr<lsGeometry> geometry;
            if (!geometryOf(*figure, mOptions, mOptions.view, mControl, geometry, error))
                return false;
            if (geometry && mOptions.framing == GrowthFraming::Last)
                std::copy(lastBox, lastBox + 6, geometry->box); // framed as the last pass is
            if (!maker.draw(geometry, mOptions.spinDegrees, mOptions.view, frame, error)
                || !add(frame, pass - 1))
                return false;
        }
        return true;
    }

    static bool stopped(std::string *error)
    {
        *error = "the export was stopped";
        return false;
    }

    const FigureRequest &mRequest;
    const FigureResult &mFigure;
    const AnimationOptions &mOptions;
    const AnimationControl &mControl;
};

} // namespace

double turnFrameDegrees(double start, int index, int frames)
{
    return start + 360.0 * index / frames;
}

bool writeAnimation(const FigureRequest &request,
                    const FigureResult &figure,
                    const AnimationOptions &options,
                    const std::string &path,
                    std::string *error,
                    const AnimationControl &control)
{
    std::string cause;
    const auto fail = [&](const std::string &why) {
        if (error)
            *error = path + ": " + why;
        return false;
    };
    if (options.width < 1 || options.height < 1)
        return fail("the picture needs a size of at least 1 x 1 pixels");
    if (options.frames < 1 || options.frames > kMaxAnimationFrames)
        return fail("an animation has from 1 to " + std::to_string(kMaxAnimationFrames)
                    + " frames");
    if (figure.nothing || (figure.hasAxiom && figure.commands.isNull()))
        return fail("there is no figure to animate");

    Frames frames(request, figure, options, control);
    FrameMaker maker;
    if (!maker.begin(options, &cause))
        return fail("cannot draw without a display: " + cause);
    GifWriter gif;
    const int delay = std::clamp(int(std::lround(options.delayMs / 10.0)), kMinFrameDelayMs / 10,
                                 kMaxFrameDelayMs / 10);
    if (!gif.open(path, options.width, options.height, eightBit(options.backgroundColor),
                  eightBit(options.lineColor), delay, error))
        return false;
    std::string written; // why the GIF could not take a frame, naming the file
    const auto add = [&](const lsImageRep &frame, int index) {
        if (!gif.addFrame(frame, &written))
            return false;
        if (control.progress)
            control.progress(index + 1, frames.count());
        return true;
    };
    bool made = false;
    try {
        made = frames.make(maker, add, &cause);
    } catch (const std::bad_alloc &) {
        cause = "not enough memory for the figure";
    }
    if (!made) {
        gif.cancel();
        if (written.empty())
            return fail(cause);
        if (error)
            *error = written;
        return false;
    }
    return gif.commit(error);
}
