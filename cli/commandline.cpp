#include "cli/commandline.h"

#include "figure/figurelimits.h"
#include "fileio/filename.h"

#include <QCommandLineParser>
#include <QDir>
#include <QFileInfo>

#include <cmath>

using namespace Qt::StringLiterals;

namespace sprig {

namespace {

// Larger pictures than this exceed what GL implementations render into in one piece.
constexpr int maxPictureSide = 16384;

QString description()
{
    return u"Renders L-system documents (.lsd) without a display, as PNG, TIFF or SVG; "
           u"prints statistics (--info) or a document as JSON (--dump); writes documents "
           u"from JSON (--from-json) or from the command line (--axiom, --rule).\n\n"
           u"Exit status: 0 success, 1 an input could not be read or an output not written, "
           u"2 bad arguments, 3 growth stopped at the size limit (the last iteration that "
           u"fits was used)."_s;
}

// WxH, or one number N for NxN (a thumbnailer passes its size so).
std::optional<std::pair<int, int>> parseSize(const QString &text)
{
    QStringList parts = text.split(u'x');
    if (parts.size() == 1)
        parts.append(parts.constFirst());
    if (parts.size() != 2)
        return std::nullopt;
    bool okW = false;
    bool okH = false;
    const int w = parts[0].toInt(&okW);
    const int h = parts[1].toInt(&okH);
    if (!okW || !okH || w < 1 || h < 1 || w > maxPictureSide || h > maxPictureSide)
        return std::nullopt;
    return std::pair{ w, h };
}

std::optional<double> parseFiniteNumber(const QString &text)
{
    bool ok = false;
    const double value = text.toDouble(&ok);
    if (!ok || !std::isfinite(value))
        return std::nullopt;
    return value;
}

ParseResult error(const QString &message)
{
    ParseResult result;
    result.status = ParseResult::Error;
    result.text = message;
    return result;
}

// The options sprig-render takes.
struct Options
{
    const QCommandLineOption help{ { u"h"_s, u"help"_s }, u"Show this help."_s };
    const QCommandLineOption version{ { u"v"_s, u"version"_s }, u"Show the version."_s };
    const QCommandLineOption output{
        { u"o"_s, u"output"_s },
        u"Write to FILE (.png, .tiff, .svg, or .lsd for a document), or with DIR/ one "
        u"file per input into DIR."_s,
        u"FILE|DIR/"_s
    };
    const QCommandLineOption format{
        u"format"_s, u"Kind of file written into -o DIR/: png (default), tiff, svg, lsd."_s,
        u"KIND"_s
    };
    const QCommandLineOption size{ u"size"_s,
                                   u"Picture size in pixels (default 800x800); N alone is NxN."_s,
                                   u"WxH|N"_s };
    const QCommandLineOption spin{
        u"spin"_s, u"Turn a figure with depth by DEGREES about the vertical axis."_s, u"DEGREES"_s
    };
    const QCommandLineOption zoom{ u"zoom"_s,
                                   u"Magnify the framed picture FACTOR times (1 = framed)."_s,
                                   u"FACTOR"_s };
    const QCommandLineOption center{
        u"center"_s,
        u"Show the figure point X,Y,Z at the middle of the picture (default: the middle "
        u"of the figure's box)."_s,
        u"X,Y,Z"_s
    };
    const QCommandLineOption tilt{
        u"tilt"_s, u"Turn a figure with depth by DEGREES about the horizontal axis."_s, u"DEGREES"_s
    };
    const QCommandLineOption iterations{
        u"iterations"_s,
        u"Rewrite N times instead of the document's count (1-7; pictures and --info of "
        u"documents that expansion units draw, up to 64)."_s,
        u"N"_s
    };
    const QCommandLineOption angle{
        u"angle"_s, u"Turning angle in degrees instead of the document's (0-360)."_s, u"A"_s
    };
    const QCommandLineOption axiom{ u"axiom"_s, u"Render a document given here, with this axiom."_s,
                                    u"TEXT"_s };
    const QCommandLineOption rule{
        u"rule"_s,
        u"Add the rule LETTER -> TEXT to the document given here (repeatable; the first "
        u"rule for a letter wins)."_s,
        u"L=TEXT"_s
    };
    const QCommandLineOption info{ u"info"_s,
                                   u"Print length, vertices, strips, bounding box and iterations "
                                   u"as JSON; render nothing."_s };
    const QCommandLineOption dump{ u"dump"_s, u"Print the document as JSON."_s };
    const QCommandLineOption fromJson{ u"from-json"_s,
                                       u"Read the document from JSON (as --dump prints it)."_s,
                                       u"FILE"_s };

    void addTo(QCommandLineParser &parser) const
    {
        parser.addOptions({ help, version, output, format, size, spin, zoom, center, tilt,
                            iterations, angle, axiom, rule, info, dump, fromJson });
        parser.addPositionalArgument(u"inputs"_s, u".lsd files, or directories holding them."_s,
                                     u"[FILE.lsd|DIR ...]"_s);
    }
};

// Each reader below takes its part of the arguments into the options; it returns why they
// are refused, or nothing when they are fine.
using Reader = QString (*)(const QCommandLineParser &, const Options &, RenderOptions &);

// What to do, and options that may be given once only.
QString readAction(const QCommandLineParser &parser, const Options &options, RenderOptions &o)
{
    for (const QCommandLineOption *single :
         { &options.output, &options.format, &options.size, &options.spin, &options.zoom,
           &options.center, &options.tilt, &options.iterations, &options.angle, &options.axiom,
           &options.fromJson }) {
        if (parser.values(*single).size() > 1)
            return u"--%1 is given more than once"_s.arg(single->names().constLast());
    }
    if (parser.isSet(options.info) && parser.isSet(options.dump))
        return u"--info and --dump cannot be combined"_s;
    if (parser.isSet(options.info))
        o.action = Action::Info;
    else if (parser.isSet(options.dump))
        o.action = Action::Dump;
    return {};
}

// Where the documents come from: files, JSON or the command line, exactly one of them.
QString readSources(const QCommandLineParser &parser, const Options &options, RenderOptions &o)
{
    o.inputs = parser.positionalArguments();
    if (parser.isSet(options.axiom))
        o.inlineAxiom = parser.value(options.axiom).toStdString();
    for (const QString &rule : parser.values(options.rule)) {
        const qsizetype equals = rule.indexOf(u'=');
        if (equals < 0)
            return u"--rule \"%1\" has no '=': write it as LETTER=TEXT"_s.arg(rule);
        if (equals == 0)
            return u"--rule \"%1\" has no letter before '='"_s.arg(rule);
        o.inlineRules.emplace_back(rule.left(equals).toStdString(),
                                   rule.mid(equals + 1).toStdString());
    }
    if (!o.inlineRules.empty() && !o.isInline())
        return u"--rule needs --axiom"_s;
    o.jsonInput = parser.value(options.fromJson);
    const int sources =
            (o.inputs.isEmpty() ? 0 : 1) + (o.isInline() ? 1 : 0) + (o.jsonInput.isEmpty() ? 0 : 1);
    if (sources == 0)
        return u"no input: give .lsd files, --from-json FILE or --axiom"_s;
    if (sources > 1)
        return u"give either .lsd files, --from-json FILE or --axiom, not several"_s;
    return {};
}

// The document's values overridden, clamped to the window's ranges.
QString readOverrides(const QCommandLineParser &parser, const Options &options, RenderOptions &o)
{
    if (parser.isSet(options.iterations)) {
        bool ok = false;
        const long long n = parser.value(options.iterations).toLongLong(&ok);
        if (!ok)
            return u"--iterations \"%1\" is not a whole number"_s.arg(
                    parser.value(options.iterations));
        o.iterations = clampIterations(n);
        if (n > kMaxIterations)
            o.unitIterations = int(std::min<long long>(n, kMaxUnitIterations));
    }
    if (parser.isSet(options.angle)) {
        const auto angle = parseFiniteNumber(parser.value(options.angle));
        if (!angle)
            return u"--angle \"%1\" is not a number"_s.arg(parser.value(options.angle));
        o.angle = clampAngle(*angle);
    }
    return {};
}

// The picture's size and how it shows the figure.
QString readPicture(const QCommandLineParser &parser, const Options &options, RenderOptions &o)
{
    if (parser.isSet(options.size)) {
        const auto size = parseSize(parser.value(options.size));
        if (!size)
            return u"--size \"%1\" is not WIDTHxHEIGHT or N, each from 1 to %2"_s
                    .arg(parser.value(options.size))
                    .arg(maxPictureSide);
        o.width = size->first;
        o.height = size->second;
    }
    if (parser.isSet(options.spin)) {
        const auto spin = parseFiniteNumber(parser.value(options.spin));
        if (!spin)
            return u"--spin \"%1\" is not a number"_s.arg(parser.value(options.spin));
        o.spinDegrees = *spin;
    }
    if (parser.isSet(options.zoom)) {
        const auto zoom = parseFiniteNumber(parser.value(options.zoom));
        if (!zoom || !(*zoom >= FigureView::minZoom && *zoom <= FigureView::maxZoom))
            return u"--zoom \"%1\" is not a number from %2 to %3"_s.arg(parser.value(options.zoom))
                    .arg(FigureView::minZoom)
                    .arg(FigureView::maxZoom);
        o.view.zoom = *zoom;
    }
    if (parser.isSet(options.center)) {
        const QStringList parts = parser.value(options.center).split(u',');
        std::array<double, 3> centre{};
        bool ok = parts.size() == 3;
        for (int i = 0; ok && i < 3; ++i) {
            const auto coordinate = parseFiniteNumber(parts[i].trimmed());
            ok = coordinate.has_value();
            if (ok)
                centre[std::size_t(i)] = *coordinate;
        }
        if (!ok)
            return u"--center \"%1\" is not three numbers X,Y,Z"_s.arg(
                    parser.value(options.center));
        o.view.centre = centre;
    }
    if (parser.isSet(options.tilt)) {
        const auto tilt = parseFiniteNumber(parser.value(options.tilt));
        if (!tilt)
            return u"--tilt \"%1\" is not a number"_s.arg(parser.value(options.tilt));
        o.view.tiltDegrees = *tilt;
    }
    return {};
}

// Where the results go, and as what kind of file.
QString readOutput(const QCommandLineParser &parser, const Options &options, RenderOptions &o)
{
    o.output = parser.value(options.output);
    if (o.action != Action::Write) {
        if (!o.output.isEmpty())
            return u"--info and --dump print to standard output; -o is not used"_s;
        if (o.action == Action::Dump
            && (o.inputs.size() > 1 || QFileInfo(o.inputs.value(0)).isDir()))
            return u"--dump prints one document: give one file"_s;
        return {};
    }
    if (o.output.isEmpty())
        return u"no output: give -o FILE or -o DIR/"_s;
    o.outputIsDirectory = o.output.endsWith(u'/') || QFileInfo(o.output).isDir();
    if (o.outputIsDirectory) {
        const QString format =
                parser.isSet(options.format) ? parser.value(options.format) : u"png"_s;
        const auto kind = outputKindForPath(u"x."_s + format);
        if (!kind)
            return u"--format \"%1\" is not one of png, tiff, svg, lsd"_s.arg(format);
        o.kind = *kind;
        return {};
    }
    if (parser.isSet(options.format))
        return u"--format applies to -o DIR/ only; the file name's extension says the kind"_s;
    if (o.inputs.size() > 1 || QFileInfo(o.inputs.value(0)).isDir())
        return u"several inputs need -o DIR/ (a directory, ending in '/')"_s;
    const auto kind = outputKindForPath(o.output);
    if (!kind)
        return u"-o \"%1\": the extension must be .png, .tiff, .tif, .svg or .lsd"_s.arg(o.output);
    o.kind = *kind;
    return {};
}

} // namespace

std::optional<OutputKind> outputKindForPath(const QString &path)
{
    const QString suffix = QFileInfo(path).suffix().toLower();
    if (suffix == u"png")
        return OutputKind::Png;
    if (suffix == u"tif" || suffix == u"tiff")
        return OutputKind::Tiff;
    if (suffix == u"svg")
        return OutputKind::Svg;
    if (suffix == u"lsd")
        return OutputKind::Document;
    return std::nullopt;
}

QString extensionForKind(OutputKind kind)
{
    switch (kind) {
    case OutputKind::Png:
        return u"png"_s;
    case OutputKind::Tiff:
        return u"tiff"_s;
    case OutputKind::Svg:
        return u"svg"_s;
    case OutputKind::Document:
        return u"lsd"_s;
    }
    return {};
}

QStringList commandLineArguments(int argc, char *argv[])
{
    QStringList arguments;
    for (int i = 0; i < argc; ++i)
        arguments.append(QString::fromStdU16String(decodeFileName(argv[i])));
    return arguments;
}

ParseResult parseCommandLine(const QStringList &arguments)
{
    QCommandLineParser parser;
    parser.setApplicationDescription(description());
    parser.setSingleDashWordOptionMode(QCommandLineParser::ParseAsLongOptions);
    const Options options;
    options.addTo(parser);

    if (!parser.parse(arguments))
        return error(parser.errorText());
    ParseResult result;
    if (parser.isSet(options.help)) {
        result.status = ParseResult::Help;
        result.text = parser.helpText();
        return result;
    }
    if (parser.isSet(options.version)) {
        result.status = ParseResult::Version;
        result.text = u"sprig-render " SPRIG_VERSION ""_s;
        return result;
    }
    for (const Reader read : { readAction, readSources, readOverrides, readPicture, readOutput }) {
        if (const QString refusal = read(parser, options, result.options); !refusal.isEmpty())
            return error(refusal);
    }
    return result;
}

} // namespace sprig
