#include "document/figurestatusview.h"

#include "session/figuresession.h"

#include <QLabel>
#include <QProgressBar>
#include <QPushButton>

#include <algorithm>

FigureStatusView::FigureStatusView(FigureSession *session,
                                   QLabel *statusLine,
                                   QProgressBar *progress,
                                   QPushButton *generate)
    : QObject(session)
    , mSession(session)
    , mStatusLine(statusLine)
    , mProgress(progress)
    , mGenerate(generate)
{
    // The status line keeps two lines, each cut at the window's edge rather than wrapped: a
    // message never resizes the view, which would then build its figure again for the new
    // size. The whole of it is in its tooltip.
    mStatusLine->setWordWrap(false);
    mStatusLine->setContentsMargins(6, 0, 6, 0);
    mStatusLine->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Fixed);
    mStatusLine->setFixedHeight(2 * mStatusLine->fontMetrics().lineSpacing());
    // Shown only while the session is busy; its room stays reserved so the status line does
    // not jump.
    QSizePolicy policy = mProgress->sizePolicy();
    policy.setRetainSizeWhenHidden(true);
    mProgress->setSizePolicy(policy);
    mProgress->hide();
    // Wide enough for Generate and Stop, so that the controls do not move when it changes.
    const QString text = mGenerate->text();
    mGenerate->setText(tr("&Stop"));
    const int stopWidth = mGenerate->sizeHint().width();
    mGenerate->setText(text);
    mGenerate->setMinimumWidth(std::max(stopWidth, mGenerate->sizeHint().width()));
    connect(mSession, &FigureSession::statusChanged, this, &FigureStatusView::showSession);
}

void FigureStatusView::showSession()
{
    const bool busy = mSession->isBusy();
    const int progress = mSession->progress();
    mProgress->setRange(0, progress < 0 ? 0 : 100); // busy until a measure comes
    mProgress->setValue(std::max(progress, 0));
    mProgress->setVisible(busy);
    mGenerate->setText(busy ? tr("&Stop") : tr("&Generate"));
    if (!mComplaintAbout)
        show(mSession->status());
}

void FigureStatusView::show(const QString &message)
{
    mStatusLine->setText(message);
    mStatusLine->setToolTip(message);
    mComplaintAbout = nullptr;
}

void FigureStatusView::showComplaint(QWidget *field, const QString &message)
{
    show(message);
    mComplaintAbout = field;
}

void FigureStatusView::withdrawComplaint(QWidget *field)
{
    if (mComplaintAbout && mComplaintAbout == field)
        show(mSession->status());
}

void FigureStatusView::setOutOfDate(bool outOfDate)
{
    if (outOfDate) {
        QPalette highlighted = mGenerate->palette();
        highlighted.setColor(QPalette::Button, highlighted.color(QPalette::Highlight));
        highlighted.setColor(QPalette::ButtonText, highlighted.color(QPalette::HighlightedText));
        mGenerate->setPalette(highlighted);
        mGenerate->setToolTip(tr("The figure does not show the latest axiom and rules yet: "
                                 "generate it again."));
    } else {
        mGenerate->setPalette(QPalette());
        mGenerate->setToolTip(QString());
    }
}
