#include "view/tiledpicture.h"

#include "view/figurerenderer.h"
#include "view/imagerep.h"
#include "view/offscreencontext.h"
#include "view/picturewriter.h"
#include "view/viewgeometry.h"

#include <GL/gl.h>

#include <algorithm>
#include <cstdio>
#include <memory>
#include <new>
#include <vector>

namespace {

// Pixels a tile draws beyond its sides toward its neighbours (and a band builds beyond its
// rows): more than a line reaches past its centre (half its width of 2, the pixel of its
// smoothing, and the half pixel by which merging may move a vertex), so that a line just
// outside a tile lights the tile's pixels as it lights them in a whole picture.
constexpr int kTileMargin = 4;

class TiledPicture
{
public:
    TiledPicture(OffscreenContext &context,
                 FigureRenderer &renderer,
                 const PictureRequest &request,
                 PictureWriter &writer)
        : mContext(context)
        , mRenderer(renderer)
        , mRequest(request)
        , mWriter(writer)
        , mDrawings(request.background ? 1 : 2)
    { }

    bool draw(std::string *error, std::array<double, 6> *box);

private:
    bool fail(const std::string &reason)
    {
        mFailure = reason;
        return false;
    }
    bool cancelled() const
    {
        return mRequest.cancel && mRequest.cancel->load(std::memory_order_relaxed);
    }
    bool buildWhole(int bandRows);
    bool drawBuiltBands(int top, int rows);
    bool drawBand(int top, int rows, std::shared_ptr<const lsGeometry> geometry);

    OffscreenContext &mContext;
    FigureRenderer &mRenderer;
    const PictureRequest &mRequest;
    PictureWriter &mWriter;
    const int mDrawings; // per tile: over the background, or over black and over white
    int mTileWidth = 0;
    std::unique_ptr<lsCommandSource> mSource;
    std::array<double, 6> mBox{};
    std::shared_ptr<const lsGeometry> mWhole; // the whole picture's geometry, when it fits
    std::vector<std::uint8_t> mBands[2];      // a band's rows, bottom first, per drawing
    std::vector<std::uint8_t> mRow;           // a row with alpha
    std::string mFailure;
    std::string mWriterError;
};

// The geometry of the whole picture, as the window builds it, when it keeps at most the
// request's vertices (any number when the picture is one band); otherwise only the box.
bool TiledPicture::buildWhole(int bandRows)
{
    const lsRuleSet &rules = *mRequest.rules;
    auto geometry = std::make_shared<lsGeometry>();
    const std::uint64_t limit = bandRows >= mRequest.height ? UINT64_MAX : mRequest.maxVertices;
    const double *known = mRequest.box ? mRequest.box->data() : nullptr;
    if (buildViewGeometry(*mRequest.commands, rules.angle, rules.step, mRequest.width,
                          mRequest.height, *geometry, mRequest.view, known, mRequest.cancel,
                          mRequest.progress, limit, mRequest.spinDegrees)) {
        std::copy(geometry->box, geometry->box + 6, mBox.begin());
        mWhole = std::move(geometry);
        return true;
    }
    if (cancelled())
        return fail("stopped");
    if (limit == UINT64_MAX)
        return fail("there is not enough memory for the figure");
    const lsUnitTable::Made units = mRequest.commands->units(rules.angle, rules.step);
    if (known) {
        std::copy(known, known + 6, mBox.begin());
    } else if (units.table) {
        std::copy(units.table->box(), units.table->box() + 6, mBox.begin());
    } else {
        mSource->rewind();
        if (!lsMeasureString(rules, *mSource, mBox.data()))
            return fail("stopped");
    }
    // Only a flat figure can be built a band at a time; one with depth is built whole.
    if (mBox[lsMaxZ] != mBox[lsMinZ]) {
        geometry = std::make_shared<lsGeometry>();
        if (!buildViewGeometry(*mRequest.commands, rules.angle, rules.step, mRequest.width,
                               mRequest.height, *geometry, mRequest.view, mBox.data(),
                               mRequest.cancel, mRequest.progress, UINT64_MAX,
                               mRequest.spinDegrees))
            return fail(cancelled() ? "stopped" : "there is not enough memory for the figure");
        mWhole = std::move(geometry);
    }
    return true;
}

// Rows [top, top + rows) of a flat figure too large to build whole, from what reaches
// them; a band whose part is still too large is drawn in two.
bool TiledPicture::drawBuiltBands(int top, int rows)
{
    const FigureCamera camera = FigureCamera::make(mBox.data(), mRequest.width, mRequest.height,
                                                   mRequest.spinDegrees, mRequest.view);
    lsGeometryReduction reduction;
    reduction.pixelsPerUnit = camera.pixelsPerUnit;
    reduction.region = camera.regionOf(-kTileMargin, top - kTileMargin,
                                       mRequest.width + kTileMargin, top + rows + kTileMargin);
    reduction.maxVertices = mRequest.maxVertices;
    auto geometry = std::make_shared<lsGeometry>();
    mSource->rewind();
    if (lsBuildGeometry(*mRequest.rules, *mSource, *geometry, reduction))
        return drawBand(top, rows, std::move(geometry));
    geometry.reset();
    if (mSource->cancelled())
        return fail("stopped");
    if (rows == 1)
        return fail("the figure is too dense to draw at this size: one row of the picture "
                    "would hold more than "
                    + std::to_string(mRequest.maxVertices) + " of its vertices");
    return drawBuiltBands(top, rows / 2) && drawBuiltBands(top + rows / 2, rows - rows / 2);
}

// Draws rows [top, top + rows) tile by tile and hands them to the writer.
bool TiledPicture::drawBand(int top, int rows, std::shared_ptr<const lsGeometry> geometry)
{
    const int width = mRequest.width;
    const int height = mRequest.height;
    mRenderer.setGeometry(std::move(geometry));
    const std::size_t rowBytes = std::size_t(width) * 3;
    try {
        for (int d = 0; d < mDrawings; ++d)
            if (mBands[d].size() < rowBytes * std::size_t(rows))
                mBands[d].resize(rowBytes * std::size_t(rows));
    } catch (const std::bad_alloc &) {
        return fail("there is not enough memory for a band of the picture");
    }
    for (int left = 0; left < width; left += mTileWidth) {
        if (cancelled())
            return fail("stopped");
        const int columns = std::min(mTileWidth, width - left);
        // Margins toward the neighbours, none beyond the picture's edges, which clip as
        // the whole picture's do.
        const int marginLeft = std::min(kTileMargin, left);
        const int marginRight = std::min(kTileMargin, width - left - columns);
        const int marginTop = std::min(kTileMargin, top);
        const int marginBottom = std::min(kTileMargin, height - top - rows);
        const PicturePart part{ left - marginLeft, top - marginTop,
                                columns + marginLeft + marginRight,
                                rows + marginTop + marginBottom };
        const bool whole = part.width == width && part.height == height;
        for (int d = 0; d < mDrawings; ++d) {
            const std::array<double, 4> black{ 0, 0, 0, 1 }, white{ 1, 1, 1, 1 };
            mRenderer.setBackgroundColor(mRequest.background ? *mRequest.background
                                         : d == 0            ? black
                                                             : white);
            mRenderer.draw(width, height, mRequest.spinDegrees, mRequest.view,
                           whole ? std::nullopt : std::optional(part));
            // Straight into the band, whose rows are the picture's width apart.
            glReadPixels(marginLeft, marginBottom, columns, rows, GL_RGB, GL_UNSIGNED_BYTE,
                         mBands[d].data() + std::size_t(left) * 3);
        }
        if (const GLenum problem = glGetError(); problem != GL_NO_ERROR) {
            char text[64];
            std::snprintf(text, sizeof text, "drawing failed (GL error 0x%04x)", problem);
            return fail(text);
        }
    }
    // GL reads the bottom row first.
    for (int i = rows - 1; i >= 0; --i) {
        const std::uint8_t *row = mBands[0].data() + rowBytes * std::size_t(i);
        if (mDrawings == 2) {
            transparentRow(row, mBands[1].data() + rowBytes * std::size_t(i), width, mRow.data());
            row = mRow.data();
        }
        if (!mWriter.writeRow(row, &mWriterError))
            return false;
    }
    return true;
}

bool TiledPicture::draw(std::string *error, std::array<double, 6> *box)
{
    const int width = mRequest.width;
    const int height = mRequest.height;
    const auto report = [&](bool drawn) {
        if (!drawn && error)
            *error = mWriterError.empty() ? mFailure : mWriterError;
        if (box)
            *box = mBox;
        return drawn;
    };
    if (width <= 0 || height <= 0)
        return report(fail("the picture has no pixels"));
    // A band of rows takes about kPictureBandBytes, or fewer rows than asked.
    const std::uint64_t rowBytes = std::uint64_t(width) * 3 * std::uint64_t(mDrawings);
    const int bandRows = int(std::clamp<std::uint64_t>(
            kPictureBandBytes / rowBytes, 1, std::uint64_t(std::min(mRequest.bandRows, height))));
    mTileWidth = std::min(mRequest.tileWidth, width);
    try {
        if (mDrawings == 2)
            mRow.resize(std::size_t(width) * 4);
        if (mRequest.geometry) {
            mWhole = mRequest.geometry;
            std::copy(mWhole->box, mWhole->box + 6, mBox.begin());
        } else if (mRequest.commands) {
            mSource = mRequest.commands->source();
            mSource->watch(mRequest.cancel, mRequest.progress);
        }
    } catch (const std::bad_alloc &) {
        return report(fail("there is not enough memory for the figure"));
    }
    if (mSource && !buildWhole(bandRows))
        return report(false);

    std::string cause;
    if (!mContext.resize(std::min(width, mTileWidth + 2 * kTileMargin),
                         std::min(height, bandRows + 2 * kTileMargin), &cause))
        return report(fail("cannot draw: " + cause));
    mRenderer.setLineColor(mRequest.lineColor);
    while (glGetError() != GL_NO_ERROR) {
    } // what went before is not this picture's
    GLint rowLength = 0, alignment = 4;
    glGetIntegerv(GL_PACK_ROW_LENGTH, &rowLength);
    glGetIntegerv(GL_PACK_ALIGNMENT, &alignment);
    glPixelStorei(GL_PACK_ROW_LENGTH, width);
    glPixelStorei(GL_PACK_ALIGNMENT, 1);
    bool drawn = true;
    for (int top = 0; drawn && top < height; top += bandRows) {
        const int rows = std::min(bandRows, height - top);
        drawn = mSource && !mWhole ? drawBuiltBands(top, rows) : drawBand(top, rows, mWhole);
    }
    glPixelStorei(GL_PACK_ROW_LENGTH, rowLength);
    glPixelStorei(GL_PACK_ALIGNMENT, alignment);
    mRenderer.setGeometry(nullptr);
    return report(drawn);
}

} // namespace

bool drawTiledPicture(OffscreenContext &context,
                      FigureRenderer &renderer,
                      const PictureRequest &request,
                      PictureWriter &writer,
                      std::string *error,
                      std::array<double, 6> *box)
{
    return TiledPicture(context, renderer, request, writer).draw(error, box);
}
