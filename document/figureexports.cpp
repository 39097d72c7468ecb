#include "document/figureexports.h"

#include "document/animationexportoptions.h"
#include "document/exportoptions.h"
#include "document/modelexportoptions.h"
#include "fileio/filename.h"
#include "platform/dialogfolder.h"
#include "platform/document.h"
#include "session/figuresession.h"
#include "view/lsglview.h"

#include <QFileDialog>
#include <QFileInfo>
#include <QGridLayout>

namespace {

// Pictures are drawn in tiles and written a band of rows at a time, so that their size is
// bounded by the time they take and the files they make: sprig-render's largest side.
constexpr int maxPictureSide = 65536;

QString suffix(FigurePicture::Format format)
{
    switch (format) {
    case FigurePicture::Png:
        return QStringLiteral("png");
    case FigurePicture::Tiff:
        return QStringLiteral("tiff");
    case FigurePicture::Svg:
        return QStringLiteral("svg");
    case FigurePicture::Obj:
        return QStringLiteral("obj");
    case FigurePicture::Ply:
        return QStringLiteral("ply");
    case FigurePicture::Gif:
        return QStringLiteral("gif");
    }
    return {};
}

// A save dialog for a file of the document, modal for its window, named after it, in the
// folder last used (or the document's).
QFileDialog *fileDialog(Document *window,
                        const QString &title,
                        const QString &filter,
                        FigurePicture::Format format)
{
    auto *dialog = new QFileDialog(window, title);
    dialog->setAcceptMode(QFileDialog::AcceptSave);
    dialog->setNameFilter(filter);
    dialog->setDefaultSuffix(suffix(format));
    dialog->setDirectory(dialogFolder(window->fileName()));
    dialog->selectFile(QFileInfo(window->displayName()).completeBaseName());
    dialog->setWindowModality(Qt::WindowModal);
    dialog->setAttribute(Qt::WA_DeleteOnClose);
    return dialog;
}

// The name of a file for a message.
QString quoted(const QString &path)
{
    return QStringLiteral("\u201c%1\u201d").arg(QFileInfo(path).fileName());
}

} // namespace

FigureExports::FigureExports(Document *window, FigureSession *session, lsGLView *view)
    : QObject(window)
    , mWindow(window)
    , mSession(session)
    , mView(view)
{
    connect(mSession, &FigureSession::pictureFinished, this, &FigureExports::finished);
}

void FigureExports::snapshot()
{
    QFileDialog *dialog = fileDialog(mWindow, tr("Save Snapshot"), tr("TIFF images (*.tiff)"),
                                     FigurePicture::Tiff);
    connect(dialog, &QFileDialog::finished, this, [this, dialog](int result) {
        snapshotSheetDidEnd(result, dialog->selectedFiles().value(0));
    });
    dialog->open();
}

void FigureExports::snapshotSheetDidEnd(int returnCode, const QString &path)
{
    if (returnCode == 0 || path.isEmpty())
        return;
    noteDialogFolder(path);
    QString file = path;
    if (!file.endsWith(QLatin1String(".tiff"), Qt::CaseInsensitive))
        file += QLatin1String(".tiff");
    FigurePicture picture;
    picture.format = FigurePicture::Tiff;
    picture.width = mView->pixelSize().width();
    picture.height = mView->pixelSize().height();
    write(picture, file);
}

void FigureExports::exportPng()
{
    exportAs(tr("Export PNG"), tr("PNG images (*.png)"), FigurePicture::Png,
             [this] { return new ExportOptions(mView->pixelSize(), maxPictureSide, true); });
}

void FigureExports::exportSvg()
{
    exportAs(tr("Export SVG"), tr("SVG images (*.svg)"), FigurePicture::Svg,
             [this] { return new ExportOptions(mView->pixelSize(), maxPictureSide, true); });
}

void FigureExports::exportObj()
{
    exportModel(FigurePicture::Obj);
}

void FigureExports::exportPly()
{
    exportModel(FigurePicture::Ply);
}

void FigureExports::exportModel(FigurePicture::Format format)
{
    const bool obj = format == FigurePicture::Obj;
    exportAs(obj ? tr("Export OBJ") : tr("Export PLY"),
             obj ? tr("Wavefront OBJ models (*.obj)") : tr("PLY models (*.ply)"), format,
             [this, format] {
                 const ShownFigure &shown = *mSession->shown();
                 return new ModelExportOptions(
                         format, QFileInfo(mWindow->displayName()).completeBaseName().toStdString(),
                         shown.figure, shown.degrees);
             });
}

void FigureExports::exportAnimation()
{
    exportAs(tr("Export Animation"), tr("GIF animations (*.gif)"), FigurePicture::Gif, [this] {
        return new AnimationExportOptions(mView->pixelSize(), mSession->shown()->figure->pass);
    });
}

template<typename MakeOptions>
void FigureExports::exportAs(const QString &title,
                             const QString &filter,
                             FigurePicture::Format format,
                             MakeOptions makeOptions)
{
    // Refused before the file dialog: there would be nothing but the background to write.
    if (const QString missing = mSession->missingFigure(); !missing.isEmpty()) {
        mWindow->showError(tr("The figure could not be exported."), missing);
        return;
    }
    QFileDialog *dialog = fileDialog(mWindow, title, filter, format);
    // The options go below the file dialog's own controls, which only Qt's dialog lets add.
    dialog->setOption(QFileDialog::DontUseNativeDialog);
    auto *options = makeOptions();
    if (auto *grid = qobject_cast<QGridLayout *>(dialog->layout()))
        grid->addWidget(options, grid->rowCount(), 0, 1, grid->columnCount());
    connect(dialog, &QFileDialog::fileSelected, this, [this, format, options](const QString &path) {
        noteDialogFolder(path);
        FigurePicture picture;
        picture.format = format;
        options->choose(picture);
        write(picture, path);
    });
    dialog->open();
}

void FigureExports::write(FigurePicture picture, const QString &path)
{
    picture.path = encodeFileName(path.toStdU16String());
    picture.spinDegrees = mView->spinAngle();
    picture.line = mView->lineColor();
    picture.background = mView->backgroundColor();
    mSnapshot = picture.format == FigurePicture::Tiff; // the snapshot is the window's TIFF
    mFileName = path;
    mSession->writePicture(picture);
}

void FigureExports::finished(PictureOutcome outcome, const QString &error, const QString &warning)
{
    if (outcome == PictureOutcome::Failed) {
        mWindow->showError(mSnapshot ? tr("The snapshot could not be saved.")
                                     : tr("The figure could not be exported."),
                           error);
    } else if (outcome == PictureOutcome::Written && !warning.isEmpty()) {
        mWindow->showError(mSnapshot ? tr("The snapshot was saved with a change.")
                                     : tr("The figure was exported with a change."),
                           tr("The file %1 was written, but %2.").arg(quoted(mFileName), warning));
    }
}
