#pragma once

#include <QWidget>

class QCheckBox;
class QDoubleSpinBox;
class QSpinBox;

// The choices of an export beside its file name: the picture's size, set in pixels or as
// a scale of the view's, and whether the background is left transparent.
class ExportOptions : public QWidget
{
    Q_OBJECT

public:
    // viewSize: the view's size in pixels, which a scale of 1 gives.
    explicit ExportOptions(QSize viewSize, QWidget *parent = nullptr);

    QSize pictureSize() const;
    bool transparent() const;

private:
    QSize mViewSize;
    QSpinBox *mWidth;
    QSpinBox *mHeight;
    QDoubleSpinBox *mScale;
    QCheckBox *mTransparent;
};
