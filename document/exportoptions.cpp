#include "document/exportoptions.h"

#include <QCheckBox>
#include <QDoubleSpinBox>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QSpinBox>

#include <algorithm>
#include <cmath>

ExportOptions::ExportOptions(QSize viewSize, int maxSide, bool offersTransparency, QWidget *parent)
    : QWidget(parent)
    , mViewSize(viewSize)
    , mWidth(new QSpinBox)
    , mHeight(new QSpinBox)
    , mScale(new QDoubleSpinBox)
    , mTransparent(offersTransparency ? new QCheckBox(tr("Transparent background")) : nullptr)
    , mForm(new QFormLayout(this))
{
    for (QSpinBox *side : { mWidth, mHeight }) {
        side->setRange(1, maxSide);
        side->setSuffix(tr(" px"));
    }
    mWidth->setValue(viewSize.width());
    mHeight->setValue(viewSize.height());
    // A scale reaches the longest side the format takes.
    const int longest = std::max({ viewSize.width(), viewSize.height(), 1 });
    mScale->setRange(0.1, std::max(1.0, double(maxSide) / longest));
    mScale->setSingleStep(0.5);
    mScale->setDecimals(2);
    mScale->setValue(1.0);
    mScale->setSuffix(tr(" \u00d7 the view"));
    connect(mScale, &QDoubleSpinBox::valueChanged, this, [this](double scale) {
        mWidth->setValue(int(std::lround(mViewSize.width() * scale)));
        mHeight->setValue(int(std::lround(mViewSize.height() * scale)));
    });

    auto *size = new QHBoxLayout;
    size->addWidget(mWidth);
    size->addWidget(new QLabel(QStringLiteral("\u00d7")));
    size->addWidget(mHeight);
    size->addWidget(mScale);
    size->addStretch();
    mForm->setContentsMargins(0, 0, 0, 0);
    mForm->addRow(tr("Picture size:"), size);
    if (mTransparent)
        mForm->addRow(QString(), mTransparent);
}

void ExportOptions::choose(FigurePicture &picture) const
{
    picture.width = mWidth->value();
    picture.height = mHeight->value();
    picture.transparent = mTransparent && mTransparent->isChecked();
}
