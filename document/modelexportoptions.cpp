#include "document/modelexportoptions.h"

#include "figure/figurerules.h"
#include "view/export/modelexport.h"

#include <QDoubleSpinBox>
#include <QFormLayout>
#include <QLabel>

#include <new>

namespace {

ModelOptions modelOptions(FigurePicture::Format format, const std::string &name, double radius)
{
    ModelOptions options;
    options.format = format == FigurePicture::Obj ? ModelFormat::Obj : ModelFormat::Ply;
    options.name = name;
    options.tubeRadius = radius;
    return options;
}

} // namespace

ModelExportOptions::ModelExportOptions(FigurePicture::Format format,
                                       const std::string &name,
                                       std::shared_ptr<const FigureResult> figure,
                                       double degrees,
                                       QWidget *parent)
    : QWidget(parent)
    , mFormat(format)
    , mName(name)
    , mFigure(std::move(figure))
    , mDegrees(degrees)
    , mRadius(new QDoubleSpinBox)
    , mSize(new QLabel)
{
    mRadius->setObjectName(QStringLiteral("tubeRadius"));
    mRadius->setRange(0.0, 1e6);
    mRadius->setDecimals(3);
    mRadius->setSingleStep(0.5);
    mRadius->setSpecialValueText(tr("None: the line strips as polylines"));
    mRadius->setToolTip(tr("Tubes around the line strips, closed for printing, in figure units "
                           "(the turtle's first step is 10)"));
    mSize->setObjectName(QStringLiteral("modelSize"));
    mSize->setWordWrap(true);
    auto *form = new QFormLayout(this);
    form->setContentsMargins(0, 0, 0, 0);
    form->addRow(tr("Tube radius:"), mRadius);
    form->addRow(tr("Size:"), mSize);
    connect(mRadius, &QDoubleSpinBox::valueChanged, this, &ModelExportOptions::measure);
    measure();
}

void ModelExportOptions::choose(FigurePicture &picture) const
{
    picture.tubeRadius = mRadius->value();
    picture.name = mName;
}

void ModelExportOptions::measure()
{
    if (mMeasuring)
        mMeasuring->store(true);
    if (!mFigure->hasAxiom) {
        mSize->setText(tr("There is no model: the document has no axiom."));
        emit measured();
        return;
    }
    mSize->setText(tr("Measuring\u2026"));
    const std::uint64_t serial = ++mSerial;
    mMeasuring = mJobs.post([this, serial, figure = mFigure, turn = radiansFromDegrees(mDegrees),
                             options = modelOptions(mFormat, mName, mRadius->value())](
                                    const std::atomic<bool> &cancel) {
        lsRuleSet turtle;
        turtle.angle = turn;
        ModelSize size;
        QString text;
        try {
            if (!measureModel(turtle, *figure->commands.source(), options, size, { &cancel, {} }))
                return; // a newer measuring follows
            text = QString::fromStdString(describeModelSize(size));
            if (!size.finite)
                text = tr("None: the figure's steps grow past what a number holds.");
            else if (size.tooLarge)
                text += tr(": past the %1 MiB a model may have, so it cannot be exported.")
                                .arg(kMaxModelBytes >> 20);
        } catch (const std::bad_alloc &) {
            text = tr("Not known: there is not enough memory to measure it.");
        }
        QMetaObject::invokeMethod(
                this,
                [this, serial, text] {
                    if (serial != mSerial)
                        return;
                    mSize->setText(text);
                    emit measured();
                },
                Qt::QueuedConnection);
    });
}
