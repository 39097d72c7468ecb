#pragma once

#include "view/export/figureanimation.h"
#include "view/figurecamera.h"

#include <QString>
#include <QStringList>

#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace sprig {

// What sprig-render was asked to do, checked and normalised.

enum class OutputKind {
    Png,
    Tiff,
    Svg,
    Gif,      // an animation
    Obj,      // a 3D model
    Ply,      // a 3D model
    Document, // an .lsd file
};

enum class Action {
    Write, // render or convert to -o
    Info,  // statistics of the generated figure on stdout
    Dump,  // the document as read, as JSON on stdout
};

struct RenderOptions
{
    Action action = Action::Write;

    // Where documents come from: .lsd files and directories searched for them, one JSON
    // document, or a document given on the command line (inlineAxiom/inlineRules).
    QStringList inputs;
    QString jsonInput;
    std::optional<std::string> inlineAxiom;
    std::vector<std::pair<std::string, std::string>> inlineRules; // letter, replacement

    // Overrides of the document's values, already clamped as the window clamps them.
    std::optional<double> angle;
    std::optional<int> iterations;
    // --iterations past kMaxIterations (up to kMaxUnitIterations): the passes to draw and
    // measure of a document that expansion units draw. Documents keep `iterations`.
    std::optional<int> unitIterations;

    QString output;
    bool outputIsDirectory = false; // -o DIR/: one output per document, named after it
    OutputKind kind = OutputKind::Png;

    int width = 800;
    int height = 800;
    double spinDegrees = 0.0;
    FigureView view; // --zoom, --center, --tilt

    // Animations (GIF) and models (OBJ, PLY).
    AnimationKind animation = AnimationKind::Turn;
    int frames = 36;
    int delayMs = 100;
    GrowthFraming growthFraming = GrowthFraming::Last;
    double tubeRadius = 0.0; // 0: polylines

    bool isInline() const { return inlineAxiom.has_value(); }
};

struct ParseResult
{
    enum Status {
        Ok,
        Help,    // text holds the help
        Version, // text holds the version line
        Error,   // text holds the message; exit status 2
    };
    Status status = Ok;
    QString text;
    RenderOptions options;
};

// argv as strings from which every file name given returns to its bytes (see filename.h), even
// a name that is not UTF-8.
QStringList commandLineArguments(int argc, char *argv[]);

// Parses the arguments (argv without the program name's meaning: arguments[0] is the program).
ParseResult parseCommandLine(const QStringList &arguments);

// The kind of output a file name asks for, from its extension; none when it is not known.
std::optional<OutputKind> outputKindForPath(const QString &path);

// The file extension (without dot) written for a kind.
QString extensionForKind(OutputKind kind);

} // namespace sprig
