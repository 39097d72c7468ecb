#include "session/figurepicture.h"

#include "figure/figuredescription.h"
#include "view/export/figureexport.h"
#include "view/picturerenderer.h"
#include "view/tiffwriter.h"
#include "view/viewgeometry.h"

#include <new>
#include <optional>

namespace {

PictureOutcome write(const FigurePicture &picture,
                     const FigureResult &figure,
                     double degrees,
                     const FigureView &view,
                     const double *box,
                     std::shared_ptr<const lsGeometry> built,
                     const std::atomic<bool> &cancel,
                     lsCommandSource::Progress progress,
                     std::string &error)
{
    std::shared_ptr<const lsGeometry> geometry = std::move(built);
    if (!geometry)
        geometry = buildPassGeometry(figure.commands, degrees, picture.width, picture.height, view,
                                     box, &cancel, std::move(progress));
    if (cancel)
        return PictureOutcome::Stopped;
    if (!geometry) {
        error = capitalized(describeBuildFailure(figure)) + ".";
        return PictureOutcome::Failed;
    }
    const auto written = [&](bool ok) {
        return ok ? PictureOutcome::Written : PictureOutcome::Failed;
    };
    if (picture.format == FigurePicture::Svg) {
        std::optional<std::array<double, 4>> background;
        if (!picture.transparent)
            background = picture.background;
        return written(writeSvg(*geometry, picture.line, background, picture.width, picture.height,
                                picture.spinDegrees, view, picture.path, &error));
    }
    PictureRenderer renderer;
    const auto draw = [&](const std::array<double, 4> &background) {
        return renderer.render(geometry, picture.width, picture.height, picture.spinDegrees, view,
                               picture.line, background, &error);
    };
    if (picture.format == FigurePicture::Png && picture.transparent) {
        // The same picture over black and over white tells the lines' coverage.
        const lsImageRep onBlack = draw({ 0, 0, 0, 1 });
        const lsImageRep onWhite = onBlack.isNull() ? lsImageRep() : draw({ 1, 1, 1, 1 });
        if (onWhite.isNull())
            return PictureOutcome::Failed;
        if (cancel)
            return PictureOutcome::Stopped;
        return written(writeTransparentPng(onBlack, onWhite, picture.path, &error));
    }
    const lsImageRep image = draw(picture.background);
    if (image.isNull())
        return PictureOutcome::Failed;
    if (cancel)
        return PictureOutcome::Stopped;
    return written(picture.format == FigurePicture::Tiff ? writeTiff(image, picture.path, &error)
                                                         : writePng(image, picture.path, &error));
}

} // namespace

PictureOutcome writeFigurePicture(const FigurePicture &picture,
                                  const FigureResult &figure,
                                  double degrees,
                                  const FigureView &view,
                                  const double *box,
                                  std::shared_ptr<const lsGeometry> built,
                                  const std::atomic<bool> &cancel,
                                  lsCommandSource::Progress progress,
                                  std::string &error)
{
    try {
        return write(picture, figure, degrees, view, box, std::move(built), cancel,
                     std::move(progress), error);
    } catch (const std::bad_alloc &) {
        // Its file, if one was begun, is dropped: any file there before keeps its bytes.
        error = "There is not enough memory to write the picture.";
        return PictureOutcome::Failed;
    }
}
