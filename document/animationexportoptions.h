#pragma once

#include "document/exportoptions.h"

class QComboBox;
class QSpinBox;

// The choices of an animation beside its file name: its frames' size, one turn or the
// figure growing (framed like the last pass, or each pass alone), how many frames a turn
// has, and how long each frame shows.
class AnimationExportOptions : public ExportOptions
{
    Q_OBJECT

public:
    // passes: the pass shown, which a growth has a frame for each of.
    AnimationExportOptions(QSize viewSize, int passes, QWidget *parent = nullptr);

    void choose(FigurePicture &picture) const override;

private:
    // A turn takes a number of frames; a growth has a frame per pass, and a framing.
    void kindChanged();

    int mPasses;
    int mTurnFrames = 36;
    QComboBox *mKind;
    QComboBox *mFraming;
    QSpinBox *mFrames;
    QSpinBox *mDelay;
};
