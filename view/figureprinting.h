#pragma once

#include "view/imagerep.h"

#include <QString>

class QWidget;

// Printing a picture of the view unscaled: one unit of the view per point, as the screen
// shows it at devicePixelRatio; a picture larger than the page continues on further pages.

// Asks for a printer in a dialog over parent, then prints. The job, and a PDF file the
// dialog offers to write in `folder`, are named after documentName. Says why when printing
// fails.
void printWithDialog(QWidget *parent,
                     const lsImageRep &picture,
                     double devicePixelRatio,
                     const QString &documentName,
                     const QString &folder);
// The same print job into a PDF file, without a dialog. False, with the reason in
// *errorString (which may be null), when it cannot be written.
[[nodiscard]] bool printPictureToPdf(const lsImageRep &picture,
                                     double devicePixelRatio,
                                     const QString &path,
                                     QString *errorString);
