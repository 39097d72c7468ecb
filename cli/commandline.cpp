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

// Pictures are drawn a tile at a time, so their size is bounded by the time they take and the
// files they make (a 65536 x 65536 PNG holds 12 GiB of pixels), not by GL.
constexpr int maxPictureSide = 65536;

QString description()
{
    return u"Renders L-system documents (.lsd) without a display, as PNG, TIFF or SVG, as "
           u"an animated GIF (turning or growing) or as a 3D model (OBJ, PLY); prints statistics "
           u"(--info) or a document as JSON (--dump); writes documents "
           u"from JSON (--from-json) or from the command line (--axiom, --rule).\n\n"
           u"Exit status: 0 success, 1 an input could not be read or an output not written, "
           u"2 bad arguments, 3 growth stopped at the size limit (the last iteration that "
           u"fits was used), 4 the figure cannot be drawn (its size is not finite)."_s;
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
        u"Write to FILE (.png, .tiff, .svg, .gif, .obj, .ply, or .lsd for a document), or "
        u"with DIR/ one file per input into DIR."_s,
        u"FILE|DIR/"_s
    };
    const QCommandLineOption format{
        u"format"_s,
        u"Kind of file written: png, tiff, svg, gif, obj, ply, lsd; into -o DIR/ (default "
        u"png), or into -o FILE whatever its name."_s,
        u"KIND"_s
    };
    const QCommandLineOption animate{
        u"animate"_s,
        u"Write a GIF of the figure turning once about the vertical axis (turn, the default "
        u"for .gif) or growing pass by pass (growth)."_s,
        u"turn|growth"_s
    };
    const QCommandLineOption frames{ u"frames"_s, u"Frames of a turn (default 36, at most 1000)."_s,
                                     u"N"_s };
    const QCommandLineOption delay{
        u"delay"_s, u"How long each frame shows, in milliseconds (default 100; 20 to 655350)."_s,
        u"MS"_s
    };
    const QCommandLineOption growthFraming{
        u"growth-framing"_s,
        u"Frame every pass of a growth as the last pass is framed, so that the figure grows in "
        u"place (last, the default), or each pass alone (each)."_s,
        u"last|each"_s
    };
    const QCommandLineOption tube{
        u"tube"_s,
        u"Write a model's line strips as closed tubes of RADIUS (figure units; a step is 10), "
        u"for printing."_s,
        u"RADIUS"_s
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
        parser.addOptions({ help,   version,  output,     format, size,  spin,          zoom,
                            center, tilt,     iterations, angle,  axiom, rule,          info,
                            dump,   fromJson, animate,    frames, delay, growthFraming, tube });
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
           &options.fromJson, &options.animate, &options.frames, &options.delay,
           &options.growthFraming, &options.tube }) {
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
    o.outputIsDirectory = o.output.endsWith(u'/');
    if (!o.outputIsDirectory && QFileInfo(o.output).isDir())
        return u"-o \"%1\" is a folder: give -o \"%1/\" for a file per document in it"_s.arg(
                o.output);
    if (o.outputIsDirectory) {
        const QString format =
                parser.isSet(options.format) ? parser.value(options.format) : u"png"_s;
        const auto kind = outputKindForPath(u"x."_s + format);
        if (!kind)
            return u"--format \"%1\" is not one of png, tiff, svg, gif, obj, ply, lsd"_s.arg(
                    format);
        o.kind = *kind;
        return {};
    }
    if (o.inputs.size() > 1 || QFileInfo(o.inputs.value(0)).isDir())
        return u"several inputs need -o DIR/ (a directory, ending in '/')"_s;
    // A name chosen by someone else (a thumbnail's) need not say the kind: --format does.
    if (parser.isSet(options.format)) {
        const QString format = parser.value(options.format);
        const auto kind = outputKindForPath(u"x."_s + format);
        if (!kind)
            return u"--format \"%1\" is not one of png, tiff, svg, gif, obj, ply, lsd"_s.arg(
                    format);
        o.kind = *kind;
        return {};
    }
    const auto kind = outputKindForPath(o.output);
    if (!kind)
        return u"-o \"%1\": the extension must be .png, .tiff, .tif, .svg, .gif, .obj, .ply or "
               u".lsd (or give --format)"_s.arg(o.output);
    o.kind = *kind;
    return {};
}

// Whole numbers from min to max.
std::optional<int> parseWholeNumber(const QString &text, int min, int max)
{
    bool ok = false;
    const long long n = text.toLongLong(&ok);
    if (!ok || n < min || n > max)
        return std::nullopt;
    return int(n);
}

// How an animation or a model is made, checked against the kind of output.
QString
readAnimationAndModel(const QCommandLineParser &parser, const Options &options, RenderOptions &o)
{
    const bool gif = o.action == Action::Write && o.kind == OutputKind::Gif;
    const bool model =
            o.action == Action::Write && (o.kind == OutputKind::Obj || o.kind == OutputKind::Ply);
    for (const QCommandLineOption *option :
         { &options.animate, &options.frames, &options.delay, &options.growthFraming }) {
        if (parser.isSet(*option) && !gif)
            return u"--%1 makes an animation: give -o FILE.gif"_s.arg(option->names().constLast());
    }
    if (parser.isSet(options.tube) && !model)
        return u"--tube makes a model: give -o FILE.obj or FILE.ply"_s;
    if (model) {
        for (const QCommandLineOption *option :
             { &options.size, &options.spin, &options.zoom, &options.center, &options.tilt }) {
            if (parser.isSet(*option))
                return u"--%1 does not apply to a model, which holds the whole figure in "
                       u"figure units"_s.arg(option->names().constLast());
        }
    }
    if (parser.isSet(options.animate)) {
        const QString kind = parser.value(options.animate);
        if (kind != u"turn" && kind != u"growth")
            return u"--animate \"%1\" is not turn or growth"_s.arg(kind);
        o.animation = kind == u"turn" ? AnimationKind::Turn : AnimationKind::Growth;
    }
    const bool turn = o.animation == AnimationKind::Turn;
    if (parser.isSet(options.frames)) {
        if (!turn)
            return u"a growth has a frame per pass: --frames applies to --animate turn"_s;
        const auto frames = parseWholeNumber(parser.value(options.frames), 1, kMaxAnimationFrames);
        if (!frames)
            return u"--frames \"%1\" is not a whole number from 1 to %2"_s
                    .arg(parser.value(options.frames))
                    .arg(kMaxAnimationFrames);
        o.frames = *frames;
    }
    if (parser.isSet(options.delay)) {
        const auto delay =
                parseWholeNumber(parser.value(options.delay), kMinFrameDelayMs, kMaxFrameDelayMs);
        if (!delay)
            return u"--delay \"%1\" is not a whole number of milliseconds from %2 to %3"_s
                    .arg(parser.value(options.delay))
                    .arg(kMinFrameDelayMs)
                    .arg(kMaxFrameDelayMs);
        o.delayMs = *delay;
    }
    if (parser.isSet(options.growthFraming)) {
        const QString framing = parser.value(options.growthFraming);
        if (turn)
            return u"--growth-framing applies to --animate growth"_s;
        if (framing != u"last" && framing != u"each")
            return u"--growth-framing \"%1\" is not last or each"_s.arg(framing);
        o.growthFraming = framing == u"last" ? GrowthFraming::Last : GrowthFraming::Each;
    }
    if (parser.isSet(options.tube)) {
        const auto radius = parseFiniteNumber(parser.value(options.tube));
        if (!radius || !(*radius > 0.0))
            return u"--tube \"%1\" is not a radius above 0"_s.arg(parser.value(options.tube));
        o.tubeRadius = *radius;
    }
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
    if (suffix == u"gif")
        return OutputKind::Gif;
    if (suffix == u"obj")
        return OutputKind::Obj;
    if (suffix == u"ply")
        return OutputKind::Ply;
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
    case OutputKind::Gif:
        return u"gif"_s;
    case OutputKind::Obj:
        return u"obj"_s;
    case OutputKind::Ply:
        return u"ply"_s;
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
    for (const Reader read : { readAction, readSources, readOverrides, readPicture, readOutput,
                               readAnimationAndModel }) {
        if (const QString refusal = read(parser, options, result.options); !refusal.isEmpty())
            return error(refusal);
    }
    return result;
}

} // namespace sprig
