#pragma once

#include "session/figurepicture.h"

#include <QObject>
#include <QString>

class Document;
class FigureSession;
class QWidget;
class lsGLView;

// The snapshot and the exports of a document window: their file dialogs, modal for the
// window (an export's with its choices below the file name: a picture's size and
// background, a model's tubes and size, an animation's kind and frames), and the files they
// ask the window's FigureSession to write, whose failures, and what a file written could
// not keep, are shown over the window. Each shows the figure shown, through the view as it
// is at the request.
class FigureExports : public QObject
{
    Q_OBJECT

public:
    FigureExports(Document *window, FigureSession *session, lsGLView *view);

    // Asks for a TIFF file name, then saves the view's picture in it.
    void snapshot();
    // The end of the snapshot dialog: returnCode 0 is a cancel.
    void snapshotSheetDidEnd(int returnCode, const QString &path);
    void exportPng();
    void exportSvg();
    void exportObj();
    void exportPly();
    void exportAnimation();

private:
    // Asks for a file, with the choices `makeOptions` makes below its name (a widget with
    // choose(FigurePicture &)), then writes it.
    template<typename MakeOptions>
    void exportAs(const QString &title,
                  const QString &filter,
                  FigurePicture::Format format,
                  MakeOptions makeOptions);
    void exportModel(FigurePicture::Format format);
    void write(FigurePicture picture, const QString &path);
    void finished(PictureOutcome outcome, const QString &error, const QString &warning);

    Document *mWindow;
    FigureSession *mSession;
    lsGLView *mView;
    // The picture under way: whether it is the snapshot, and its file.
    bool mSnapshot = false;
    QString mFileName;
};
