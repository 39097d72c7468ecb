#include "view/export/figureexport.h"

#include "engine/interpreter.h"
#include "fileio/safefile.h"
#include "view/export/decimaltext.h"
#include "view/figurecamera.h"

#include <QFileInfo>

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
