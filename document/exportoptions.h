#pragma once

#include "session/figurepicture.h"

#include <QWidget>

class QCheckBox;
class QDoubleSpinBox;
class QFormLayout;
class QSpinBox;

// The choices of a picture's export beside its file name: its size, set in pixels or as a
// scale of the view's, and (where the format has it) whether the background is left
// transparent. Further choices go below them, in form().
class ExportOptions : public QWidget
{
    Q_OBJECT

public:
    // viewSize: the view's size in pixels, which a scale of 1 gives; maxSide: the longest
    // side the format takes.
    ExportOptions(QSize viewSize, int maxSide, bool offersTransparency, QWidget *parent = nullptr);

    // Puts the choices into the picture to write.
    virtual void choose(FigurePicture &picture) const;

protected:
    QFormLayout *form() const { return mForm; }

private:
    QSize mViewSize;
    QSpinBox *mWidth;
    QSpinBox *mHeight;
    QDoubleSpinBox *mScale;
    QCheckBox *mTransparent; // null where the format has no transparency
    QFormLayout *mForm;
};
