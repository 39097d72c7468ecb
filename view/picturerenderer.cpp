#include "view/picturerenderer.h"

#include "view/offscreencontext.h"

PictureRenderer::PictureRenderer() = default;

PictureRenderer::~PictureRenderer()
{
    if (mContext && mContext->makeCurrent())
        mRenderer.releaseGL();
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
    if (!mContext) {
        auto context = std::make_unique<OffscreenContext>();
        if (!context->create(width, height, &cause))
            return fail("cannot draw without a display: " + cause);
        mContext = std::move(context);
    } else if (!mContext->makeCurrent()) {
        return fail("cannot draw: the offscreen context cannot be made current");
    }
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
