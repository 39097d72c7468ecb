#include "platform/colorwell.h"

#include <QColorDialog>
#include <QPainter>

ColorWell::ColorWell(QWidget *parent)
    : QToolButton(parent)
{
    setToolButtonStyle(Qt::ToolButtonIconOnly);
    connect(this, &QToolButton::clicked, this, &ColorWell::openDialog);
}

void ColorWell::setColor(const QColor &color)
{
    if (mColor == color)
        return;
    mColor = color;
    setToolTip(color.name(QColor::HexArgb));
    update();
}

QSize ColorWell::sizeHint() const
{
    return { 48, 24 };
}

void ColorWell::paintEvent(QPaintEvent *event)
{
    QToolButton::paintEvent(event);
    QPainter painter(this);
    const QRect swatch = rect().adjusted(5, 5, -5, -5);
    // A checkerboard under the colour makes its transparency visible.
    const int cell = 5;
    for (int y = swatch.top(); y <= swatch.bottom(); y += cell) {
        for (int x = swatch.left(); x <= swatch.right(); x += cell) {
            const bool dark = ((x - swatch.left()) / cell + (y - swatch.top()) / cell) % 2;
            painter.fillRect(QRect(x, y, cell, cell).intersected(swatch),
                             dark ? QColor(153, 153, 153) : QColor(230, 230, 230));
        }
    }
    painter.fillRect(swatch, mColor);
    painter.setPen(palette().color(QPalette::Mid));
    painter.drawRect(swatch.adjusted(0, 0, -1, -1));
}

void ColorWell::openDialog()
{
    auto *dialog = new QColorDialog(mColor, this);
    dialog->setOption(QColorDialog::ShowAlphaChannel);
    if (!mDialogTitle.isEmpty())
        dialog->setWindowTitle(mDialogTitle);
    dialog->setWindowModality(Qt::WindowModal);
    dialog->setAttribute(Qt::WA_DeleteOnClose);
    connect(dialog, &QColorDialog::colorSelected, this, [this](const QColor &color) {
        if (color == mColor)
            return;
        setColor(color);
        emit colorPicked(color);
    });
    dialog->open();
}
