#include "document/lsdocument.h"

#include "document/documentcommand.h"
#include "document/documentvalues.h"
#include "document/figureexports.h"
#include "document/figurestatusview.h"
#include "document/model/documentfigure.h"
#include "document/model/documentfile.h"
#include "document/rulecelldelegate.h"
#include "document/rulestablemodel.h"
#include "figure/figurelimits.h"
#include "platform/colorwell.h"
#include "platform/dialogfolder.h"
#include "session/figuresession.h"
#include "ui_LSDocument.h"
#include "view/lsglview.h"

#include <QHeaderView>
#include <QKeyEvent>
#include <QLocale>
#include <QMenu>
#include <QMenuBar>
#include <QShortcut>
#include <QStatusBar>
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
    , mSession(new FigureSession(this))
{ }

LSDocument::~LSDocument()
{
    // First: the work under way is cancelled and its threads end (within milliseconds)
    // before anything they could call back into goes.
    delete mSession;
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
    mExports = new FigureExports(this, mSession, mUi->glView);

    // Along the whole bottom of the window, beside the rules drawer too: room for the
    // longest message on each of its two lines.
    statusBar()->addWidget(mUi->statusLine, 1);
    statusBar()->addPermanentWidget(mUi->progressWheel);
    statusBar()->setSizeGripEnabled(false);
    mStatus = new FigureStatusView(mSession, mUi->statusLine, mUi->progressWheel,
                                   mUi->generateButton);
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
        if (mSession->isBusy())
            stop();
        else
            generate();
    });
    connect(mUi->axiomText, &QLineEdit::returnPressed, this, &LSDocument::generate);
    // The view draws what the session builds for it, and tells it what it shows.
    lsGLView *view = mUi->glView;
    connect(mSession, &FigureSession::geometryChanged, view,
            [this] { mUi->glView->showGeometry(mSession->geometry()); });
    connect(mSession, &FigureSession::viewReset, view,
            [this] { mUi->glView->setView(mSession->view()); });
    connect(view, &lsGLView::geometryDrawn, mSession,
            [this] { mSession->geometryDrawn(mUi->glView->drawnGeometry()); });
    connect(view, &lsGLView::viewChanged, mSession,
            [this] { mSession->setViewport(mUi->glView->pixelSize(), mUi->glView->view()); });
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
    if (event->key() == Qt::Key_Escape && event->modifiers() == Qt::NoModifier
        && mSession->isBusy()) {
        stop();
        return;
    }
    Document::keyPressEvent(event);
}

void LSDocument::addFileMenuItems(QMenu *fileMenu)
{
    QMenu *exportMenu = fileMenu->addMenu(tr("&Export"));
    exportMenu->addAction(tr("&PNG\u2026"), mExports, &FigureExports::exportPng);
    exportMenu->addAction(tr("&SVG\u2026"), mExports, &FigureExports::exportSvg);
    exportMenu->addAction(tr("&OBJ Model\u2026"), mExports, &FigureExports::exportObj);
    exportMenu->addAction(tr("P&LY Model\u2026"), mExports, &FigureExports::exportPly);
    fileMenu->addAction(tr("Export Ani&mation\u2026"), mExports, &FigureExports::exportAnimation);
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
    mSession->generate(figureRequest());
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
    mStatus->setOutOfDate(outOfDate);
}

void LSDocument::stop()
{
    mSession->stop();
}

void LSDocument::setIterations(int iterations)
{
    const int clamped = clampIterations(iterations);
    if (mUi)
        mStatus->withdrawComplaint(mUi->iterationsField);
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
    const double clamped = wholeDegrees(degrees);
    if (mUi)
        mStatus->withdrawComplaint(mUi->angleField);
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
    // Turns the figure on screen without rewriting; a generation in progress comes at the
    // new angle too.
    mSession->setAngle(mAngle);
}

void LSDocument::updateView()
{
    if (mUi)
        mUi->glView->update();
}

void LSDocument::showAngle()
{
    const QSignalBlocker blocker(mUi->angleSlider);
    mUi->angleSlider->setValue(int(mAngle));
    mUi->angleField->setText(QString::number(mAngle));
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
        mStatus->showComplaint(
                mUi->angleField,
                tr("\u201c%1\u201d is not an angle: enter degrees from 0 to 360.").arg(text));
        showAngle();
        return;
    }
    setAngle(*value);
    showAngle();
}

void LSDocument::iterationsFieldEntered()
{
    const QString text = mUi->iterationsField->text();
    const std::optional<double> value = parseNumber(text);
    if (!value) {
        mStatus->showComplaint(
                mUi->iterationsField,
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
    mExports->snapshot();
}

void LSDocument::snapshotSheetDidEnd(int returnCode, const QString &path)
{
    mExports->snapshotSheetDidEnd(returnCode, path);
}

void LSDocument::printShowingPrintPanel()
{
    mUi->glView->print(displayName(), dialogFolder(fileName()));
}
