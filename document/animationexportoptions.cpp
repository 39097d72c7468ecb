#include "document/animationexportoptions.h"

#include <QComboBox>
#include <QFormLayout>
#include <QSpinBox>

#include <algorithm>

namespace {

// A GIF holds sides of 65535 pixels, but an animation is for a screen, and each of its
// frames takes the time a picture of its size takes.
constexpr int maxSide = 4096;

} // namespace

AnimationExportOptions::AnimationExportOptions(QSize viewSize, int passes, QWidget *parent)
    : ExportOptions(viewSize, maxSide, false, parent)
    , mPasses(std::max(passes, 1))
    , mKind(new QComboBox)
    , mFraming(new QComboBox)
    , mFrames(new QSpinBox)
    , mDelay(new QSpinBox)
{
    mKind->setObjectName(QStringLiteral("kind"));
    mKind->addItem(tr("One turn"), int(AnimationKind::Turn));
    mKind->addItem(tr("Growth, a pass a frame"), int(AnimationKind::Growth));
    mFraming->setObjectName(QStringLiteral("framing"));
    mFraming->addItem(tr("Like the last pass: it grows in place"), int(GrowthFraming::Last));
    mFraming->addItem(tr("Each pass alone"), int(GrowthFraming::Each));
    mFrames->setObjectName(QStringLiteral("frames"));
    mFrames->setRange(1, kMaxAnimationFrames);
    mFrames->setValue(mTurnFrames);
    mDelay->setObjectName(QStringLiteral("delay"));
    mDelay->setRange(kMinFrameDelayMs, kMaxFrameDelayMs);
    mDelay->setSingleStep(10);
    mDelay->setValue(100);
    mDelay->setSuffix(tr(" ms"));
    form()->addRow(tr("Animation:"), mKind);
    form()->addRow(tr("Framing:"), mFraming);
    form()->addRow(tr("Frames:"), mFrames);
    form()->addRow(tr("Frame time:"), mDelay);
    connect(mKind, &QComboBox::currentIndexChanged, this, &AnimationExportOptions::kindChanged);
    kindChanged();
}

void AnimationExportOptions::kindChanged()
{
    const bool turn = AnimationKind(mKind->currentData().toInt()) == AnimationKind::Turn;
    mFraming->setEnabled(!turn);
    if (mFrames->isEnabled())
        mTurnFrames = mFrames->value();
    mFrames->setEnabled(turn);
    mFrames->setValue(turn ? mTurnFrames : mPasses);
}

void AnimationExportOptions::choose(FigurePicture &picture) const
{
    ExportOptions::choose(picture);
    picture.animation = AnimationKind(mKind->currentData().toInt());
    picture.framing = GrowthFraming(mFraming->currentData().toInt());
    picture.frames = mFrames->value();
    picture.delayMs = mDelay->value();
}
