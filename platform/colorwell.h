#pragma once

#include <QColor>
#include <QToolButton>

// A colour well: a button showing its colour as a swatch (over a checkerboard, so that alpha
// shows). Clicking it opens a colour dialog with the alpha channel, modal for its window;
// choosing a different colour there emits colorPicked. setColor() changes the swatch quietly.
class ColorWell : public QToolButton
{
    Q_OBJECT
    Q_PROPERTY(QColor color READ color WRITE setColor)
    Q_PROPERTY(QString dialogTitle READ dialogTitle WRITE setDialogTitle)

public:
    explicit ColorWell(QWidget *parent = nullptr);

    QColor color() const { return mColor; }
    void setColor(const QColor &color);
    // The title of the colour dialog, which says what the colour is for.
    QString dialogTitle() const { return mDialogTitle; }
    void setDialogTitle(const QString &title) { mDialogTitle = title; }

    QSize sizeHint() const override;

signals:
    // The user chose a new colour; the well already shows it.
    void colorPicked(const QColor &color);

protected:
    void paintEvent(QPaintEvent *event) override;

private:
    void openDialog();

    QColor mColor = Qt::white;
    QString mDialogTitle;
};
