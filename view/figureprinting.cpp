#include "view/figureprinting.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QImage>
#include <QMessageBox>
#include <QPainter>
#include <QPrintDialog>
#include <QPrinter>

#include <algorithm>

namespace {

QString tr(const char *text)
{
    return QCoreApplication::translate("lsGLView", text);
}

QImage toQImage(const lsImageRep &rep)
{
    QImage image(rep.width, rep.height, QImage::Format_RGB888);
    for (int y = 0; y < rep.height; ++y)
        interleaveRow(rep, y, image.scanLine(y));
    return image;
}

bool printImage(QPrinter &printer, const lsImageRep &rep, double ratio, QString *errorString)
{
    const QImage image = toQImage(rep);
    QPainter painter;
    if (!painter.begin(&printer)) {
        if (errorString)
            *errorString = printer.outputFileName().isEmpty()
                                   ? tr("The printer could not be started.")
                                   : tr("Cannot write %1.").arg(printer.outputFileName());
        return false;
    }
    const double scale = printer.resolution() / 72.0 / ratio;
    const int tileWidth = std::max(1, static_cast<int>(printer.width() / scale));
    const int tileHeight = std::max(1, static_cast<int>(printer.height() / scale));
    bool firstPage = true;
    for (int y = 0; y < image.height(); y += tileHeight) {
        for (int x = 0; x < image.width(); x += tileWidth) {
            if (!firstPage)
                printer.newPage();
            firstPage = false;
            const QRect source(x, y, std::min(tileWidth, image.width() - x),
                               std::min(tileHeight, image.height() - y));
            painter.drawImage(QRectF(0, 0, source.width() * scale, source.height() * scale), image,
                              source);
        }
    }
    if (!painter.end()) {
        if (errorString)
            *errorString = tr("Printing failed.");
        return false;
    }
    return true;
}

} // namespace

void printWithDialog(QWidget *parent,
                     const lsImageRep &picture,
                     double devicePixelRatio,
                     const QString &documentName,
                     const QString &folder)
{
    QPrinter printer(QPrinter::HighResolution);
    printer.setDocName(documentName);
    // Left alone, the dialog offers the PDF file in the working folder (the demos', say);
    // naming it chooses the PDF printer, so a printer of the system stays the one chosen.
    const QString printerName = printer.printerName();
    printer.setOutputFileName(QDir(folder).filePath(QFileInfo(documentName).completeBaseName()
                                                    + QStringLiteral(".pdf")));
    if (!printerName.isEmpty())
        printer.setPrinterName(printerName);
    QPrintDialog dialog(&printer, parent);
    if (dialog.exec() != QDialog::Accepted)
        return;
    QString error;
    if (!printImage(printer, picture, devicePixelRatio, &error))
        QMessageBox::warning(parent, tr("Print"), error);
}

bool printPictureToPdf(const lsImageRep &picture,
                       double devicePixelRatio,
                       const QString &path,
                       QString *errorString)
{
    QPrinter printer(QPrinter::HighResolution);
    printer.setOutputFormat(QPrinter::PdfFormat);
    printer.setOutputFileName(path);
    return printImage(printer, picture, devicePixelRatio, errorString);
}
