#pragma once

#include <QObject>
#include <QString>

class FigureSession;
class QLabel;
class QProgressBar;
class QPushButton;
class QWidget;

// What a document window says of its figure: the status line, the progress bar beside it
// and the Generate button, which reads Stop while the session is busy and stands out while
// the figure is out of date. A complaint about what was typed in a field takes the status
// line until that field holds a valid value.
class FigureStatusView : public QObject
{
    Q_OBJECT

public:
    FigureStatusView(FigureSession *session,
                     QLabel *statusLine,
                     QProgressBar *progress,
                     QPushButton *generate);

    void showComplaint(QWidget *field, const QString &message);
    // Gives the status line back to the session, when it holds a complaint about field.
    void withdrawComplaint(QWidget *field);
    // The figure does not show the latest axiom and rules: Generate stands out.
    void setOutOfDate(bool outOfDate);

private:
    void showSession();
    void show(const QString &message);

    FigureSession *mSession;
    QLabel *mStatusLine;
    QProgressBar *mProgress;
    QPushButton *mGenerate;
    QWidget *mComplaintAbout = nullptr; // the field the status line complains about
};
