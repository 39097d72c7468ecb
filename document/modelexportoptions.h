#pragma once

#include "figure/jobthread.h"
#include "session/figurepicture.h"

#include <QWidget>

#include <cstdint>
#include <memory>
#include <string>

class QDoubleSpinBox;
class QLabel;

// The choices of a 3D model beside its file name: polylines, or tubes of a radius around
// them; and the model's size, measured off the window's thread as the choices change, so
// that it is known before anything is written (and a model past the limit is seen to be).
class ModelExportOptions : public QWidget
{
    Q_OBJECT

public:
    // The model of `figure` turned by `degrees`, named `name`, as `format` (Obj or Ply)
    // holds it.
    ModelExportOptions(FigurePicture::Format format,
                       const std::string &name,
                       std::shared_ptr<const FigureResult> figure,
                       double degrees,
                       QWidget *parent = nullptr);

    void choose(FigurePicture &picture) const;

signals:
    // The size is stated.
    void measured();

private:
    void measure();

    FigurePicture::Format mFormat;
    std::string mName;
    std::shared_ptr<const FigureResult> mFigure;
    double mDegrees;
    QDoubleSpinBox *mRadius;
    QLabel *mSize;
    std::uint64_t mSerial = 0; // of the latest measuring
    JobThread::Cancel mMeasuring;
    JobThread mJobs; // last: its thread calls into everything above until it goes
};
