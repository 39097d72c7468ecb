#include "view/export/figureanimation.h"

#include "figure/figurerules.h"
#include "view/export/gifwriter.h"
#include "view/picturerenderer.h"
#include "view/picturewriter.h"
#include "view/viewgeometry.h"

#include <algorithm>
#include <cmath>
#include <memory>
#include <new>

namespace {

// The colour a component in 0-1 becomes in an 8-bit framebuffer.
GifWriter::Rgb eightBit(const std::array<double, 4> &color)
{
    GifWriter::Rgb rgb{};
    for (std::size_t c = 0; c < 3; ++c)
        rgb[c] = std::uint8_t(std::lround(std::clamp(color[c], 0.0, 1.0) * 255.0));
    return rgb;
}

// Takes the rows of a frame that PictureRenderer draws (RGB, over the opaque background)
// into the GIF, whose failures it keeps apart from the drawing's.
class GifFrame final : public PictureWriter
{
public:
    explicit GifFrame(GifWriter &gif)
        : mGif(gif)
    { }

    bool open(const std::string &, int, int, int, std::string *error) override
    {
        return kept(mGif.beginFrame(&failure), error);
    }
    bool writeRow(const std::uint8_t *pixels, std::string *error) override
    {
        return kept(mGif.writeRow(pixels, &failure), error);
    }
    bool commit(std::string *) override { return true; }
    const std::string &warning() const override { return mGif.warning(); }

    std::string failure; // the GIF's, naming the file, once it failed

private:
    bool kept(bool ok, std::string *error) const
    {
        if (!ok && error)
            *error = failure;
        return ok;
    }

    GifWriter &mGif;
};

// The frames of one animation, drawn and added to the GIF one by one.
class Animation
{
public:
    Animation(const FigureResult &figure,
              double degrees,
              const AnimationOptions &options,
              const AnimationControl &control)
        : mFigure(figure)
        , mOptions(options)
        , mControl(control)
        , mFrame(mGif)
    {
        mTurtle.angle = radiansFromDegrees(degrees);
    }

    int count() const
    {
        return mOptions.kind == AnimationKind::Turn ? mOptions.frames : std::max(mFigure.pass, 1);
    }

    // Draws every frame into the GIF at path; false with the reason, naming the file, in
    // error.
    bool write(const std::string &path, std::string &error, std::string *warning)
    {
        if (!mGif.open(path, mOptions.width, mOptions.height, eightBit(mOptions.backgroundColor),
                       eightBit(mOptions.lineColor),
                       std::clamp(int(std::lround(mOptions.delayMs / 10.0)), kMinFrameDelayMs / 10,
                                  kMaxFrameDelayMs / 10),
                       &error))
            return false;
        std::string cause;
        if (!(mOptions.kind == AnimationKind::Turn ? turn(cause) : grow(cause))) {
            mGif.cancel();
            error = mFrame.failure.empty() ? path + ": " + cause : mFrame.failure;
            return false;
        }
        if (!mGif.commit(&error))
            return false;
        if (warning)
            *warning = mGif.warning();
        return true;
    }

private:
    bool cancelled() const
    {
        return mControl.cancel && mControl.cancel->load(std::memory_order_relaxed);
    }

    bool stopped(std::string &cause) const
    {
        cause = "the export was stopped";
        return false;
    }

    // The geometry of `pass` as a picture of the animation's size shows it through `view`,
    // framed by `frame` (null: its own box), which then becomes its box; null, saying why in
    // cause, when it was stopped or its memory could not be had.
    std::shared_ptr<lsGeometry> build(const FigurePass &pass,
                                      const FigureView &view,
                                      const double *frame,
                                      std::string &cause) const
    {
        auto geometry = std::make_shared<lsGeometry>();
        if (buildViewGeometry(pass, mTurtle.angle, mTurtle.step, mOptions.width, mOptions.height,
                              *geometry, view, frame, mControl.cancel)) {
            if (frame)
                std::copy(frame, frame + 6, geometry->box);
            return geometry;
        }
        if (cancelled())
            stopped(cause);
        else
            cause = "not enough memory for the figure";
        return nullptr;
    }

    // Draws a frame of `pass` (null: the background only), or of `geometry` when it is
    // built already, and adds it to the GIF.
    bool frame(const FigurePass *pass,
               std::shared_ptr<const lsGeometry> geometry,
               double spinDegrees,
               const FigureView &view,
               std::string &cause)
    {
        if (cancelled())
            return stopped(cause);
        PictureRequest request;
        request.rules = &mTurtle;
        request.commands = pass;
        request.geometry = std::move(geometry);
        request.lineColor = mOptions.lineColor;
        request.background = mOptions.backgroundColor;
        request.width = mOptions.width;
        request.height = mOptions.height;
        request.spinDegrees = spinDegrees;
        request.view = view;
        request.cancel = mControl.cancel;
        std::string why;
        if (!mRenderer.write(request, mFrame, std::string(), &why)) {
            if (cancelled())
                return stopped(cause);
            cause = why; // unless the GIF failed, which says so itself
            return false;
        }
        ++mDone;
        if (mControl.progress)
            mControl.progress(mDone, count());
        return true;
    }

    const FigurePass *commands(const FigurePass &pass) const
    {
        return mFigure.hasAxiom ? &pass : nullptr;
    }

    bool turn(std::string &cause)
    {
        FigureView view = mOptions.view;
        view.turnsFlat = true;
        std::shared_ptr<lsGeometry> geometry;
        if (mFigure.hasAxiom && !(geometry = build(mFigure.commands, view, nullptr, cause)))
            return false;
        for (int k = 0; k < count(); ++k) {
            if (!frame(nullptr, geometry, turnFrameDegrees(mOptions.spinDegrees, k, count()), view,
                       cause))
                return false;
        }
        return true;
    }

    bool grow(std::string &cause)
    {
        const bool framedAsLast = mOptions.framing == GrowthFraming::Last && mFigure.hasAxiom;
        // The last pass frames every other: built first, for its box.
        std::shared_ptr<lsGeometry> last;
        if (framedAsLast && !(last = build(mFigure.commands, mOptions.view, nullptr, cause)))
            return false;
        for (int pass = 1; pass <= count(); ++pass) {
            const FigurePass earlier =
                    pass < mFigure.pass ? mFigure.commands.earlier(pass) : FigurePass();
            const FigurePass &commands = pass < mFigure.pass ? earlier : mFigure.commands;
            std::shared_ptr<lsGeometry> geometry = pass < mFigure.pass ? nullptr : last;
            if (framedAsLast && !geometry) {
                if (!(geometry = build(commands, mOptions.view, last->box, cause)))
                    return false;
            }
            if (!frame(this->commands(commands), std::move(geometry), mOptions.spinDegrees,
                       mOptions.view, cause))
                return false;
        }
        return true;
    }

    const FigureResult &mFigure;
    const AnimationOptions &mOptions;
    const AnimationControl &mControl;
    lsRuleSet mTurtle; // the turning angle and step; no rules
    PictureRenderer mRenderer;
    GifWriter mGif;
    GifFrame mFrame;
    int mDone = 0;
};

} // namespace

double turnFrameDegrees(double start, int index, int frames)
{
    return start + 360.0 * index / frames;
}

bool writeAnimation(const FigureResult &figure,
                    double degrees,
                    const AnimationOptions &options,
                    const std::string &path,
                    std::string *error,
                    const AnimationControl &control,
                    std::string *warning)
{
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

    try {
        std::string failure;
        if (Animation(figure, degrees, options, control).write(path, failure, warning))
            return true;
        if (error)
            *error = failure;
        return false;
    } catch (const std::bad_alloc &) {
        return fail("not enough memory for the figure");
    }
}
