#include "document/lsdocument.h"

#include "document/documentcommand.h"
#include "document/exportoptions.h"
#include "document/model/documentfigure.h"
#include "document/model/documentfile.h"
#include "document/rulecelldelegate.h"
#include "document/rulestablemodel.h"
#include "figure/figurelimits.h"
#include "figure/figurerules.h"
#include "figure/figureworker.h"
#include "fileio/filename.h"
#include "platform/colorwell.h"
#include "platform/dialogfolder.h"
#include "ui_LSDocument.h"
#include "view/export/figureexport.h"
#include "view/figurecamera.h"
#include "view/lsglview.h"

#include <QFileDialog>
#include <QFileInfo>
#include <QGridLayout>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLocale>
#include <QMenu>
#include <QMenuBar>
#include <QShortcut>
#include <QUndoStack>

#include <climits>
#include <cmath>
#include <span>
#include <utility>

namespace {

// Merge ids: consecutive steps of one gesture (typing, a slider drag) undo as one.
enum MergeId {
    AxiomTyping = 1,
    AngleDrag,
    IterationsDrag,
};

QColor toQColor(const DocumentColor &color)
{
    const std::array<double, 4> c = color.rgba();
    return QColor::fromRgbF(float(c[0]), float(c[1]), float(c[2]), float(c[3]));
}

DocumentColor fromQColor(const QColor &color)
{
    return DocumentColor::calibratedRgb(float(color.redF()), float(color.greenF()),
                                        float(color.blueF()), float(color.alphaF()));
}

QStringList toQStringList(const std::vector<std::string> &list)
{
    QStringList out;
    out.reserve(qsizetype(list.size()));
    for (const std::string &s : list)
        out.append(QString::fromStdString(s));
    return out;
}

std::vector<std::string> toStdVector(const QStringList &list)
{
    std::vector<std::string> out;
    out.reserve(std::size_t(list.size()));
    for (const QString &s : list)
        out.push_back(s.toStdString());
    return out;
}

// Reads a number typed in a field, in the user's notation or the C locale's.
std::optional<double> parseNumber(const QString &text)
{
    bool ok = false;
    double value = QLocale().toDouble(text.trimmed(), &ok);
    if (!ok)
        value = QLocale::c().toDouble(text.trimmed(), &ok);
    if (!ok || std::isnan(value))
        return std::nullopt;
    return value;
}

} // namespace

LSDocument::LSDocument(QWidget *parent)
    : Document(parent)
    , mRules(new RulesTableModel(undoStack(), this))
{
    // The worker calls back on its own thread; what it reports is queued to this window's
    // thread, and Qt drops what is still queued when the window goes.
    mWorker = std::make_unique<FigureWorker>(
            [this](std::uint64_t serial, FigureResult result) {
                auto shared = std::make_shared<FigureResult>(std::move(result));
                QMetaObject::invokeMethod(
                        this, [this, serial, shared] { figureFinished(serial, *shared); },
                        Qt::QueuedConnection);
            },
            [this](std::uint64_t serial, const FigureProgress &progress) {
                QMetaObject::invokeMethod(
                        this, [this, serial, progress] { figureProgress(serial, progress); },
                        Qt::QueuedConnection);
            });
}

LSDocument::~LSDocument()
{
    // First: the work under way is cancelled and its thread ends (within milliseconds)
    // before anything it could call back into goes.
    mWorker.reset();
}

// clang-format off
lsGLView *LSDocument::glView() const { return mUi ? mUi->glView : nullptr; }
QLineEdit *LSDocument::axiomText() const { return mUi ? mUi->axiomText : nullptr; }
QTableView *LSDocument::ruleTable() const { return mUi ? mUi->ruleTable : nullptr; }
QPushButton *LSDocument::removeButton() const { return mUi ? mUi->removeButton : nullptr; }
QPushButton *LSDocument::moveUpButton() const { return mUi ? mUi->moveUpButton : nullptr; }
QPushButton *LSDocument::moveDownButton() const { return mUi ? mUi->moveDownButton : nullptr; }
QPushButton *LSDocument::showRulesButton() const { return mUi ? mUi->showRulesButton : nullptr; }
QDockWidget *LSDocument::rulesDrawer() const { return mUi ? mUi->rulesDrawer : nullptr; }
QSlider *LSDocument::angleSlider() const { return mUi ? mUi->angleSlider : nullptr; }
QLineEdit *LSDocument::angleField() const { return mUi ? mUi->angleField : nullptr; }
QSlider *LSDocument::iterationsSlider() const { return mUi ? mUi->iterationsSlider : nullptr; }
QLineEdit *LSDocument::iterationsField() const { return mUi ? mUi->iterationsField : nullptr; }
ColorWell *LSDocument::colorWell() const { return mUi ? mUi->colorWell : nullptr; }
ColorWell *LSDocument::bgColorWell() const { return mUi ? mUi->bgColorWell : nullptr; }
QProgressBar *LSDocument::progressWheel() const { return mUi ? mUi->progressWheel : nullptr; }
QPushButton *LSDocument::addRuleButton() const { return mUi ? mUi->addRuleButton : nullptr; }
QPushButton *LSDocument::generateButton() const { return mUi ? mUi->generateButton : nullptr; }
QLabel *LSDocument::statusLine() const { return mUi ? mUi->statusLine : nullptr; }
// clang-format on

QStringList LSDocument::letters() const
{
    return mRules->letters();
}

QStringList LSDocument::rules() const
{
    return mRules->rules();
}

QString LSDocument::axiom() const
{
    return mLoaded ? mAxiom : mAxiomString.value_or(QString());
}

// --- Loading and saving ---------------------------------------------------------------------

std::size_t LSDocument::maximumFileSize() const
{
    return kMaxDocumentBytes;
}

DocumentData LSDocument::documentData() const
{
    DocumentData data;
    data.axiom = axiom().toStdString();
    data.letters = toStdVector(mRules->letters());
    data.rules = toStdVector(mRules->rules());
    data.angle = mAngle;
    data.iterations = mIterations;
    data.color = mColor;
    data.bgColor = mBackgroundColor;
    return data;
}

bool LSDocument::dataRepresentation(QByteArray &data, QString *error) const
{
    std::vector<std::uint8_t> bytes;
    std::string cause;
    if (!writeDocument(documentData(), bytes, &cause)) {
        *error = QString::fromStdString(cause);
        return false;
    }
    data = QByteArray(reinterpret_cast<const char *>(bytes.data()), qsizetype(bytes.size()));
    return true;
}

bool LSDocument::readFromData(const QByteArray &bytes, QString *error)
{
    DocumentData data;
    std::string cause;
    const auto *begin = reinterpret_cast<const std::uint8_t *>(bytes.constData());
    if (!readDocument(std::span(begin, std::size_t(bytes.size())), data, &cause)) {
        *error = QString::fromStdString(cause);
        return false;
    }
    mRules->setRules(toQStringList(data.letters), toQStringList(data.rules));
    mAngle = data.angle;
    mIterations = data.iterations;
    if (!mLoaded) {
        // Opening: the window does not exist yet and takes the values when it loads.
        mColor = data.color;
        mBackgroundColor = data.bgColor;
        if (data.axiom)
            mAxiomString = QString::fromStdString(*data.axiom);
        return true;
    }
    // Reverting: every control, the table and the figure follow the file.
    applyAxiom(QString::fromStdString(data.axiom.value_or(std::string())));
    applyColor(data.color);
    applyBackgroundColor(data.bgColor);
    showAngle();
    showIterations();
    generate();
    return true;
}

void LSDocument::loadInterface()
{
    mUi = std::make_unique<Ui::LSDocument>();
    mUi->setupUi(this);
    awakeFromNib();
}

void LSDocument::awakeFromNib()
{
    // A line edit keeps 32,767 characters by default: an axiom is never cut.
    mUi->axiomText->setMaxLength(INT_MAX);
    mUi->colorWell->setColor(toQColor(mColor));
    mUi->bgColorWell->setColor(toQColor(mBackgroundColor));
    mUi->glView->setColor(mUi->colorWell->color());
    mUi->glView->setBackgroundColor(mUi->bgColorWell->color());
    mUi->glView->update();

    // A progress bar, shown only while a figure is made, beside the status line that says
    // what is being made; its room stays reserved so the status line does not jump.
    mUi->progressWheel->setRange(0, 0);
    QSizePolicy policy = mUi->progressWheel->sizePolicy();
    policy.setRetainSizeWhenHidden(true);
    mUi->progressWheel->setSizePolicy(policy);
    mUi->progressWheel->hide();
    // Two lines of status are reserved too: a message that wraps would otherwise shrink
    // the view, which then builds its figure again for the new size.
    mUi->statusLine->setMinimumHeight(2 * mUi->statusLine->fontMetrics().lineSpacing());

    // The Generate button reads Stop while a generation runs; wide enough for both, so
    // that the controls do not move when it changes.
    QPushButton *button = mUi->generateButton;
    const QString generate = button->text();
    button->setText(tr("&Stop"));
    const int stopWidth = button->sizeHint().width();
    button->setText(generate);
    button->setMinimumWidth(std::max(stopWidth, button->sizeHint().width()));
}

void LSDocument::windowDidLoad()
{
    mLoaded = true;
    showAngle();
    showIterations();
    mUi->ruleTable->setModel(mRules);
    mUi->ruleTable->setItemDelegate(new RuleCellDelegate(mUi->ruleTable));
    mUi->ruleTable->horizontalHeader()->setSectionResizeMode(RulesTableModel::LetterColumn,
                                                             QHeaderView::ResizeToContents);
    connectControls();
    mUi->rulesDrawer->show();
    drawerVisibilityChanged(true);
    if (mAxiomString) {
        applyAxiom(*mAxiomString);
        mAxiomString.reset();
        generate();
    } else {
        mAxiom = mUi->axiomText->text();
    }
}

void LSDocument::connectControls()
{
    // The Generate button reads Stop while a generation runs.
    connect(mUi->generateButton, &QPushButton::clicked, this, [this] {
        if (mGenerating)
            stop();
        else
            generate();
    });
    connect(mUi->axiomText, &QLineEdit::returnPressed, this, &LSDocument::generate);
    connect(mUi->glView, &lsGLView::buildProgress, this, &LSDocument::drawingProgress);
    connect(mUi->glView, &lsGLView::figureReady, this, &LSDocument::drawingFinished);
    connect(mUi->axiomText, &QLineEdit::textChanged, this, &LSDocument::axiomEdited);

    connect(mUi->angleSlider, &QSlider::valueChanged, this, [this](int value) { setAngle(value); });
    connect(mUi->iterationsSlider, &QSlider::valueChanged, this, &LSDocument::setIterations);
    // Enter always sends the value; leaving a field sends it only when it was edited.
    connect(mUi->angleField, &QLineEdit::returnPressed, this, &LSDocument::angleFieldEntered);
    connect(mUi->angleField, &QLineEdit::editingFinished, this, [this] {
        if (mUi->angleField->isModified())
            angleFieldEntered();
    });
    connect(mUi->iterationsField, &QLineEdit::returnPressed, this,
            &LSDocument::iterationsFieldEntered);
    connect(mUi->iterationsField, &QLineEdit::editingFinished, this, [this] {
        if (mUi->iterationsField->isModified())
            iterationsFieldEntered();
    });
    for (QWidget *field : { mUi->axiomText, mUi->angleField, mUi->iterationsField })
        routeUndoShortcuts(field);

    connect(mUi->colorWell, &ColorWell::colorPicked, this, [this](const QColor &picked) {
        const DocumentColor before = mColor;
        const DocumentColor after = fromQColor(picked);
        undoStack()->push(new DocumentCommand(
                tr("Change Line Colour"), [this, after] { applyColor(after); },
                [this, before] { applyColor(before); }));
    });
    connect(mUi->bgColorWell, &ColorWell::colorPicked, this, [this](const QColor &picked) {
        const DocumentColor before = mBackgroundColor;
        const DocumentColor after = fromQColor(picked);
        undoStack()->push(new DocumentCommand(
                tr("Change Background Colour"), [this, after] { applyBackgroundColor(after); },
                [this, before] { applyBackgroundColor(before); }));
    });

    connect(mUi->addRuleButton, &QPushButton::clicked, this, &LSDocument::addRule);
    connect(mUi->removeButton, &QPushButton::clicked, this, &LSDocument::removeRule);
    connect(mUi->moveUpButton, &QPushButton::clicked, this, &LSDocument::moveRuleUp);
    connect(mUi->moveDownButton, &QPushButton::clicked, this, &LSDocument::moveRuleDown);
    // Only while the table itself has the focus: in a cell editor Delete edits the text.
    auto *remove = new QShortcut(QKeySequence::Delete, mUi->ruleTable, nullptr, nullptr,
                                 Qt::WidgetShortcut);
    connect(remove, &QShortcut::activated, this, &LSDocument::removeRule);
    connect(mUi->ruleTable->selectionModel(), &QItemSelectionModel::selectionChanged, this,
            &LSDocument::tableViewSelectionDidChange);
    // Removing the selected row changes the selection without selectionChanged.
    connect(mRules, &QAbstractItemModel::rowsRemoved, this,
            &LSDocument::tableViewSelectionDidChange);
    connect(mRules, &QAbstractItemModel::modelReset, this,
            &LSDocument::tableViewSelectionDidChange);
    connect(mRules, &QAbstractItemModel::rowsMoved, this, &LSDocument::tableViewSelectionDidChange);
    // Any change of the rules may put the figure out of date (or, undone, back in date).
    connect(mRules, &QAbstractItemModel::dataChanged, this, &LSDocument::inputsEdited);
    connect(mRules, &QAbstractItemModel::rowsInserted, this, &LSDocument::inputsEdited);
    connect(mRules, &QAbstractItemModel::rowsRemoved, this, &LSDocument::inputsEdited);
    connect(mRules, &QAbstractItemModel::rowsMoved, this, &LSDocument::inputsEdited);
    connect(mRules, &QAbstractItemModel::modelReset, this, &LSDocument::inputsEdited);

    connect(mUi->showRulesButton, &QPushButton::clicked, this,
            [this] { mUi->rulesDrawer->setVisible(mUi->rulesDrawer->isHidden()); });
    connect(mUi->rulesDrawer, &QDockWidget::visibilityChanged, this,
            &LSDocument::drawerVisibilityChanged);
}

void LSDocument::keyPressEvent(QKeyEvent *event)
{
    // Esc that no control took (an open cell editor closes on it) stops the work under way.
    if (event->key() == Qt::Key_Escape && event->modifiers() == Qt::NoModifier && mGenerating) {
        stop();
        return;
    }
    Document::keyPressEvent(event);
}

void LSDocument::addFileMenuItems(QMenu *fileMenu)
{
    QMenu *exportMenu = fileMenu->addMenu(tr("&Export"));
    exportMenu->addAction(tr("&PNG\u2026"), this, &LSDocument::exportPng);
    exportMenu->addAction(tr("&SVG\u2026"), this, &LSDocument::exportSvg);
}

void LSDocument::addMenus(QMenuBar *bar)
{
    lsGLView *view = mUi->glView;
    QMenu *menu = bar->addMenu(tr("&View"));
    menu->addAction(tr("Zoom &In"), QKeySequence::ZoomIn, view, &lsGLView::zoomIn);
    menu->addAction(tr("Zoom &Out"), QKeySequence::ZoomOut, view, &lsGLView::zoomOut);
    // Home fits too, in the view itself: the rules table and the fields keep theirs.
    menu->addAction(tr("&Fit"), QKeySequence(Qt::CTRL | Qt::Key_0), view, &lsGLView::fit);
    menu->addSeparator();
    QAction *spin = menu->addAction(tr("&Spin"), view, &lsGLView::setSpinning);
    spin->setCheckable(true);
    spin->setChecked(view->isSpinning());
}

// --- Generation and parameters --------------------------------------------------------------

FigureRequest LSDocument::figureRequest() const
{
    FigureRequest request = ::figureRequest(documentData());
    request.stringBudget = mByteBudget;
    return request;
}

void LSDocument::generate()
{
    if (!mUi)
        return;
    mUi->ruleTable->clearSelection();
    mDrawing = false;
    mTimingDraw = false;
    mRequestClock.start();
    mLatestSerial = mWorker->request(figureRequest());
    setGenerating(true);
    mGeneratedInputs = { mAxiom, mRules->letters(), mRules->rules() };
    inputsEdited();
}

void LSDocument::inputsEdited()
{
    const bool outOfDate =
            !(FigureInputs{ mAxiom, mRules->letters(), mRules->rules() } == mGeneratedInputs);
    if (!mUi || outOfDate == mFigureOutOfDate)
        return;
    mFigureOutOfDate = outOfDate;
    QPushButton *button = mUi->generateButton;
    if (outOfDate) {
        QPalette highlighted = button->palette();
        highlighted.setColor(QPalette::Button, highlighted.color(QPalette::Highlight));
        highlighted.setColor(QPalette::ButtonText, highlighted.color(QPalette::HighlightedText));
        button->setPalette(highlighted);
        button->setToolTip(tr("The figure does not show the latest axiom and rules yet: "
                              "generate it again."));
    } else {
        button->setPalette(QPalette());
        button->setToolTip(QString());
    }
}

void LSDocument::stop()
{
    if (!mGenerating)
        return;
    if (mDrawing) {
        mUi->glView->cancelBuild();
        mDrawing = false;
        setGenerating(false);
        showShown(true);
        return;
    }
    mWorker->cancel();
    // What is still on its way from the worker is of no request any more.
    ++mLatestSerial;
    setGenerating(false);
    showShown(true);
}

void LSDocument::showShown(bool stopped)
{
    const QString stop = stopped ? tr("Stopped. ") : QString();
    QString shown =
            mShown ? QString::fromStdString(describeFigure(*mShown, mShownSeconds)) : QString();
    // A number after '@' can scale the steps past what any picture holds: the view is blank.
    if (const auto geometry = mUi->glView->shownGeometry();
        geometry && !FigureCamera::canFrame(geometry->box))
        shown += tr(" The figure cannot be drawn: its size is not finite, or larger than a "
                    "picture can hold (a number after ‘@’ scales its steps so).");
    showStatus(stop + shown);
}

void LSDocument::figureProgress(std::uint64_t serial, const FigureProgress &progress)
{
    if (serial != mLatestSerial || !mGenerating)
        return;
    mUi->progressWheel->setRange(0, 100);
    mUi->progressWheel->setValue(int(progress.fraction * 100.0));
    mUi->progressWheel->show();
    showStatus(QString::fromStdString(describeProgress(progress)) + QStringLiteral("\u2026"));
}

void LSDocument::figureFinished(std::uint64_t serial, FigureResult &result)
{
    // A newer request is on its way: its figure replaces this one shortly.
    if (serial != mLatestSerial)
        return;
    setGenerating(false);
    // The angle may have changed while the figure was generated: it shows the current one.
    result.rules->angle = radiansFromDegrees(mAngle);
    mRuleSet = result.rules;
    mUi->glView->setRulesAndCommands(mRuleSet, std::move(result.commands));
    mShown = std::make_shared<const FigureResult>(std::move(result));
    // Until the view has drawn it, the time so far.
    mShownSeconds = double(mRequestClock.elapsed()) / 1000.0;
    mTimingDraw = true;
    showShown(false);
}

void LSDocument::drawingProgress(quint64 done, quint64 length)
{
    // The request after the figure drawn reports its own progress.
    if (mGenerating && !mDrawing)
        return;
    if (!mDrawing) {
        mDrawing = true;
        setGenerating(true);
    }
    mUi->progressWheel->setRange(0, 100);
    mUi->progressWheel->setValue(length > 0 ? int(100.0 * double(done) / double(length)) : 100);
    const QLocale locale;
    showStatus(tr("Drawing %1 of %2 symbols\u2026")
                       .arg(locale.toString(done), locale.toString(length)));
}

void LSDocument::drawingFinished()
{
    // The figure of the latest request is drawn: the status line gives the time it took.
    const bool timed = std::exchange(mTimingDraw, false);
    if (timed)
        mShownSeconds = double(mRequestClock.elapsed()) / 1000.0;
    if (mDrawing) {
        mDrawing = false;
        setGenerating(false);
    } else if (!timed || mGenerating) {
        return;
    }
    showShown(false);
}

void LSDocument::setGenerating(bool generating)
{
    mGenerating = generating;
    mUi->progressWheel->setRange(0, 0); // busy until the first report
    mUi->progressWheel->setVisible(generating);
    mUi->generateButton->setText(generating ? tr("&Stop") : tr("&Generate"));
}

void LSDocument::showStatus(const QString &message)
{
    mUi->statusLine->setText(message);
    mComplaintAbout = nullptr;
}

void LSDocument::showComplaint(QWidget *field, const QString &message)
{
    showStatus(message);
    mComplaintAbout = field;
}

void LSDocument::withdrawComplaint(QWidget *field)
{
    if (mComplaintAbout && mComplaintAbout == field)
        showStatus(QString());
}

void LSDocument::setIterations(int iterations)
{
    const int clamped = clampIterations(iterations);
    if (mUi)
        withdrawComplaint(mUi->iterationsField);
    if (clamped == mIterations || !mUi) {
        // No change to record, but the controls show the clamped count and it generates.
        mIterations = clamped;
        if (mUi) {
            showIterations();
            generate();
        }
        return;
    }
    const int before = mIterations;
    undoStack()->push(new DocumentCommand(
            tr("Change Iterations"), [this, clamped] { applyIterations(clamped); },
            [this, before] { applyIterations(before); },
            mUi->iterationsSlider->isSliderDown() ? IterationsDrag : -1));
}

void LSDocument::applyIterations(int iterations)
{
    mIterations = iterations;
    showIterations();
    generate();
}

void LSDocument::setAngle(double degrees)
{
    const double clamped = clampAngle(degrees);
    if (mUi)
        withdrawComplaint(mUi->angleField);
    if (clamped == mAngle || !mUi) {
        mAngle = clamped;
        if (mUi)
            showAngle();
        return;
    }
    const double before = mAngle;
    undoStack()->push(new DocumentCommand(
            tr("Change Angle"), [this, clamped] { applyAngle(clamped); },
            [this, before] { applyAngle(before); },
            mUi->angleSlider->isSliderDown() ? AngleDrag : -1));
}

void LSDocument::applyAngle(double degrees)
{
    mAngle = degrees;
    showAngle();
    // Turns the figure on screen without rewriting; a generation in progress picks the angle
    // up when it ends.
    if (mRuleSet)
        mUi->glView->setRuleAngle(radiansFromDegrees(mAngle));
    updateView();
}

void LSDocument::updateView()
{
    if (mUi)
        mUi->glView->update();
}

void LSDocument::showAngle()
{
    const int whole = int(mAngle); // truncated toward zero, as the controls show whole degrees
    const QSignalBlocker blocker(mUi->angleSlider);
    mUi->angleSlider->setValue(whole);
    mUi->angleField->setText(QString::number(whole));
}

void LSDocument::showIterations()
{
    const QSignalBlocker blocker(mUi->iterationsSlider);
    mUi->iterationsSlider->setValue(mIterations);
    mUi->iterationsField->setText(QString::number(mIterations));
}

void LSDocument::angleFieldEntered()
{
    const QString text = mUi->angleField->text();
    const std::optional<double> value = parseNumber(text);
    if (!value) {
        showComplaint(mUi->angleField,
                      tr("\u201c%1\u201d is not an angle: enter degrees from 0 to 360.").arg(text));
        showAngle();
        return;
    }
    // The field delivers single precision, as its value is a float.
    setAngle(double(float(*value)));
    showAngle();
}

void LSDocument::iterationsFieldEntered()
{
    const QString text = mUi->iterationsField->text();
    const std::optional<double> value = parseNumber(text);
    if (!value) {
        showComplaint(mUi->iterationsField,
                      tr("\u201c%1\u201d is not a number of iterations: enter 1 to 7.").arg(text));
        showIterations();
        return;
    }
    // Brought into int range before truncating; setIterations clamps the rest.
    setIterations(int(std::clamp(*value, -1.0, 100.0)));
}

void LSDocument::axiomEdited(const QString &text)
{
    if (text == mAxiom)
        return;
    const QString before = mAxiom;
    undoStack()->push(new DocumentCommand(
            tr("Edit Axiom"), [this, text] { applyAxiom(text); },
            [this, before] { applyAxiom(before); }, AxiomTyping));
}

void LSDocument::applyAxiom(const QString &axiom)
{
    mAxiom = axiom;
    if (mUi->axiomText->text() != axiom)
        mUi->axiomText->setText(axiom);
    inputsEdited();
}

void LSDocument::applyColor(const DocumentColor &color)
{
    mColor = color;
    mUi->colorWell->setColor(toQColor(color));
    mUi->glView->setColor(mUi->colorWell->color());
    updateView();
}

void LSDocument::applyBackgroundColor(const DocumentColor &color)
{
    mBackgroundColor = color;
    mUi->bgColorWell->setColor(toQColor(color));
    mUi->glView->setBackgroundColor(mUi->bgColorWell->color());
    updateView();
}

// --- Rules editor ---------------------------------------------------------------------------

void LSDocument::addRule()
{
    const int row = mRules->rowCount();
    undoStack()->push(new DocumentCommand(
            tr("Add Rule"),
            [this, row] { mRules->insertRule(row, QStringLiteral("?"), QString()); },
            [this, row] { mRules->removeRule(row); }));

    QTableView *table = mUi->ruleTable;
    table->clearSelection();
    table->selectRow(row);
    const QModelIndex cell = mRules->index(row, table->horizontalHeader()->logicalIndex(0));
    table->setCurrentIndex(cell);
    table->edit(cell);
}

void LSDocument::removeRule()
{
    const QModelIndexList selected = mUi->ruleTable->selectionModel()->selectedRows();
    if (selected.isEmpty())
        return;
    const int row = selected.constFirst().row();
    const QString letter = mRules->letters().at(row);
    const QString rule = mRules->rules().at(row);
    undoStack()->push(new DocumentCommand(
            tr("Remove Rule"), [this, row] { mRules->removeRule(row); },
            [this, row, letter, rule] { mRules->insertRule(row, letter, rule); }));
}

void LSDocument::moveSelectedRule(int by)
{
    const QModelIndexList selected = mUi->ruleTable->selectionModel()->selectedRows();
    if (selected.isEmpty())
        return;
    const int row = selected.constFirst().row();
    const int to = row + by;
    if (to < 0 || to >= mRules->rowCount())
        return;
    // The selection model tracks the moved row, so the selection travels with it.
    undoStack()->push(new DocumentCommand(
            tr("Move Rule"), [this, row, to] { mRules->moveRule(row, to); },
            [this, row, to] { mRules->moveRule(to, row); }));
}

void LSDocument::tableViewSelectionDidChange()
{
    const QModelIndexList selected = mUi->ruleTable->selectionModel()->selectedRows();
    const int row = selected.isEmpty() ? -1 : selected.constFirst().row();
    mUi->removeButton->setEnabled(row >= 0);
    mUi->moveUpButton->setEnabled(row > 0);
    mUi->moveDownButton->setEnabled(row >= 0 && row + 1 < mRules->rowCount());
}

void LSDocument::drawerVisibilityChanged(bool visible)
{
    mUi->showRulesButton->setText(visible ? tr("Hide Rules") : tr("Show Rules"));
}

// --- Snapshot, printing and export ----------------------------------------------------------

void LSDocument::snapshot()
{
    auto *dialog = new QFileDialog(this, tr("Save Snapshot"));
    dialog->setAcceptMode(QFileDialog::AcceptSave);
    dialog->setNameFilter(tr("TIFF images (*.tiff)"));
    dialog->setDefaultSuffix(QStringLiteral("tiff"));
    dialog->setDirectory(dialogFolder(fileName()));
    dialog->selectFile(QFileInfo(displayName()).completeBaseName());
    dialog->setWindowModality(Qt::WindowModal);
    dialog->setAttribute(Qt::WA_DeleteOnClose);
    connect(dialog, &QFileDialog::finished, this, [this, dialog](int result) {
        snapshotSheetDidEnd(result, dialog->selectedFiles().value(0));
    });
    dialog->open();
}

void LSDocument::snapshotSheetDidEnd(int returnCode, const QString &path)
{
    if (returnCode == 0 || path.isEmpty())
        return;
    noteDialogFolder(path);
    QString file = path;
    if (!file.endsWith(QLatin1String(".tiff"), Qt::CaseInsensitive))
        file += QLatin1String(".tiff");
    QString error;
    if (mUi->glView->snapshotToFile(file, &error) != 0)
        showError(tr("The snapshot could not be saved."), error);
}

void LSDocument::printShowingPrintPanel()
{
    mUi->glView->print(displayName());
}

void LSDocument::saveFigure(
        const QString &title,
        const QString &filter,
        const QString &suffix,
        const std::function<bool(const QString &, const ExportOptions &, QString *)> &write)
{
    // Refused before the file dialog: there would be nothing but the background to write.
    if (const QString missing = missingFigure(); !missing.isEmpty()) {
        showError(tr("The figure could not be exported."), missing);
        return;
    }
    auto *dialog = new QFileDialog(this, title);
    dialog->setAcceptMode(QFileDialog::AcceptSave);
    dialog->setNameFilter(filter);
    dialog->setDefaultSuffix(suffix);
    dialog->setDirectory(dialogFolder(fileName()));
    dialog->selectFile(QFileInfo(displayName()).completeBaseName());
    dialog->setWindowModality(Qt::WindowModal);
    dialog->setAttribute(Qt::WA_DeleteOnClose);
    // The options go below the file dialog's own controls, which only Qt's dialog lets add.
    dialog->setOption(QFileDialog::DontUseNativeDialog);
    auto *options = new ExportOptions(mUi->glView->pixelSize());
    if (auto *grid = qobject_cast<QGridLayout *>(dialog->layout()))
        grid->addWidget(options, grid->rowCount(), 0, 1, grid->columnCount());
    connect(dialog, &QFileDialog::fileSelected, this, [this, write, options](const QString &path) {
        noteDialogFolder(path);
        QString error;
        if (!write(path, *options, &error))
            showError(tr("The figure could not be exported."), error);
    });
    dialog->open();
}

QString LSDocument::missingFigure() const
{
    if (mUi->glView->shownGeometry())
        return {};
    return mUi->glView->heldCommands()
                   ? tr("The figure is still being built: export it once it is shown.")
                   : tr("There is no figure to export yet: generate one first.");
}

void LSDocument::exportPng()
{
    saveFigure(tr("Export PNG"), tr("PNG images (*.png)"), QStringLiteral("png"),
               [this](const QString &path, const ExportOptions &options, QString *error) {
                   lsGLView *view = mUi->glView;
                   const QSize size = options.pictureSize();
                   const double spin = view->spinAngle(); // both pictures at one angle
                   const std::string file = encodeFileName(path.toStdU16String());
                   std::string cause;
                   bool written = false;
                   if (options.transparent()) {
                       const lsImageRep onBlack = view->renderPicture(size, spin, { 0, 0, 0, 1 });
                       const lsImageRep onWhite = view->renderPicture(size, spin, { 1, 1, 1, 1 });
                       written = !onBlack.isNull() && !onWhite.isNull()
                                 && writeTransparentPng(onBlack, onWhite, file, &cause);
                   } else {
                       const lsImageRep image =
                               view->renderPicture(size, spin, view->backgroundColor());
                       written = !image.isNull() && writePng(image, file, &cause);
                   }
                   if (!written)
                       *error = cause.empty() ? tr("There is not enough memory for a picture of "
                                                   "%1 \u00d7 %2 pixels.")
                                                        .arg(size.width())
                                                        .arg(size.height())
                                              : QString::fromStdString(cause);
                   return written;
               });
}

void LSDocument::exportSvg()
{
    saveFigure(tr("Export SVG"), tr("SVG images (*.svg)"), QStringLiteral("svg"),
               [this](const QString &path, const ExportOptions &options, QString *error) {
                   lsGLView *view = mUi->glView;
                   const std::shared_ptr<const lsGeometry> geometry = view->shownGeometry();
                   if (!geometry) {
                       *error = missingFigure();
                       return false;
                   }
                   const QSize size = options.pictureSize();
                   std::optional<std::array<double, 4>> background;
                   if (!options.transparent())
                       background = view->backgroundColor();
                   std::string cause;
                   if (writeSvg(*geometry, view->lineColor(), background, size.width(),
                                size.height(), view->spinAngle(), view->view(),
                                encodeFileName(path.toStdU16String()), &cause))
                       return true;
                   *error = QString::fromStdString(cause);
                   return false;
               });
}
