#include "document/exportoptions.h"

#include <QCheckBox>
#include <QDoubleSpinBox>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QSpinBox>

#include <cmath>

namespace {

// Pictures are drawn in one piece: this is a side every GL implementation here can draw.
constexpr int maxSide = 16384;

} // namespace

ExportOptions::ExportOptions(QSize viewSize, QWidget *parent)
    : QWidget(parent)
    , mViewSize(viewSize)
    , mWidth(new QSpinBox)
    , mHeight(new QSpinBox)
    , mScale(new QDoubleSpinBox)
    , mTransparent(new QCheckBox(tr("Transparent background")))
{
    for (QSpinBox *side : { mWidth, mHeight }) {
        side->setRange(1, maxSide);
        side->setSuffix(tr(" px"));
    }
    mWidth->setValue(viewSize.width());
    mHeight->setValue(viewSize.height());
    mScale->setRange(0.1, 16.0);
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
    auto *form = new QFormLayout(this);
    form->setContentsMargins(0, 0, 0, 0);
    form->addRow(tr("Picture size:"), size);
    form->addRow(QString(), mTransparent);
}

QSize ExportOptions::pictureSize() const
{
    return { mWidth->value(), mHeight->value() };
}

bool ExportOptions::transparent() const
{
    return mTransparent->isChecked();
}
