#include "cli/commandline.h"

#include "figure/figurelimits.h"
#include "platform/fileio/filename.h"

#include <QCommandLineParser>
#include <QDir>
#include <QFileInfo>

#include <cmath>

using namespace Qt::StringLiterals;

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
    const QCommandLineOption helpOption({ u"h"_s, u"help"_s }, u"Show this help."_s);
    const QCommandLineOption versionOption({ u"v"_s, u"version"_s }, u"Show the version."_s);
    const QCommandLineOption outputOption(
            { u"o"_s, u"output"_s },
            u"Write to FILE (.png, .tiff, .svg, or .lsd for a document), or with DIR/ one "
            u"file per input into DIR."_s,
            u"FILE|DIR/"_s);
    const QCommandLineOption formatOption(
            u"format"_s, u"Kind of file written into -o DIR/: png (default), tiff, svg, lsd."_s,
            u"KIND"_s);
    const QCommandLineOption sizeOption(
            u"size"_s, u"Picture size in pixels (default 800x800); N alone is NxN."_s, u"WxH|N"_s);
    const QCommandLineOption spinOption(
            u"spin"_s, u"Turn a figure with depth by DEGREES about the vertical axis."_s,
            u"DEGREES"_s);
    const QCommandLineOption zoomOption(
            u"zoom"_s, u"Magnify the framed picture FACTOR times (1 = framed)."_s, u"FACTOR"_s);
    const QCommandLineOption centerOption(
            u"center"_s,
            u"Show the figure point X,Y,Z at the middle of the picture (default: the middle "
            u"of the figure's box)."_s,
            u"X,Y,Z"_s);
    const QCommandLineOption tiltOption(
            u"tilt"_s, u"Turn a figure with depth by DEGREES about the horizontal axis."_s,
            u"DEGREES"_s);
    const QCommandLineOption iterationsOption(
            u"iterations"_s, u"Rewrite N times instead of the document's count (1-7)."_s, u"N"_s);
    const QCommandLineOption angleOption(
            u"angle"_s, u"Turning angle in degrees instead of the document's (0-360)."_s, u"A"_s);
    const QCommandLineOption axiomOption(
            u"axiom"_s, u"Render a document given here, with this axiom."_s, u"TEXT"_s);
    const QCommandLineOption ruleOption(
            u"rule"_s,
            u"Add the rule LETTER -> TEXT to the document given here (repeatable; the first "
            u"rule for a letter wins)."_s,
            u"L=TEXT"_s);
    const QCommandLineOption infoOption(
            u"info"_s, u"Print length, vertices, strips, bounding box and iterations as JSON; "
                       u"render nothing."_s);
    const QCommandLineOption dumpOption(u"dump"_s, u"Print the document as JSON."_s);
    const QCommandLineOption fromJsonOption(
            u"from-json"_s, u"Read the document from JSON (as --dump prints it)."_s, u"FILE"_s);
    parser.addOptions({ helpOption, versionOption, outputOption, formatOption, sizeOption,
                        spinOption, zoomOption, centerOption, tiltOption, iterationsOption,
                        angleOption, axiomOption, ruleOption, infoOption, dumpOption,
                        fromJsonOption });
    parser.addPositionalArgument(u"inputs"_s, u".lsd files, or directories holding them."_s,
                                 u"[FILE.lsd|DIR ...]"_s);

    if (!parser.parse(arguments))
        return error(parser.errorText());
    if (parser.isSet(helpOption)) {
        ParseResult result;
        result.status = ParseResult::Help;
        result.text = parser.helpText();
        return result;
    }
    if (parser.isSet(versionOption)) {
        ParseResult result;
        result.status = ParseResult::Version;
        result.text = u"sprig-render " SPRIG_VERSION ""_s;
        return result;
    }

    ParseResult result;
    RenderOptions &o = result.options;
    o.inputs = parser.positionalArguments();

    for (const QCommandLineOption *single :
         { &outputOption, &formatOption, &sizeOption, &spinOption, &zoomOption, &centerOption,
           &tiltOption, &iterationsOption, &angleOption, &axiomOption, &fromJsonOption }) {
        if (parser.values(*single).size() > 1)
            return error(u"--%1 is given more than once"_s.arg(single->names().constLast()));
    }

    if (parser.isSet(infoOption) && parser.isSet(dumpOption))
        return error(u"--info and --dump cannot be combined"_s);
    if (parser.isSet(infoOption))
        o.action = Action::Info;
    else if (parser.isSet(dumpOption))
        o.action = Action::Dump;

    // Where the documents come from.
    if (parser.isSet(axiomOption))
        o.inlineAxiom = parser.value(axiomOption).toStdString();
    for (const QString &rule : parser.values(ruleOption)) {
        const qsizetype equals = rule.indexOf(u'=');
        if (equals < 0)
            return error(u"--rule \"%1\" has no '=': write it as LETTER=TEXT"_s.arg(rule));
        if (equals == 0)
            return error(u"--rule \"%1\" has no letter before '='"_s.arg(rule));
        o.inlineRules.emplace_back(rule.left(equals).toStdString(),
                                   rule.mid(equals + 1).toStdString());
    }
    if (!o.inlineRules.empty() && !o.isInline())
        return error(u"--rule needs --axiom"_s);
    o.jsonInput = parser.value(fromJsonOption);
    const int sources =
            (o.inputs.isEmpty() ? 0 : 1) + (o.isInline() ? 1 : 0) + (o.jsonInput.isEmpty() ? 0 : 1);
    if (sources == 0)
        return error(u"no input: give .lsd files, --from-json FILE or --axiom"_s);
    if (sources > 1)
        return error(u"give either .lsd files, --from-json FILE or --axiom, not several"_s);

    // Overrides, clamped to the window's ranges.
    if (parser.isSet(iterationsOption)) {
        bool ok = false;
        const long long n = parser.value(iterationsOption).toLongLong(&ok);
        if (!ok)
            return error(u"--iterations \"%1\" is not a whole number"_s.arg(
                    parser.value(iterationsOption)));
        o.iterations = clampIterations(n);
    }
    if (parser.isSet(angleOption)) {
        const auto angle = parseFiniteNumber(parser.value(angleOption));
        if (!angle)
            return error(u"--angle \"%1\" is not a number"_s.arg(parser.value(angleOption)));
        o.angle = clampAngle(*angle);
    }
    if (parser.isSet(sizeOption)) {
        const auto size = parseSize(parser.value(sizeOption));
        if (!size)
            return error(u"--size \"%1\" is not WIDTHxHEIGHT or N, each from 1 to %2"_s
                                 .arg(parser.value(sizeOption))
                                 .arg(maxPictureSide));
        o.width = size->first;
        o.height = size->second;
    }
    if (parser.isSet(spinOption)) {
        const auto spin = parseFiniteNumber(parser.value(spinOption));
        if (!spin)
            return error(u"--spin \"%1\" is not a number"_s.arg(parser.value(spinOption)));
        o.spinDegrees = *spin;
    }
    if (parser.isSet(zoomOption)) {
        const auto zoom = parseFiniteNumber(parser.value(zoomOption));
        if (!zoom || !(*zoom >= FigureView::minZoom && *zoom <= FigureView::maxZoom))
            return error(
                    u"--zoom \"%1\" is not a number from %2 to %3"_s.arg(parser.value(zoomOption))
                            .arg(FigureView::minZoom)
                            .arg(FigureView::maxZoom));
        o.view.zoom = *zoom;
    }
    if (parser.isSet(centerOption)) {
        const QStringList parts = parser.value(centerOption).split(u',');
        std::array<double, 3> centre{};
        bool ok = parts.size() == 3;
        for (int i = 0; ok && i < 3; ++i) {
            const auto coordinate = parseFiniteNumber(parts[i].trimmed());
            ok = coordinate.has_value();
            if (ok)
                centre[std::size_t(i)] = *coordinate;
        }
        if (!ok)
            return error(u"--center \"%1\" is not three numbers X,Y,Z"_s.arg(
                    parser.value(centerOption)));
        o.view.centre = centre;
    }
    if (parser.isSet(tiltOption)) {
        const auto tilt = parseFiniteNumber(parser.value(tiltOption));
        if (!tilt)
            return error(u"--tilt \"%1\" is not a number"_s.arg(parser.value(tiltOption)));
        o.view.tiltDegrees = *tilt;
    }

    // Where the results go.
    o.output = parser.value(outputOption);
    if (o.action != Action::Write) {
        if (!o.output.isEmpty())
            return error(u"--info and --dump print to standard output; -o is not used"_s);
        if (o.action == Action::Dump
            && (o.inputs.size() > 1 || QFileInfo(o.inputs.value(0)).isDir()))
            return error(u"--dump prints one document: give one file"_s);
        return result;
    }
    if (o.output.isEmpty())
        return error(u"no output: give -o FILE or -o DIR/"_s);
    o.outputIsDirectory = o.output.endsWith(u'/') || QFileInfo(o.output).isDir();
    if (o.outputIsDirectory) {
        const QString format = parser.isSet(formatOption) ? parser.value(formatOption) : u"png"_s;
        const auto kind = outputKindForPath(u"x."_s + format);
        if (!kind)
            return error(u"--format \"%1\" is not one of png, tiff, svg, lsd"_s.arg(format));
        o.kind = *kind;
        return result;
    }
    if (parser.isSet(formatOption))
        return error(u"--format applies to -o DIR/ only; the file name's extension says the "
                     u"kind"_s);
    if (o.inputs.size() > 1 || QFileInfo(o.inputs.value(0)).isDir())
        return error(u"several inputs need -o DIR/ (a directory, ending in '/')"_s);
    const auto kind = outputKindForPath(o.output);
    if (!kind)
        return error(u"-o \"%1\": the extension must be .png, .tiff, .tif, .svg or .lsd"_s.arg(
                o.output));
    o.kind = *kind;
    return result;
}
