#include "view/export/figureexport.h"

#include "engine/interpreter.h"
#include "fileio/safefile.h"
#include "view/export/decimaltext.h"
#include "view/figurecamera.h"
#include "view/imagerep.h"
#include "view/pngwriter.h"

#include <QFileInfo>

#include <algorithm>
#include <cmath>
#include <new>
#include <vector>

using namespace Qt::StringLiterals;

namespace {

// The width of the renderer's lines, in pixels.
constexpr double lineWidth = 2.0;

void setError(std::string *error, const QString &path, const QString &cause)
{
    if (error)
        *error = (QFileInfo(path).filePath() + u": "_s + cause).toStdString();
}

void setError(std::string *error, const QString &path, const std::string &cause)
{
    setError(error, path, QString::fromStdString(cause));
}

// Appends a coordinate rounded to a thousandth of a pixel.
void appendCoordinate(std::string &out, double value)
{
    appendDecimal(out, value, 3);
}

std::string hexColor(const std::array<double, 4> &rgba)
{
    static const char digits[] = "0123456789abcdef";
    std::string s = "#";
    for (int i = 0; i < 3; ++i) {
        const int v = int(std::lround(std::clamp(rgba[i], 0.0, 1.0) * 255.0));
        s += digits[v >> 4];
        s += digits[v & 15];
    }
    return s;
}

std::string number(double value)
{
    std::string s;
    appendCoordinate(s, value);
    return s;
}

// Writes the picture a row at a time from `row`, which fills in the RGB or RGBA pixels
// of row y.
template<typename Row>
bool writePngRows(const std::string &path,
                  int width,
                  int height,
                  int channels,
                  Row row,
                  std::string *error,
                  std::string *warning)
{
    std::vector<std::uint8_t> pixels;
    try {
        pixels.resize(std::size_t(width) * std::size_t(channels));
    } catch (const std::bad_alloc &) {
        setError(error, QString::fromStdString(path), u"not enough memory for the picture"_s);
        return false;
    }
    PngWriter writer;
    if (!writer.open(path, width, height, channels, error))
        return false;
    for (int y = 0; y < height; ++y) {
        row(y, pixels.data());
        if (!writer.writeRow(pixels.data(), error))
            return false;
    }
    if (!writer.commit(error))
        return false;
    if (warning)
        *warning = writer.warning();
    return true;
}

} // namespace

bool writePng(const lsImageRep &image,
              const std::string &path,
              std::string *error,
              std::string *warning)
{
    if (image.isNull()) {
        setError(error, QString::fromStdString(path), u"there is no picture to write"_s);
        return false;
    }
    return writePngRows(
            path, image.width, image.height, 3,
            [&](int y, std::uint8_t *rgb) { interleaveRow(image, y, rgb); }, error, warning);
}

bool writeTransparentPng(const lsImageRep &onBlack,
                         const lsImageRep &onWhite,
                         const std::string &path,
                         std::string *error,
                         std::string *warning)
{
    if (onBlack.isNull() || onWhite.width != onBlack.width || onWhite.height != onBlack.height) {
        setError(error, QString::fromStdString(path), u"there is no picture to write"_s);
        return false;
    }
    std::vector<std::uint8_t> black(std::size_t(onBlack.width) * 3);
    std::vector<std::uint8_t> white(black.size());
    return writePngRows(
            path, onBlack.width, onBlack.height, 4,
            [&](int y, std::uint8_t *rgba) {
                interleaveRow(onBlack, y, black.data());
                interleaveRow(onWhite, y, white.data());
                transparentRow(black.data(), white.data(), onBlack.width, rgba);
            },
            error, warning);
}

bool writeSvg(const lsGeometry &geometry,
              std::array<double, 4> line,
              std::optional<std::array<double, 4>> background,
              int width,
              int height,
              double spinDegrees,
              const FigureView &view,
              const std::string &path,
              std::string *error,
              std::string *warning)
{
    const QString fileName = QString::fromStdString(path);
    std::string cause;
    SafeFile file;
    if (!file.open(path, &cause)) {
        setError(error, fileName, cause);
        return false;
    }

    std::string out;
    out += "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n";
    out += "<svg xmlns=\"http://www.w3.org/2000/svg\" version=\"1.1\" width=\""
           + std::to_string(width) + "\" height=\"" + std::to_string(height) + "\" viewBox=\"0 0 "
           + std::to_string(width) + ' ' + std::to_string(height) + "\">\n";
    // The picture clears opaque whatever the background's alpha.
    if (background)
        out += "<rect width=\"100%\" height=\"100%\" fill=\"" + hexColor(*background) + "\"/>\n";
    out += "<g fill=\"none\" stroke=\"" + hexColor(line) + "\" stroke-opacity=\""
           + number(std::clamp(line[3], 0.0, 1.0)) + "\" stroke-width=\"" + number(lineWidth)
           + "\" stroke-linejoin=\"round\" stroke-linecap=\"round\">\n";

    const FigureCamera camera = FigureCamera::make(geometry.box, width, height, spinDegrees, view);
    // Written out in pieces as it grows, even within one long strip.
    constexpr std::size_t flushSize = 1 << 20;
    std::size_t written = 0;
    const auto flush = [&] {
        written += out.size();
        if (written > kMaxSvgBytes) {
            cause = "the SVG would be larger than " + std::to_string(kMaxSvgBytes >> 20)
                    + " MiB; a PNG or TIFF picture holds this figure";
            return false;
        }
        const bool ok = file.write(out.data(), out.size(), &cause);
        out.clear();
        return ok;
    };
    bool ok = true;
    for (std::size_t strip = 0; ok && strip < geometry.stripFirst.size(); ++strip) {
        out += "<polyline points=\"";
        const std::size_t first = std::size_t(geometry.stripFirst[strip]);
        const std::size_t count = std::size_t(geometry.stripCount[strip]);
        bool separate = false;
        for (std::size_t i = first; ok && i < first + count; ++i) {
            const float *v = &geometry.vertices[3 * i];
            const FigureCamera::WindowPoint p = camera.project(v[0], v[1], v[2]);
            if (!p.valid)
                continue; // behind the eye: GL clips it as well
            if (separate)
                out += ' ';
            appendCoordinate(out, p.x);
            out += ',';
            appendCoordinate(out, p.y);
            separate = true;
            if (out.size() >= flushSize)
                ok = flush();
        }
        out += "\"/>\n";
    }
    out += "</g>\n</svg>\n";
    if (!ok || !flush() || !file.commit(&cause)) {
        setError(error, fileName, cause);
        return false;
    }
    if (warning)
        *warning = file.warning();
    return true;
}
