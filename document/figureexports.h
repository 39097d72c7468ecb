#pragma once

#include "session/figurepicture.h"

#include <QObject>
#include <QString>

class Document;
class FigureSession;
class lsGLView;

// The snapshot and the exports of a document window: their file dialogs, modal for the
// window (an export's with the picture's size and background below the file name), and the
// pictures they ask the window's FigureSession to write, whose failures are shown over the
// window. Each picture shows the figure shown, through the view as it is at the request.
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

private:
    // Asks for a file (and the picture's size and background), then writes it.
    void exportAs(const QString &title,
                  const QString &filter,
                  const QString &suffix,
                  FigurePicture::Format format);
    void write(FigurePicture picture, const QString &path, const QString &failure);
    void finished(PictureOutcome outcome, const QString &error);

    Document *mWindow;
    FigureSession *mSession;
    lsGLView *mView;
    QString mFailure; // the headline of a failure of the picture under way
};
