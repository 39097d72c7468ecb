#include "document/figureexports.h"

#include "document/exportoptions.h"
#include "fileio/filename.h"
#include "platform/dialogfolder.h"
#include "platform/document.h"
#include "session/figuresession.h"
#include "view/lsglview.h"

#include <QFileDialog>
#include <QFileInfo>
#include <QGridLayout>

namespace {

// A save dialog for a picture of the document, modal for its window, named after it, in
// the folder last used (or the document's).
QFileDialog *
pictureDialog(Document *window, const QString &title, const QString &filter, const QString &suffix)
{
    auto *dialog = new QFileDialog(window, title);
    dialog->setAcceptMode(QFileDialog::AcceptSave);
    dialog->setNameFilter(filter);
    dialog->setDefaultSuffix(suffix);
    dialog->setDirectory(dialogFolder(window->fileName()));
    dialog->selectFile(QFileInfo(window->displayName()).completeBaseName());
    dialog->setWindowModality(Qt::WindowModal);
    dialog->setAttribute(Qt::WA_DeleteOnClose);
    return dialog;
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
    QFileDialog *dialog = pictureDialog(mWindow, tr("Save Snapshot"), tr("TIFF images (*.tiff)"),
                                        QStringLiteral("tiff"));
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
    write(picture, file, tr("The snapshot could not be saved."));
}

void FigureExports::exportPng()
{
    exportAs(tr("Export PNG"), tr("PNG images (*.png)"), QStringLiteral("png"), FigurePicture::Png);
}

void FigureExports::exportSvg()
{
    exportAs(tr("Export SVG"), tr("SVG images (*.svg)"), QStringLiteral("svg"), FigurePicture::Svg);
}

void FigureExports::exportAs(const QString &title,
                             const QString &filter,
                             const QString &suffix,
                             FigurePicture::Format format)
{
    const QString failure = tr("The figure could not be exported.");
    // Refused before the file dialog: there would be nothing but the background to write.
    if (const QString missing = mSession->missingFigure(); !missing.isEmpty()) {
        mWindow->showError(failure, missing);
        return;
    }
    QFileDialog *dialog = pictureDialog(mWindow, title, filter, suffix);
    // The options go below the file dialog's own controls, which only Qt's dialog lets add.
    dialog->setOption(QFileDialog::DontUseNativeDialog);
    auto *options = new ExportOptions(mView->pixelSize());
    if (auto *grid = qobject_cast<QGridLayout *>(dialog->layout()))
        grid->addWidget(options, grid->rowCount(), 0, 1, grid->columnCount());
    connect(dialog, &QFileDialog::fileSelected, this,
            [this, format, options, failure](const QString &path) {
                noteDialogFolder(path);
                FigurePicture picture;
                picture.format = format;
                picture.width = options->pictureSize().width();
                picture.height = options->pictureSize().height();
                picture.transparent = options->transparent();
                write(picture, path, failure);
            });
    dialog->open();
}

void FigureExports::write(FigurePicture picture, const QString &path, const QString &failure)
{
    picture.path = encodeFileName(path.toStdU16String());
    picture.spinDegrees = mView->spinAngle();
    picture.line = mView->lineColor();
    picture.background = mView->backgroundColor();
    mFailure = failure;
    mSession->writePicture(picture);
}

void FigureExports::finished(PictureOutcome outcome, const QString &error)
{
    if (outcome == PictureOutcome::Failed)
        mWindow->showError(mFailure, error);
}
