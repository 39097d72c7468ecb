#pragma once

#include "document/model/documentcolor.h"
#include "document/model/documentdata.h"
#include "figure/figurepipeline.h"
#include "platform/document.h"

#include <QStringList>

#include <memory>
#include <optional>

class ColorWell;
class FigureExports;
class FigureSession;
class FigureStatusView;
class QDockWidget;
class QLabel;
class QLineEdit;
class QProgressBar;
class QPushButton;
class QSlider;
class QTableView;
class RulesTableModel;
class lsGLView;

namespace Ui {
class LSDocument;
}

// An L-system document and its window (resources/LSDocument.ui): the axiom, the rules table in
// the rules drawer, the angle and iteration controls, the two colour wells and the figure.
//
// The figure belongs to the document's FigureSession, which takes every request made
// through the controls (Generate, the iteration count, the angle, the view, Stop and Esc,
// the snapshot and the exports) and says what the status line, the Generate button and the
// progress bar show; the view draws what the session builds for it.
// Every edit is an undo step.
class LSDocument : public Document
{
    Q_OBJECT

public:
    explicit LSDocument(QWidget *parent = nullptr);
    ~LSDocument() override;

    // The window's outlets; null until the window has loaded.
    lsGLView *glView() const;
    QLineEdit *axiomText() const;
    QTableView *ruleTable() const;
    QPushButton *removeButton() const;
    QPushButton *moveUpButton() const;
    QPushButton *moveDownButton() const;
    QPushButton *showRulesButton() const;
    QDockWidget *rulesDrawer() const;
    QSlider *angleSlider() const;
    QLineEdit *angleField() const;
    QSlider *iterationsSlider() const;
    QLineEdit *iterationsField() const;
    ColorWell *colorWell() const;
    ColorWell *bgColorWell() const;
    QProgressBar *progressWheel() const;
    QPushButton *addRuleButton() const;
    QPushButton *generateButton() const;
    QLabel *statusLine() const;

    QStringList letters() const;
    QStringList rules() const;
    QString axiom() const;
    double angle() const { return mAngle; }
    int iterations() const { return mIterations; }
    DocumentColor color() const { return mColor; }
    DocumentColor backgroundColor() const { return mBackgroundColor; }
    // The owner of the figure: what is shown, what is under way.
    FigureSession *session() const { return mSession; }
    // The export, snapshot and animation dialogs of the File menu.
    FigureExports *exports() const { return mExports; }
    // True while the axiom or the rules differ from those of the latest generation: the figure
    // is out of date, and the Generate button stands out until the next generation.
    bool isFigureOutOfDate() const { return mFigureOutOfDate; }

    // The request a generation of the document as it stands makes.
    FigureRequest figureRequest() const;
    // The most a generated string may take; a longer pass is streamed, never written out.
    void setByteBudget(std::uint64_t bytes) { mByteBudget = bytes; }

public slots:
    // Asks for a new generation of the current axiom, rules, angle and count.
    void generate();
    // Cancels the work under way (generating, drawing, writing a picture); the figure on
    // screen stays.
    void stop();
    // Clamps to 1-7, shows the count in both controls and generates.
    void setIterations(int iterations);
    // Clamps to 0-360 and keeps whole degrees, the fraction cut off, as files store the
    // angle; shows it in both controls and turns the figure on screen, without rewriting.
    void setAngle(double degrees);
    void updateView();

    void addRule();
    void removeRule();
    // Move the selected rule one row up or down, as one undo step; the selection follows it.
    void moveRuleUp() { moveSelectedRule(-1); }
    void moveRuleDown() { moveSelectedRule(1); }

    // Asks for a TIFF file name in a dialog modal for this window, then saves the figure.
    void snapshot();
    // The end of the snapshot dialog: returnCode 0 is a cancel.
    void snapshotSheetDidEnd(int returnCode, const QString &path);
    void printShowingPrintPanel();

protected:
    bool dataRepresentation(QByteArray &data, QString *error) const override;
    std::size_t maximumFileSize() const override;
    bool readFromData(const QByteArray &data, QString *error) override;
    void loadInterface() override;
    void windowDidLoad() override;
    void addFileMenuItems(QMenu *fileMenu) override;
    void addMenus(QMenuBar *bar) override;
    void keyPressEvent(QKeyEvent *event) override;
    void printDocument() override { printShowingPrintPanel(); }

private:
    void awakeFromNib();
    void connectControls();
    DocumentData documentData() const;
    void inputsEdited();
    // Apply a value to the document and its controls; undo commands call them.
    void applyIterations(int iterations);
    void applyAngle(double degrees);
    void applyAxiom(const QString &axiom);
    void applyColor(const DocumentColor &color);
    void applyBackgroundColor(const DocumentColor &color);
    void showAngle();
    void showIterations();

    void angleFieldEntered();
    void iterationsFieldEntered();
    void axiomEdited(const QString &text);
    void drawerVisibilityChanged(bool visible);
    void tableViewSelectionDidChange();
    void moveSelectedRule(int by);
    std::unique_ptr<Ui::LSDocument> mUi;
    RulesTableModel *mRules;
    FigureSession *mSession;
    // Once the window exists:
    FigureExports *mExports = nullptr;
    FigureStatusView *mStatus = nullptr;
    std::uint64_t mByteBudget = kMaxStringBytes;

    // What the latest generation was asked to draw, against which edits are compared.
    struct FigureInputs
    {
        QString axiom;
        QStringList letters;
        QStringList rules;
        bool operator==(const FigureInputs &) const = default;
    };
    FigureInputs mGeneratedInputs;
    bool mFigureOutOfDate = false;

    bool mLoaded = false;
    double mAngle = 0.0;
    int mIterations = 4;
    QString mAxiom;                      // mirrors axiomText once the window exists
    std::optional<QString> mAxiomString; // a loaded axiom waiting for the window
    DocumentColor mColor = DocumentColor::white();
    DocumentColor mBackgroundColor = DocumentColor::black();
};
