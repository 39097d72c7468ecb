#include "view/export/figureexport.h"

#include "engine/interpreter.h"
#include "fileio/safefile.h"
#include "view/export/decimaltext.h"
#include "view/figurecamera.h"
#include "view/imagerep.h"

#include <QBuffer>
#include <QFileInfo>
#include <QImage>
#include <QImageWriter>

#include <algorithm>
#include <cmath>

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

} // namespace

namespace {

bool writePicture(const QImage &picture, const std::string &path, std::string *error)
{
    const QString fileName = QString::fromStdString(path);
    // Encoded in memory, so that the file is written and committed with every step checked.
    QByteArray encoded;
    QBuffer buffer(&encoded);
    buffer.open(QIODevice::WriteOnly);
    QImageWriter writer(&buffer, "png");
    if (!writer.write(picture)) {
        setError(error, fileName, writer.errorString());
        return false;
    }
    std::string cause;
    if (!writeFileSafely(path,
                         { reinterpret_cast<const std::uint8_t *>(encoded.constData()),
                           std::size_t(encoded.size()) },
                         &cause)) {
        setError(error, fileName, cause);
        return false;
    }
    return true;
}

} // namespace

bool writePng(const lsImageRep &image, const std::string &path, std::string *error)
{
    const QString fileName = QString::fromStdString(path);
    if (image.isNull()) {
        setError(error, fileName, u"there is no picture to write"_s);
        return false;
    }
    QImage picture(image.width, image.height, QImage::Format_RGB888);
    if (picture.isNull()) {
        setError(error, fileName, u"not enough memory for the picture"_s);
        return false;
    }
    for (int row = 0; row < image.height; ++row)
        interleaveRow(image, row, picture.scanLine(row));
    return writePicture(picture, path, error);
}

bool writeTransparentPng(const lsImageRep &onBlack,
                         const lsImageRep &onWhite,
                         const std::string &path,
                         std::string *error)
{
    const QString fileName = QString::fromStdString(path);
    if (onBlack.isNull() || onWhite.width != onBlack.width || onWhite.height != onBlack.height) {
        setError(error, fileName, u"there is no picture to write"_s);
        return false;
    }
    QImage picture(onBlack.width, onBlack.height, QImage::Format_RGBA8888);
    if (picture.isNull()) {
        setError(error, fileName, u"not enough memory for the picture"_s);
        return false;
    }
    // Over black a pixel is colour x coverage; over white it is that plus 1 - coverage.
    const std::array<const std::vector<std::uint8_t> *, 3> black{ &onBlack.red, &onBlack.green,
                                                                  &onBlack.blue };
    const std::array<const std::vector<std::uint8_t> *, 3> white{ &onWhite.red, &onWhite.green,
                                                                  &onWhite.blue };
    for (int row = 0; row < onBlack.height; ++row) {
        uchar *line = picture.scanLine(row);
        const std::size_t start = std::size_t(row) * std::size_t(onBlack.stride);
        for (int x = 0; x < onBlack.width; ++x) {
            int uncovered = 0;
            for (std::size_t c = 0; c < 3; ++c)
                uncovered += (*white[c])[start + x] - (*black[c])[start + x];
            const int alpha = std::clamp(255 - (uncovered + 1) / 3, 0, 255);
            for (std::size_t c = 0; c < 3; ++c)
                line[4 * x + int(c)] =
                        alpha == 0 ? 0
                                   : uchar(std::min(255, ((*black[c])[start + x] * 255 + alpha / 2)
                                                                 / alpha));
            line[4 * x + 3] = uchar(alpha);
        }
    }
    return writePicture(picture, path, error);
}

bool writeSvg(const lsGeometry &geometry,
              std::array<double, 4> line,
              std::optional<std::array<double, 4>> background,
              int width,
              int height,
              double spinDegrees,
              const FigureView &view,
              const std::string &path,
              std::string *error)
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
    return true;
}
