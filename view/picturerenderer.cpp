#include "view/picturerenderer.h"

#include "view/offscreencontext.h"
#include "view/picturewriter.h"

PictureRenderer::PictureRenderer() = default;

PictureRenderer::~PictureRenderer()
{
    if (mContext && mContext->makeCurrent())
        mRenderer.releaseGL();
}

bool PictureRenderer::makeCurrent(int width, int height, std::string *error)
{
    std::string cause;
    if (!mContext) {
        auto context = std::make_unique<OffscreenContext>();
        if (!context->create(width, height, &cause)) {
            if (error)
                *error = "cannot draw without a display: " + cause;
            return false;
        }
        mContext = std::move(context);
    } else if (!mContext->makeCurrent()) {
        if (error)
            *error = "cannot draw: the offscreen context cannot be made current";
        return false;
    }
    return true;
}

lsImageRep PictureRenderer::render(std::shared_ptr<const lsGeometry> geometry,
                                   int width,
                                   int height,
                                   double spinDegrees,
                                   const FigureView &view,
                                   const std::array<double, 4> &line,
                                   const std::array<double, 4> &background,
                                   std::string *error)
{
    const auto fail = [error](std::string why) {
        if (error)
            *error = std::move(why);
        return lsImageRep();
    };
    std::string cause;
    if (!makeCurrent(width, height, error))
        return {};
    if ((mContext->width() != width || mContext->height() != height)
        && !mContext->resize(width, height, &cause))
        return fail("cannot draw a picture of " + std::to_string(width) + " \u00d7 "
                    + std::to_string(height) + " pixels: " + cause);
    mRenderer.setGeometry(std::move(geometry));
    mRenderer.setLineColor(line);
    mRenderer.setBackgroundColor(background);
    mRenderer.draw(width, height, spinDegrees, view);
    lsImageRep image = captureImageRep(width, height);
    if (image.isNull())
        return fail("there is not enough memory for a picture of " + std::to_string(width)
                    + " \u00d7 " + std::to_string(height) + " pixels");
    return image;
}

bool PictureRenderer::write(const PictureRequest &request,
                            PictureWriter &writer,
                            const std::string &path,
                            std::string *error,
                            std::array<double, 6> *box)
{
    // The tiles size the context as they need.
    return makeCurrent(1, 1, error)
           && writer.open(path, request.width, request.height, request.background ? 3 : 4, error)
           && drawTiledPicture(*mContext, mRenderer, request, writer, error, box)
           && writer.commit(error);
}
