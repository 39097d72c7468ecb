#pragma once

#include "view/figurerenderer.h"
#include "view/tiledpicture.h"

#include <array>
#include <memory>
#include <string>

class OffscreenContext;
class PictureWriter;

// Draws pictures of figures without any window system (OffscreenContext), the way the view
// draws its frames, so that the same numbers give the same pixels: the window's exports and
// snapshots and sprig-render's pictures. Its context is made on the first picture and belongs
// to the thread that draws it: make, use and destroy a PictureRenderer on one thread.
class PictureRenderer
{
public:
    PictureRenderer();
    ~PictureRenderer();
    PictureRenderer(const PictureRenderer &) = delete;
    PictureRenderer &operator=(const PictureRenderer &) = delete;

    // Draws the picture the request asks for in tiles and writes it to path through the
    // writer, a band of rows at a time (drawTiledPicture): pictures of any size a format
    // holds, in memory that follows a band. False with the reason in *error (may be null);
    // *box (may be null) gets the figure's box.
    [[nodiscard]] bool write(const PictureRequest &request,
                             PictureWriter &writer,
                             const std::string &path,
                             std::string *error,
                             std::array<double, 6> *box = nullptr);

private:
    // Makes the context current, creating it the first time.
    bool makeCurrent(std::string *error);

    std::unique_ptr<OffscreenContext> mContext;
    FigureRenderer mRenderer;
};
