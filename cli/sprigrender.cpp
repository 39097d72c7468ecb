#include "cli/sprigrender.h"

#include "cli/commandline.h"
#include "cli/documentjson.h"
#include "document/model/documentfigure.h"
#include "document/model/documentfile.h"
#include "figure/figurelimits.h"
#include "figure/figuremeasure.h"
#include "figure/figurerules.h"
#include "fileio/boundedread.h"
#include "fileio/filename.h"
#include "fileio/safefile.h"
#include "view/export/figureexport.h"
#include "view/figurerenderer.h"
#include "view/imagerep.h"
#include "view/offscreencontext.h"
#include "view/tiffwriter.h"
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

bool writeBytes(const QString &path, const std::vector<std::uint8_t> &bytes, QString *error)
{
    std::string cause;
    if (!writeFileSafely(localPath(path), bytes, &cause)) {
        *error = path + u": "_s + QString::fromStdString(cause);
        return false;
    }
    return true;
}

// The offscreen context and renderer, made once and kept for every picture of a run.
class PictureMaker
{
public:
    ~PictureMaker()
    {
        if (mContext && mContext->makeCurrent())
            mRenderer.releaseGL();
    }

    bool make(std::shared_ptr<const lsGeometry> geometry,
              const DocumentData &document,
              const RenderOptions &o,
              lsImageRep &image,
              QString *error)
    {
        std::string cause;
        if (!mContext) {
            auto context = std::make_unique<OffscreenContext>();
            if (!context->create(o.width, o.height, &cause)) {
                *error = u"cannot draw without a display: "_s + QString::fromStdString(cause);
                return false;
            }
            mContext = std::move(context);
        }
        if (!mContext->makeCurrent()) {
            *error = u"cannot draw: the offscreen context cannot be made current"_s;
            return false;
        }
        mRenderer.setGeometry(std::move(geometry));
        mRenderer.setLineColor(viewColor(document.color));
        mRenderer.setBackgroundColor(viewColor(document.bgColor));
        mRenderer.draw(o.width, o.height, o.spinDegrees, o.view);
        image = captureImageRep(o.width, o.height);
        if (image.isNull()) {
            *error = u"not enough memory to capture the picture"_s;
            return false;
        }
        return true;
    }

private:
    std::unique_ptr<OffscreenContext> mContext;
    FigureRenderer mRenderer;
};

// Throws std::bad_alloc when a stream's small tables cannot be had.
QByteArray infoJson(const FigureResult &figure, const QString *file)
{
    const FigureMeasure measure = measureFigure(figure);
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
    void report(const QString &message)
    {
        mProgress.clear();
        mErr << "sprig-render: " << message.toStdString() << '\n';
    }
    int writeOutput(const Job &job, const FigureResult &figure, const DocumentData &document);

    const RenderOptions &mOptions;
    std::ostream &mOut;
    std::ostream &mErr;
    Progress &mProgress;
    bool mNameFiles;
    PictureMaker mPictures;
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
        std::vector<std::uint8_t> bytes;
        std::string cause;
        if (!writeDocument(document, bytes, &cause))
            return fail(job.output + u": "_s + QString::fromStdString(cause));
        return writeBytes(job.output, bytes, &error) ? ExitSuccess : fail(error);
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
        return fail(why); // not even the axiom's memory
    try {
        if (mOptions.action == Action::Info) {
            mOut << infoJson(figure, mNameFiles ? &job.name : nullptr).toStdString() << '\n'
                 << std::flush;
        } else {
            const int status = writeOutput(job, figure, document);
            if (status != ExitSuccess)
                return status;
        }
    } catch (const std::bad_alloc &) {
        // A streamed figure's small tables, made again for each walk.
        return fail(u"%1: not enough memory for the figure"_s.arg(job.name));
    }
    if (figure.outcome != FigureOutcome::Complete) {
        report(why);
        return ExitStoppedAtBudget;
    }
    if (!beyond.empty()) {
        report(job.name + u": "_s + QString::fromStdString(beyond));
        return ExitStoppedAtBudget;
    }
    return ExitSuccess;
}

int Runner::writeOutput(const Job &job, const FigureResult &figure, const DocumentData &document)
{
    auto geometry = std::make_shared<lsGeometry>();
    // Built for the picture's pixels, as the window builds it: the same segments, the same
    // pixels (SVG at its nominal size).
    if (figure.hasAxiom
        && !buildViewGeometry(figure.commands, figure.rules->angle, figure.rules->step,
                              mOptions.width, mOptions.height, *geometry, mOptions.view))
        return fail(u"%1: not enough memory for the figure"_s.arg(job.name));
    if (!figure.hasAxiom)
        geometry.reset(); // the background alone, as the window shows such a document

    const QFileInfo target(job.output);
    if (!QDir().mkpath(target.path()))
        return fail(u"%1: cannot create the directory"_s.arg(target.path()));

    std::string cause;
    const std::string path = localPath(job.output);
    if (mOptions.kind == OutputKind::Svg) {
        const lsGeometry empty;
        if (!writeSvg(geometry ? *geometry : empty, document.color.rgba(), document.bgColor.rgba(),
                      mOptions.width, mOptions.height, mOptions.spinDegrees, mOptions.view, path,
                      &cause))
            return fail(QString::fromStdString(cause));
        return ExitSuccess;
    }

    lsImageRep image;
    QString error;
    if (!mPictures.make(std::move(geometry), document, mOptions, image, &error))
        return fail(job.name + u": "_s + error);
    const bool written = mOptions.kind == OutputKind::Png ? writePng(image, path, &cause)
                                                          : writeTiff(image, path, &cause);
    return written ? ExitSuccess : fail(QString::fromStdString(cause));
}

// An input/output failure outweighs a stop at the budget.
int combine(int a, int b)
{
    if (a == ExitInputOutput || b == ExitInputOutput)
        return ExitInputOutput;
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
