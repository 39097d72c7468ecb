#include "view/picturerenderer.h"

#include "view/offscreencontext.h"
#include "view/picturewriter.h"

PictureRenderer::PictureRenderer() = default;

PictureRenderer::~PictureRenderer()
{
    if (mContext && mContext->makeCurrent())
        mRenderer.releaseGL();
}

bool PictureRenderer::makeCurrent(std::string *error)
{
    std::string cause;
    if (!mContext) {
        auto context = std::make_unique<OffscreenContext>();
        // The tiles size its framebuffer as they need.
        if (!context->create(1, 1, &cause)) {
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

bool PictureRenderer::write(const PictureRequest &request,
                            PictureWriter &writer,
                            const std::string &path,
                            std::string *error,
                            std::array<double, 6> *box)
{
    return makeCurrent(error)
           && writer.open(path, request.width, request.height, request.background ? 3 : 4, error)
           && drawTiledPicture(*mContext, mRenderer, request, writer, error, box)
           && writer.commit(error);
}
