#include "session/figurepicture.h"

#include "figure/figuredescription.h"
#include "figure/figurerules.h"
#include "view/export/figureexport.h"
#include "view/export/modelexport.h"
#include "view/picturerenderer.h"
#include "view/pngwriter.h"
#include "view/tiffwriter.h"
#include "view/viewgeometry.h"

#include <new>

namespace {

// One picture's writing, in the way its format asks.
class PictureWriting
{
public:
    PictureWriting(const FigurePicture &picture,
                   const PictureSubject &subject,
                   const std::atomic<bool> &cancel,
                   lsCommandSource::Progress progress)
        : mPicture(picture)
        , mSubject(subject)
        , mFigure(*subject.figure)
        , mCancel(cancel)
        , mProgress(std::move(progress))
    {
        mTurtle.angle = radiansFromDegrees(subject.degrees);
    }

    PictureResult write()
    {
        switch (mPicture.format) {
        case FigurePicture::Png:
        case FigurePicture::Tiff:
            return finish(image());
        case FigurePicture::Svg:
            return finish(svg());
        case FigurePicture::Obj:
        case FigurePicture::Ply:
            return finish(model());
        case FigurePicture::Gif:
            return finish(animation());
        }
        return finish(false);
    }

    // The memory the picture needed could not be had. Its file, if one was begun, is
    // dropped: any file there before keeps its bytes.
    PictureResult outOfMemory()
    {
        mResult.error = "there is not enough memory to write the picture";
        return finish(false);
    }

private:
    PictureResult finish(bool written)
    {
        if (written)
            return mResult;
        mResult.outcome = mCancel ? PictureOutcome::Stopped : PictureOutcome::Failed;
        mResult.error = capitalized(mResult.error);
        if (!mResult.error.empty() && mResult.error.back() != '.')
            mResult.error += '.';
        return mResult;
    }

    // PNG and TIFF, drawn in tiles and written a band of rows at a time.
    bool image()
    {
        PictureRequest request;
        request.rules = &mTurtle;
        request.commands = &mFigure.commands;
        request.box = mSubject.box;
        request.geometry = mSubject.built;
        request.lineColor = mPicture.line;
        if (!mPicture.transparent || mPicture.format == FigurePicture::Tiff)
            request.background = mPicture.background;
        request.width = mPicture.width;
        request.height = mPicture.height;
        request.spinDegrees = mPicture.spinDegrees;
        request.view = mSubject.view;
        request.cancel = &mCancel;
        request.progress = mProgress;
        PngWriter png;
        TiffWriter tiff;
        PictureWriter &writer =
                mPicture.format == FigurePicture::Png ? static_cast<PictureWriter &>(png) : tiff;
        PictureRenderer renderer;
        if (!renderer.write(request, writer, mPicture.path, &mResult.error))
            return false;
        mResult.warning = writer.warning();
        return true;
    }

    bool svg()
    {
        std::shared_ptr<const lsGeometry> geometry = mSubject.built;
        if (!geometry)
            geometry = buildPassGeometry(mFigure.commands, mSubject.degrees, mPicture.width,
                                         mPicture.height, mSubject.view,
                                         mSubject.box ? mSubject.box->data() : nullptr, &mCancel,
                                         mProgress);
        if (mCancel)
            return false;
        if (!geometry) {
            mResult.error = describeBuildFailure(mFigure);
            return false;
        }
        std::optional<std::array<double, 4>> background;
        if (!mPicture.transparent)
            background = mPicture.background;
        return writeSvg(*geometry, mPicture.line, background, mPicture.width, mPicture.height,
                        mPicture.spinDegrees, mSubject.view, mPicture.path, &mResult.error,
                        &mResult.warning);
    }

    bool model()
    {
        if (!mFigure.hasAxiom) {
            mResult.error = "the document has no axiom: a model needs a figure";
            return false;
        }
        ModelOptions options;
        options.format =
                mPicture.format == FigurePicture::Obj ? ModelFormat::Obj : ModelFormat::Ply;
        options.tubeRadius = mPicture.tubeRadius;
        options.name = mPicture.name;
        options.pass = mFigure.pass;
        ModelControl control{ &mCancel, nullptr };
        if (mProgress)
            control.progress = [this](double fraction) {
                mProgress(std::uint64_t(fraction * 1000.0), 1000);
            };
        return writeModel(mTurtle, *mFigure.commands.source(), options, mPicture.path,
                          &mResult.error, control, &mResult.warning);
    }

    bool animation()
    {
        AnimationOptions options;
        options.kind = mPicture.animation;
        options.width = mPicture.width;
        options.height = mPicture.height;
        options.frames = mPicture.frames;
        options.delayMs = mPicture.delayMs;
        options.framing = mPicture.framing;
        options.spinDegrees = mPicture.spinDegrees;
        options.view = mSubject.view;
        options.lineColor = mPicture.line;
        options.backgroundColor = mPicture.background;
        AnimationControl control{ &mCancel, nullptr };
        if (mProgress)
            control.progress = [this](int done, int frames) {
                mProgress(std::uint64_t(done), std::uint64_t(frames));
            };
        return writeAnimation(mFigure, mSubject.degrees, options, mPicture.path, &mResult.error,
                              control, &mResult.warning);
    }

    const FigurePicture &mPicture;
    const PictureSubject &mSubject;
    const FigureResult &mFigure;
    const std::atomic<bool> &mCancel;
    lsCommandSource::Progress mProgress;
    lsRuleSet mTurtle; // the turning angle and step of the picture; no rules
    PictureResult mResult;
};

} // namespace

PictureResult writeFigurePicture(const FigurePicture &picture,
                                 const PictureSubject &subject,
                                 const std::atomic<bool> &cancel,
                                 lsCommandSource::Progress progress)
{
    PictureWriting job(picture, subject, cancel, std::move(progress));
    try {
        return job.write();
    } catch (const std::bad_alloc &) {
        return job.outOfMemory();
    }
}
