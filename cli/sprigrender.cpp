#include "cli/sprigrender.h"

#include "cli/animationoutput.h"
#include "cli/commandline.h"
#include "cli/documentjson.h"
#include "cli/modeloutput.h"
#include "document/model/documentfigure.h"
#include "document/model/documentfile.h"
#include "figure/figuredescription.h"
#include "figure/figurelimits.h"
#include "figure/figuremeasure.h"
#include "figure/figurerules.h"
#include "fileio/boundedread.h"
#include "fileio/filename.h"
#include "fileio/safefile.h"
#include "view/export/figureexport.h"
#include "view/imagerep.h"
#include "view/picturerenderer.h"
#include "view/pngwriter.h"
#include "view/tiffwriter.h"
#include "view/tiledpicture.h"
#include "view/viewgeometry.h"

#include <QColor>
#include <QDir>
#include <QDirIterator>
#include <QFileInfo>
#include <QJsonArray>

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <map>
#include <new>
#include <ostream>

using namespace Qt::StringLiterals;

namespace sprig {

namespace {

// The window's colour wells hold colours as QColor (16 bits a channel) and hand the view their
// float components; the same path here gives the window's pixels exactly, antialiased edges
// included.
std::array<double, 4> viewColor(const DocumentColor &color)
{
    const std::array<double, 4> c = color.rgba();
    float r, g, b, a;
    QColor::fromRgbF(float(c[0]), float(c[1]), float(c[2]), float(c[3])).getRgbF(&r, &g, &b, &a);
    return { r, g, b, a };
}

// The bytes of a file name given on the command line or found in a folder, as the system
// needs them: names that are not UTF-8 included.
std::string localPath(const QString &path)
{
    return encodeFileName(path.toStdU16String());
}

// One document to process, and where its result goes.
struct Job
{
    QString input; // the .lsd file; empty for --from-json and inline documents
    QString name;  // how messages name the document
    QString output;
};

QString outputName(const QString &relativeInput, OutputKind kind)
{
    const QFileInfo info(relativeInput);
    const QString stem = info.path() == u"." ? info.completeBaseName()
                                             : info.path() + u'/' + info.completeBaseName();
    return stem + u'.' + extensionForKind(kind);
}

// Expands directories into the .lsd files below them (sorted, so galleries come out in the
// same order every time) and names every output. Fails when two inputs would write one file.
int makeJobs(const RenderOptions &o, std::vector<Job> &jobs, std::ostream &err)
{
    const QString outDir = o.outputIsDirectory ? QDir(o.output).path() + u'/' : QString();
    auto add = [&](const QString &input, const QString &name, const QString &relative) {
        jobs.push_back({ input, name,
                         o.outputIsDirectory ? outDir + outputName(relative, o.kind) : o.output });
    };
    if (o.isInline()) {
        add({}, u"the --axiom document"_s, u"figure"_s);
    } else if (!o.jsonInput.isEmpty()) {
        add({}, o.jsonInput, QFileInfo(o.jsonInput).fileName());
    } else {
        for (const QString &input : o.inputs) {
            if (!QFileInfo(input).isDir()) {
                add(input, input, QFileInfo(input).fileName());
                continue;
            }
            std::error_code unreadable;
            const std::filesystem::directory_iterator listing(localPath(input), unreadable);
            if (unreadable) {
                err << "sprig-render: " << input.toStdString()
                    << ": the folder cannot be read: " << unreadable.message() << "\n";
                return ExitInputOutput;
            }
            QStringList found;
            QDirIterator it(input, { u"*.lsd"_s }, QDir::Files, QDirIterator::Subdirectories);
            while (it.hasNext())
                found.append(it.next());
            found.sort();
            if (found.isEmpty()) {
                err << "sprig-render: " << input.toStdString() << ": no .lsd files in it\n";
                return ExitInputOutput;
            }
            for (const QString &file : found)
                add(file, file,
                    QDir(QFileInfo(input).absoluteFilePath())
                            .relativeFilePath(QFileInfo(file).absoluteFilePath()));
        }
    }
    if (o.action == Action::Write) {
        std::map<QString, QString> writers;
        for (const Job &job : jobs) {
            const QString target = QFileInfo(job.output).absoluteFilePath();
            const auto [it, inserted] = writers.emplace(target, job.name);
            if (!inserted) {
                err << "sprig-render: " << it->second.toStdString() << " and "
                    << job.name.toStdString() << " would both write " << job.output.toStdString()
                    << "\n";
                return ExitBadArguments;
            }
        }
    }
    return ExitSuccess;
}

bool loadJson(const QString &path, DocumentData &document, QString *error)
{
    std::vector<std::uint8_t> bytes;
    std::string reason;
    if (!readFileBounded(localPath(path), kMaxDocumentJsonBytes, bytes, &reason)) {
        *error = path + u": "_s + QString::fromStdString(reason);
        return false;
    }
    QString cause;
    if (!documentFromJson(
                QByteArray(reinterpret_cast<const char *>(bytes.data()), qsizetype(bytes.size())),
                document, &cause)) {
        *error = path + u": "_s + cause;
        return false;
    }
    return true;
}

bool loadDocument(const RenderOptions &o, const Job &job, DocumentData &document, QString *error)
{
    if (o.isInline()) {
        document.axiom = o.inlineAxiom;
        for (const auto &[letter, text] : o.inlineRules) {
            document.letters.push_back(letter);
            document.rules.push_back(text);
        }
    } else if (!o.jsonInput.isEmpty()) {
        if (!loadJson(o.jsonInput, document, error))
            return false;
    } else {
        std::string cause;
        if (!readDocumentFile(localPath(job.input), document, &cause)) {
            // In a gallery a bare file name is ambiguous: say which file, as given.
            *error = QString::fromStdString(cause);
            if (!error->contains(job.input))
                *error = job.input + u": "_s + *error;
            return false;
        }
    }
    if (o.angle)
        document.angle = *o.angle;
    if (o.iterations)
        document.iterations = *o.iterations;
    return true;
}

QString buildFailure(const FigureResult &figure, const Job &job)
{
    return QString::fromStdString(describeBuildFailure(figure, job.name.toStdString()));
}

// Throws std::bad_alloc when a stream's small tables cannot be had.
QByteArray infoJson(const FigureResult &figure, const QString *file, std::array<double, 6> &box)
{
    const FigureMeasure measure = measureFigure(figure);
    std::copy(measure.box, measure.box + 6, box.begin());
    QJsonArray boxArray;
    for (double b : measure.box)
        boxArray.append(b); // shortest text that reads back as the same double
    QByteArray json = "{";
    if (file)
        json += "\"file\":" + jsonText(*file) + ',';
    const auto number = [](lsWideCount n) {
        return QByteArray::fromStdString(lsDecimal(n));
    };
    json += "\"length\":" + number(measure.length) + ",\"vertices\":" + number(measure.vertices)
            + ",\"strips\":" + number(measure.strips) + ",\"box\":" + jsonText(boxArray)
            + ",\"iterations\":" + QByteArray::number(figure.pass) + ",\"method\":";
    if (measure.byUnits)
        json += "\"units\"";
    else
        json += "\"walk\",\"reason\":" + jsonText(QString::fromStdString(measure.whyWalked));
    return json + '}';
}

// Why pass `passes` of the request cannot be shown past the window's passes, if it cannot:
// expansion units do not draw it, and it is too long to walk as a matter of course.
std::optional<std::string> refusalPast(const FigureRequest &request, int passes)
{
    const std::shared_ptr<const lsRuleSet> rules =
            makeRuleSet(request.letters, request.rules, request.angle);
    const FigurePass pass(rules, *request.axiom, passes);
    if (pass.length() < kMinUnitSymbols)
        return std::nullopt;
    const lsUnitTable::Made units = pass.units(rules->angle, rules->step);
    if (units.table)
        return std::nullopt;
    return units.refusal;
}

// A progress line on a terminal, redrawn in place.
class Progress
{
public:
    Progress(std::ostream &err, std::size_t total, bool enabled)
        : mErr(err)
        , mTotal(total)
        , mEnabled(enabled && total > 1)
    { }
    ~Progress() { clear(); }

    void show(std::size_t index, const QString &name)
    {
        if (!mEnabled)
            return;
        mErr << "\r\033[K[" << index + 1 << '/' << mTotal << "] " << name.toStdString()
             << std::flush;
        mShown = true;
    }
    // Makes room for a message.
    void clear()
    {
        if (mShown)
            mErr << "\r\033[K" << std::flush;
        mShown = false;
    }

private:
    std::ostream &mErr;
    std::size_t mTotal;
    bool mEnabled;
    bool mShown = false;
};

class Runner
{
public:
    Runner(const RenderOptions &options,
           std::ostream &out,
           std::ostream &err,
           Progress &progress,
           bool nameFiles)
        : mOptions(options)
        , mOut(out)
        , mErr(err)
        , mProgress(progress)
        , mNameFiles(nameFiles)
    { }

    int run(const Job &job);

private:
    int fail(const QString &message)
    {
        report(message);
        return ExitInputOutput;
    }
    // What a write that succeeded could not keep, said as a warning.
    void warn(const QString &path, const std::string &warning)
    {
        if (!warning.empty())
            report(u"warning: %1: %2"_s.arg(path, QString::fromStdString(warning)));
    }
    void report(const QString &message)
    {
        mProgress.clear();
        mErr << "sprig-render: " << message.toStdString() << '\n';
    }
    int writeOutput(const Job &job,
                    const FigureRequest &request,
                    const FigureResult &figure,
                    const DocumentData &document,
                    std::array<double, 6> &box);
    // Models and animations, written by exporters of their own.
    int writeExport(const Job &job,
                    const FigureRequest &request,
                    const FigureResult &figure,
                    const DocumentData &document);

    const RenderOptions &mOptions;
    std::ostream &mOut;
    std::ostream &mErr;
    Progress &mProgress;
    bool mNameFiles;
    PictureRenderer mPictures; // one context for every picture of a run
};

int Runner::run(const Job &job)
{
    DocumentData document;
    QString error;
    if (!loadDocument(mOptions, job, document, &error))
        return fail(error);

    if (mOptions.action == Action::Dump) {
        mOut << documentToJson(document).toStdString() << std::flush;
        return ExitSuccess;
    }
    if (mOptions.action == Action::Write && mOptions.kind == OutputKind::Document) {
        if (document.angle != std::trunc(document.angle))
            report(u"%1: documents keep whole degrees: the angle %2 is saved as %3"_s
                           .arg(job.output)
                           .arg(document.angle)
                           .arg(std::trunc(document.angle)));
        std::string cause, warning;
        if (!writeDocumentFile(localPath(job.output), document, &cause, &warning))
            return fail(job.output + u": "_s + QString::fromStdString(cause));
        warn(job.output, warning);
        return ExitSuccess;
    }

    FigureRequest request = figureRequest(document);
    // Passes past the window's come from expansion units only: a document they do not draw
    // shows the window's last pass, and says why.
    std::string beyond;
    if (mOptions.unitIterations && request.axiom) {
        if (const auto refusal = refusalPast(request, *mOptions.unitIterations))
            beyond = "showing pass " + std::to_string(request.passes) + " of "
                     + std::to_string(*mOptions.unitIterations) + ": passes past "
                     + std::to_string(kMaxIterations) + " need expansion units, and " + *refusal;
        else
            request.passes = *mOptions.unitIterations;
    }
    const FigureResult figure = buildFigure(request);
    const QString why = QString::fromStdString(describeOutcome(figure, job.name.toStdString()));
    if (figure.nothing)
        return fail(why); // nothing could be made: no pass to show
    std::array<double, 6> box{};
    try {
        if (mOptions.action == Action::Info) {
            mOut << infoJson(figure, mNameFiles ? &job.name : nullptr, box).toStdString() << '\n'
                 << std::flush;
        } else {
            const int status = writeOutput(job, request, figure, document, box);
            if (status != ExitSuccess)
                return status;
        }
    } catch (const std::bad_alloc &) {
        // A streamed figure's small tables, made again for each walk.
        return fail(buildFailure(figure, job));
    }
    int status = ExitSuccess;
    if (figure.outcome != FigureOutcome::Complete) {
        report(why);
        status = ExitStoppedAtBudget;
    }
    if (!beyond.empty()) {
        report(job.name + u": "_s + QString::fromStdString(beyond));
        if (status == ExitSuccess)
            status = ExitStoppedAtBudget;
    }
    if (figure.hasAxiom && !FigureCamera::canFrame(box.data())) {
        report(u"%1: the figure cannot be drawn: its size is not finite, or larger than a "
               "picture can hold (a number after '@' scales its steps so)"_s.arg(job.name));
        status = ExitNotDrawable;
    }
    return status;
}

int Runner::writeOutput(const Job &job,
                        const FigureRequest &request,
                        const FigureResult &figure,
                        const DocumentData &document,
                        std::array<double, 6> &box)
{
    const QFileInfo target(job.output);
    if (!QDir().mkpath(target.path()))
        return fail(u"%1: cannot create the directory"_s.arg(target.path()));
    if (mOptions.kind == OutputKind::Gif || mOptions.kind == OutputKind::Obj
        || mOptions.kind == OutputKind::Ply)
        return writeExport(job, request, figure, document);

    std::string cause;
    std::string warning;
    const std::string path = localPath(job.output);
    if (mOptions.kind != OutputKind::Svg) {
        PictureRequest picture;
        picture.rules = figure.rules.get();
        picture.commands = figure.hasAxiom ? &figure.commands : nullptr;
        picture.lineColor = viewColor(document.color);
        picture.background = viewColor(document.bgColor);
        picture.width = mOptions.width;
        picture.height = mOptions.height;
        picture.spinDegrees = mOptions.spinDegrees;
        picture.view = mOptions.view;
        PngWriter png;
        TiffWriter tiff;
        PictureWriter &writer =
                mOptions.kind == OutputKind::Png ? static_cast<PictureWriter &>(png) : tiff;
        if (!mPictures.write(picture, writer, path, &cause, &box))
            return fail(job.name + u": "_s + QString::fromStdString(cause));
        warn(job.output, writer.warning());
        return ExitSuccess;
    }
    // Built for the picture's nominal pixels, as the window builds it (from expansion units
    // where they stand for the symbols).
    lsGeometry geometry;
    if (figure.hasAxiom
        && !buildViewGeometry(figure.commands, figure.rules->angle, figure.rules->step,
                              mOptions.width, mOptions.height, geometry, mOptions.view))
        return fail(buildFailure(figure, job));
    std::copy(geometry.box, geometry.box + 6, box.begin());
    if (!writeSvg(geometry, document.color.rgba(), document.bgColor.rgba(), mOptions.width,
                  mOptions.height, mOptions.spinDegrees, mOptions.view, path, &cause, &warning))
        return fail(QString::fromStdString(cause));
    warn(job.output, warning);
    return ExitSuccess;
}

int Runner::writeExport(const Job &job,
                        const FigureRequest &request,
                        const FigureResult &figure,
                        const DocumentData &document)
{
    const std::string path = localPath(job.output);
    QString error;
    std::string warning;
    bool written = false;
    if (mOptions.kind == OutputKind::Gif) {
        written =
                writeAnimationOutput(request, figure, viewColor(document.color),
                                     viewColor(document.bgColor), mOptions, path, &error, &warning);
    } else {
        // The model is named after its document.
        const QString source = job.input.isEmpty() ? mOptions.jsonInput : job.input;
        const QString name = source.isEmpty() ? u"figure"_s : QFileInfo(source).completeBaseName();
        written = writeModelOutput(figure, mOptions, name, path, &error, &warning);
    }
    if (!written)
        return fail(error);
    warn(job.output, warning);
    return ExitSuccess;
}

// An input/output failure outweighs a figure that cannot be drawn, which outweighs a stop
// at the budget.
int combine(int a, int b)
{
    for (const int status : { ExitInputOutput, ExitNotDrawable })
        if (a == status || b == status)
            return status;
    return std::max(a, b);
}

} // namespace

int runSprigRender(const RenderOptions &options,
                   std::ostream &out,
                   std::ostream &err,
                   bool progressLine)
{
    std::vector<Job> jobs;
    const int status = makeJobs(options, jobs, err);
    if (status != ExitSuccess)
        return status;
    Progress progress(err, jobs.size(), progressLine);
    Runner runner(options, out, err, progress, jobs.size() > 1);
    int worst = ExitSuccess;
    for (std::size_t i = 0; i < jobs.size(); ++i) {
        progress.show(i, jobs[i].name);
        worst = combine(worst, runner.run(jobs[i]));
    }
    return worst;
}

} // namespace sprig
