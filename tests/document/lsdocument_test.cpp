// The document window: opening, saving, reverting, closing, undo, the rules editor, snapshot.
#include "document/exportoptions.h"
#include "document/figureexports.h"
#include "document/rulestablemodel.h"
#include "documenttest.h"
#include "platform/colorwell.h"
#include "tests/filesizelimit.h"

#include <QCheckBox>
#include <QColorDialog>
#include <QComboBox>
#include <QDockWidget>
#include <QDoubleSpinBox>
#include <QFileDialog>
#include <QHeaderView>
#include <QImage>
#include <QImageReader>
#include <QLabel>
#include <QLineEdit>
#include <QPrintDialog>
#include <QPrinter>
#include <QProgressBar>
#include <QRegularExpression>
#include <QScreen>
#include <QSlider>
#include <QSpinBox>
#include <QTableView>
#include <QUndoStack>

#include <sys/stat.h>
#include <unistd.h>

using namespace documenttest;

namespace {

QColor wellColor(const DocumentColor &color)
{
    const auto c = color.rgba();
    return QColor::fromRgbF(float(c[0]), float(c[1]), float(c[2]), float(c[3]));
}

QString title(const char *name)
{
    return QString::fromUtf8(name) + QStringLiteral("[*] \u2014 document_test");
}

// Picks a colour in a well the way a user does: click, choose in the dialog, OK.
void pickColor(ColorWell *well, const QColor &color, const QString &dialogTitle = QString())
{
    well->click();
    QColorDialog *dialog = nullptr;
    ASSERT_TRUE(waitUntil([&] { return (dialog = well->findChild<QColorDialog *>()); }));
    EXPECT_TRUE(dialog->testOption(QColorDialog::ShowAlphaChannel));
    if (!dialogTitle.isEmpty()) {
        EXPECT_EQ(dialog->windowTitle(), dialogTitle);
    }
    dialog->setCurrentColor(color);
    dialog->accept();
}

// What a document holds, for comparing before and after an edit.
struct State
{
    QString axiom;
    QStringList letters, rules;
    double angle;
    int iterations;
    DocumentColor color, background;

    bool operator==(const State &o) const
    {
        return axiom == o.axiom && letters == o.letters && rules == o.rules && angle == o.angle
               && iterations == o.iterations && color == o.color && background == o.background;
    }
};

State stateOf(LSDocument *d)
{
    return { d->axiom(),      d->letters(), d->rules(),          d->angle(),
             d->iterations(), d->color(),   d->backgroundColor() };
}

// The view takes colours through QColor, exact to 16 bits per channel.
void expectViewColor(const std::array<double, 4> &shown, const DocumentColor &color)
{
    for (int i = 0; i < 4; ++i)
        EXPECT_NEAR(shown[i], color.rgba()[i], 1.0 / 65535);
}

// The controls show the document's values.
void expectControlsShow(LSDocument *d)
{
    EXPECT_EQ(d->axiomText()->text(), d->axiom());
    EXPECT_EQ(d->angleSlider()->value(), int(d->angle()));
    EXPECT_EQ(d->angleField()->text(), QString::number(int(d->angle())));
    EXPECT_EQ(d->iterationsSlider()->value(), d->iterations());
    EXPECT_EQ(d->iterationsField()->text(), QString::number(d->iterations()));
    EXPECT_EQ(d->colorWell()->color(), wellColor(d->color()));
    EXPECT_EQ(d->bgColorWell()->color(), wellColor(d->backgroundColor()));
    const QAbstractItemModel *table = d->ruleTable()->model();
    ASSERT_EQ(table->rowCount(), d->letters().size());
    for (int row = 0; row < table->rowCount(); ++row) {
        EXPECT_EQ(table->index(row, 0).data().toString(), d->letters().at(row));
        EXPECT_EQ(table->index(row, 1).data().toString(), d->rules().at(row));
    }
}

} // namespace

TEST_F(DocumentTest, OpenedFileFillsEveryControlAndGenerates)
{
    const DocumentData data = kochData();
    LSDocument *d = openData(data, QStringLiteral("Koch.lsd"));
    ASSERT_TRUE(d);
    EXPECT_EQ(d->windowTitle(), title("Koch.lsd"));
    EXPECT_FALSE(d->isModified());
    EXPECT_EQ(d->axiom(), QStringLiteral("F-F-F-F"));
    EXPECT_EQ(d->letters(), QStringList{ QStringLiteral("F") });
    EXPECT_EQ(d->angle(), 90.0);
    EXPECT_EQ(d->iterations(), 2);
    EXPECT_EQ(d->color(), data.color);
    EXPECT_EQ(d->backgroundColor(), data.bgColor);
    expectControlsShow(d);
    EXPECT_FALSE(d->rulesDrawer()->isHidden());
    EXPECT_EQ(d->showRulesButton()->text(), QStringLiteral("Hide Rules"));
    expectViewColor(d->glView()->lineColor(), data.color);
    EXPECT_TRUE(
            showsGeometry(d, expectedGeometry("F-F-F-F", { "F" }, { "F+F-F-FF+F+F-F" }, 90, 2)));
    EXPECT_TRUE(d->progressWheel()->isHidden());
    // Opening the same file again brings its window forward instead of a second copy.
    EXPECT_EQ(controller()->openDocumentWithContentsOfFile(path(QStringLiteral("Koch.lsd")), true),
              d);
    EXPECT_EQ(controller()->documents().size(), 1);
}

TEST_F(DocumentTest, ADocumentOfTheLargestSizeOpensEditsWholeAndSavesIntact)
{
    // Exactly as large as a document may be: a long axiom, and rules filling the rest.
    DocumentData data = kochData();
    data.axiom = std::string(20000, 'F') + std::string(20000, '+');
    data.letters.assign(256, "X"); // not in the axiom: the figure stays small
    data.rules.assign(256, std::string(65000, 'X'));
    data.rules.back().resize(data.rules.back().size() + kMaxDocumentBytes
                             - std::size_t(lsdBytes(data).size()));
    ASSERT_EQ(std::size_t(lsdBytes(data).size()), kMaxDocumentBytes);
    LSDocument *d = openData(data);
    ASSERT_TRUE(d);
    EXPECT_FALSE(d->isModified());
    EXPECT_EQ(d->undoStack()->count(), 0);
    EXPECT_EQ(d->axiomText()->text().size(), 40000);

    // The rule's cell editor holds it whole: committing it unchanged changes nothing.
    QTableView *table = d->ruleTable();
    const QModelIndex rule = table->model()->index(0, RulesTableModel::RuleColumn);
    table->openPersistentEditor(rule);
    QWidget *editor = table->indexWidget(rule);
    ASSERT_TRUE(editor);
    table->itemDelegateForIndex(rule)->setModelData(editor, table->model(), rule);
    table->closePersistentEditor(rule);
    EXPECT_EQ(d->undoStack()->count(), 0);

    // An edit that keeps the size saves, and the file opens again.
    d->setAngle(45);
    QString error;
    ASSERT_TRUE(d->saveToFile(path(QStringLiteral("long.lsd")), &error)) << error.toStdString();
    const DocumentData saved = readLsd(path(QStringLiteral("long.lsd")));
    EXPECT_EQ(saved.axiom, data.axiom);
    EXPECT_EQ(saved.rules, data.rules);
    EXPECT_EQ(saved.angle, 45);

    // One character more would make a file no window opens: refused, the file kept.
    QTest::keyClicks(d->axiomText(), QStringLiteral("+"));
    EXPECT_FALSE(d->saveToFile(path(QStringLiteral("long.lsd")), &error));
    EXPECT_EQ(error.toStdString(), "The file \u201clong.lsd\u201d could not be written: it would "
                                   "take 16777217 bytes, more than the 16777216 (16 MiB) a "
                                   "document may take.");
    EXPECT_TRUE(d->isModified());
    EXPECT_EQ(readLsd(path(QStringLiteral("long.lsd"))), saved);
}

TEST_F(DocumentTest, NewDocumentShowsNoFigureUntilAsked)
{
    LSDocument *d = newDocument();
    EXPECT_EQ(d->windowTitle(), title("Untitled"));
    EXPECT_FALSE(d->rulesDrawer()->isHidden());
    EXPECT_EQ(d->iterations(), 4);
    EXPECT_EQ(d->angleField()->text(), QStringLiteral("0"));
    EXPECT_EQ(d->ruleTable()->model()->rowCount(), 0);
    // A request would be under way at once: none is.
    EXPECT_FALSE(d->session()->isBusy());
    EXPECT_FALSE(d->glView()->shownGeometry());
    keepScreenshot(d, QStringLiteral("new-document.png"));
    // The axiom field's example draws a figure, not a line, at the angle the hint names.
    const QRegularExpressionMatch hint =
            QRegularExpression(QStringLiteral("e\\.g\\. (\\S+) with Angle (\\d+)"))
                    .match(d->axiomText()->placeholderText());
    ASSERT_TRUE(hint.hasMatch()) << d->axiomText()->placeholderText().toStdString();
    d->setAngle(hint.captured(2).toDouble());
    QTest::keyClicks(d->axiomText(), hint.captured(1));
    QTest::keyClick(d->axiomText(), Qt::Key_Return);
    ASSERT_TRUE(showsGeometry(d, expectedGeometry(hint.captured(1).toStdString(), {}, {},
                                                  hint.captured(2).toDouble(), 4)));
    const double *box = d->glView()->shownGeometry()->box;
    EXPECT_GT(std::min(box[lsMaxX] - box[lsMinX], box[lsMaxY] - box[lsMinY]), 0.0);
    EXPECT_EQ(controller()->newDocument()->displayName(), QStringLiteral("Untitled 2"));
}

TEST_F(DocumentTest, EditSaveReopenGivesTheSameDocument)
{
    LSDocument *d = newDocument();
    QTest::keyClicks(d->axiomText(), QStringLiteral("F+F"));
    d->addRule();
    QAbstractItemModel *table = d->ruleTable()->model();
    table->setData(table->index(0, 0), QStringLiteral("F"));
    table->setData(table->index(0, 1), QStringLiteral("F[+F]F"));
    d->setAngle(22.5);
    d->setIterations(3);
    pickColor(d->colorWell(), QColor(255, 0, 0, 128), QStringLiteral("Line Colour"));
    pickColor(d->bgColorWell(), QColor(0, 64, 0), QStringLiteral("Background Colour"));
    EXPECT_TRUE(d->isModified());
    EXPECT_EQ(d->windowTitle(), title("Untitled"));
    EXPECT_TRUE(d->isWindowModified());

    QString error;
    ASSERT_TRUE(d->saveToFile(path(QStringLiteral("Plant.lsd")), &error)) << error.toStdString();
    EXPECT_FALSE(d->isModified());
    EXPECT_EQ(d->windowTitle(), title("Plant.lsd"));
    EXPECT_TRUE(controller()->recentFiles().contains(d->fileName()));
    const State saved = stateOf(d);
    d->close();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);

    LSDocument *again = open(path(QStringLiteral("Plant.lsd")));
    ASSERT_TRUE(again);
    State expected = saved;
    expected.angle = 22.0; // saved in whole degrees
    EXPECT_EQ(stateOf(again), expected);
    expectControlsShow(again);
}

TEST_F(DocumentTest, RevertRestoresControlsTableAndFigure)
{
    const DocumentData data = kochData();
    LSDocument *d = openData(data);
    ASSERT_TRUE(d);
    const State original = stateOf(d);
    const ExpectedFigure figure = expectedGeometry("F-F-F-F", { "F" }, { "F+F-F-FF+F+F-F" }, 90, 2);
    ASSERT_TRUE(showsGeometry(d, figure));

    d->axiomText()->setText(QStringLiteral("F"));
    d->addRule();
    d->setAngle(45);
    d->setIterations(1);
    pickColor(d->colorWell(), Qt::green);
    ASSERT_TRUE(d->isModified());

    ASSERT_TRUE(d->revertToSaved());
    EXPECT_EQ(stateOf(d), original);
    EXPECT_FALSE(d->isModified());
    EXPECT_FALSE(d->undoStack()->canUndo());
    expectControlsShow(d);
    expectViewColor(d->glView()->lineColor(), data.color);
    EXPECT_TRUE(showsGeometry(d, figure));
}

TEST_F(DocumentTest, UndoAndRedoRestoreEachKindOfEdit)
{
    const std::vector<std::pair<const char *, std::function<void(LSDocument *)>>> edits = {
        { "axiom",
          [](LSDocument *d) {
              QTest::keyClicks(d->axiomText(), QStringLiteral("+F"));
          } },
        { "angle",
          [](LSDocument *d) {
              d->setAngle(60);
          } },
        { "angle field",
          [](LSDocument *d) {
              d->angleField()->setFocus();
              d->angleField()->selectAll();
              QTest::keyClicks(d->angleField(), QStringLiteral("45"));
              QTest::keyClick(d->angleField(), Qt::Key_Return);
          } },
        { "iterations",
          [](LSDocument *d) {
              d->setIterations(3);
          } },
        { "iterations slider",
          [](LSDocument *d) {
              d->iterationsSlider()->setValue(5);
          } },
        { "line colour",
          [](LSDocument *d) {
              pickColor(d->colorWell(), Qt::yellow);
          } },
        { "background colour",
          [](LSDocument *d) {
              pickColor(d->bgColorWell(), Qt::darkBlue);
          } },
        { "add rule",
          [](LSDocument *d) {
              d->addRule();
          } },
        { "letter",
          [](LSDocument *d) {
              auto *t = d->ruleTable()->model();
              t->setData(t->index(0, 0), QStringLiteral("G"));
          } },
        { "rule",
          [](LSDocument *d) {
              auto *t = d->ruleTable()->model();
              t->setData(t->index(0, 1), QStringLiteral("FF"));
          } },
        { "remove rule",
          [](LSDocument *d) {
              d->ruleTable()->selectRow(0);
              d->removeRule();
          } },
    };
    for (const auto &[name, edit] : edits) {
        SCOPED_TRACE(name);
        LSDocument *d = openData(kochData(), QStringLiteral("%1.lsd").arg(QLatin1String(name)));
        ASSERT_TRUE(d);
        const State before = stateOf(d);
        edit(d);
        const State after = stateOf(d);
        ASSERT_FALSE(after == before);
        EXPECT_TRUE(d->isModified());
        d->undoStack()->undo();
        EXPECT_EQ(stateOf(d), before);
        expectControlsShow(d);
        EXPECT_FALSE(d->isModified());
        d->undoStack()->redo();
        EXPECT_EQ(stateOf(d), after);
        expectControlsShow(d);
        EXPECT_TRUE(d->isModified());
    }
}

TEST_F(DocumentTest, TypingInTheAxiomUndoesAsOneStep)
{
    LSDocument *d = openData(kochData());
    ASSERT_TRUE(d);
    d->axiomText()->setFocus();
    d->axiomText()->end(false);
    QTest::keyClicks(d->axiomText(), QStringLiteral("+F+F"));
    EXPECT_EQ(d->axiom(), QStringLiteral("F-F-F-F+F+F"));
    // Ctrl+Z in the field acts on the document's history, not the field's own.
    QTest::keyClick(d->axiomText(), Qt::Key_Z, Qt::ControlModifier);
    EXPECT_EQ(d->axiom(), QStringLiteral("F-F-F-F"));
    EXPECT_EQ(d->axiomText()->text(), QStringLiteral("F-F-F-F"));
    EXPECT_FALSE(d->isModified());
}

TEST_F(DocumentTest, UnsavedChangesAskBeforeClosing)
{
    LSDocument *d = openData(kochData());
    ASSERT_TRUE(d);
    d->setIterations(3);
    {
        MessageBoxAnswerer cancel(QMessageBox::Cancel);
        EXPECT_FALSE(d->close());
        ASSERT_EQ(cancel.texts.size(), 1);
        EXPECT_TRUE(cancel.texts.first().contains(QStringLiteral("a.lsd")));
    }
    EXPECT_EQ(controller()->documents().size(), 1);
    {
        MessageBoxAnswerer save(QMessageBox::Save);
        EXPECT_TRUE(d->close());
    }
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_TRUE(controller()->documents().isEmpty());
    EXPECT_EQ(readLsd(path(QStringLiteral("a.lsd"))).iterations, 3);

    LSDocument *e = open(path(QStringLiteral("a.lsd")));
    e->setIterations(5);
    {
        MessageBoxAnswerer dontSave(QMessageBox::Discard);
        EXPECT_TRUE(controller()->closeAll());
        EXPECT_EQ(dontSave.texts.size(), 1);
    }
    EXPECT_EQ(readLsd(path(QStringLiteral("a.lsd"))).iterations, 3);
}

TEST_F(DocumentTest, FailedSaveKeepsTheDocumentAndSaysWhy)
{
    ASSERT_TRUE(QDir(mDir.path()).mkdir(QStringLiteral("sub")));
    LSDocument *d = openData(kochData(), QStringLiteral("sub/a.lsd"));
    ASSERT_TRUE(d);
    d->setIterations(6);
    QString error;
    EXPECT_FALSE(d->saveToFile(path(QStringLiteral("missing/b.lsd")), &error));
    EXPECT_TRUE(error.contains(QStringLiteral("b.lsd"))) << error.toStdString();
    EXPECT_TRUE(d->isModified());
    EXPECT_EQ(d->fileName(), path(QStringLiteral("sub/a.lsd")));

    // The document's folder goes away: Save says so and keeps the changes.
    ASSERT_TRUE(QDir(mDir.path()).rename(QStringLiteral("sub"), QStringLiteral("moved")));
    {
        MessageBoxAnswerer ok(QMessageBox::Ok);
        EXPECT_FALSE(d->save());
        ASSERT_EQ(ok.texts.size(), 1);
        EXPECT_TRUE(ok.texts.first().contains(QStringLiteral("a.lsd")));
    }
    EXPECT_TRUE(d->isModified());
    EXPECT_EQ(d->iterations(), 6);
    EXPECT_EQ(readLsd(path(QStringLiteral("moved/a.lsd"))).iterations, 2);
}

// Every write of the window, on a disk that takes no more: each one says why, and the old
// file keeps its bytes. A file size limit fails writes as a full disk does.
TEST_F(DocumentTest, FailedWritesKeepTheOldFilesAndTheChanges)
{
    LSDocument *d = openData(kochData(), QStringLiteral("Koch.lsd"));
    ASSERT_TRUE(d);
    ASSERT_TRUE(
            showsGeometry(d, expectedGeometry("F-F-F-F", { "F" }, { "F+F-F-FF+F+F-F" }, 90, 2)));
    d->setIterations(3);
    const QByteArray old("old bytes");
    const std::vector<std::pair<void (FigureExports::*)(), QString>> exports = {
        { &FigureExports::exportPng, QStringLiteral("Koch.png") },
        { &FigureExports::exportSvg, QStringLiteral("Koch.svg") },
        { &FigureExports::exportObj, QStringLiteral("Koch.obj") },
        { &FigureExports::exportAnimation, QStringLiteral("Koch.gif") },
    };
    QStringList names = { QStringLiteral("Koch.tiff") };
    for (const auto &[command, name] : exports)
        names.append(name);
    for (const QString &name : std::as_const(names))
        writeFile(path(name), old);
    const QByteArray saved = readFile(path(QStringLiteral("Koch.lsd")));

    MessageBoxAnswerer ok(QMessageBox::Ok);
    bool savedNow = false;
    {
        const FileSizeLimit full(64);
        savedNow = d->save();
        for (const auto &[command, name] : exports) {
            (d->exports()->*command)();
            QFileDialog *dialog = nullptr;
            ASSERT_TRUE(waitUntil([&] { return (dialog = d->findChild<QFileDialog *>()); }));
            dialog->setOption(QFileDialog::DontConfirmOverwrite);
            dialog->selectFile(path(name));
            QMetaObject::invokeMethod(dialog, "accept");
            QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
            ASSERT_TRUE(waitUntil([&] { return !d->session()->isBusy(); }));
        }
        d->snapshotSheetDidEnd(1, path(names[0]));
        ASSERT_TRUE(waitUntil([&] { return ok.texts.size() == names.size() + 1; }));
    }

    EXPECT_FALSE(savedNow);
    EXPECT_TRUE(d->isModified());
    EXPECT_EQ(readFile(path(QStringLiteral("Koch.lsd"))), saved);
    ASSERT_EQ(ok.texts.size(), names.size() + 1) << ok.texts.join(u'|').toStdString();
    for (const QString &text : std::as_const(ok.texts))
        EXPECT_TRUE(text.contains(QStringLiteral("File too large"))) << text.toStdString();
    for (const QString &name : std::as_const(names))
        EXPECT_EQ(readFile(path(name)), old) << name.toStdString();
    EXPECT_EQ(QDir(mDir.path()).entryList(QDir::Files | QDir::Hidden).size(), names.size() + 1);
}

TEST_F(DocumentTest, UnreadableFilesOpenNoWindow)
{
    const std::vector<std::pair<QString, QByteArray>> files = {
        { QStringLiteral("garbage.lsd"), QByteArray("this is not an archive at all") },
        { QStringLiteral("truncated.lsd"), lsdBytes(kochData()).left(40) },
        { QStringLiteral("empty.lsd"), QByteArray() },
    };
    for (const auto &[name, bytes] : files) {
        SCOPED_TRACE(name.toStdString());
        writeFile(path(name), bytes);
        MessageBoxAnswerer ok(QMessageBox::Ok);
        EXPECT_EQ(controller()->openDocumentWithContentsOfFile(path(name), true), nullptr);
        ASSERT_EQ(ok.texts.size(), 1);
        EXPECT_TRUE(ok.texts.first().contains(name)) << ok.texts.first().toStdString();
        EXPECT_TRUE(controller()->documents().isEmpty());
    }
    // Opening a FIFO would wait forever for a writer, /dev/zero would fill memory: both are
    // refused before anything is read.
    ASSERT_EQ(mkfifo(QFile::encodeName(path(QStringLiteral("pipe.lsd"))).constData(), 0600), 0);
    for (const QString &special :
         { path(QStringLiteral("pipe.lsd")), QStringLiteral("/dev/zero") }) {
        MessageBoxAnswerer ok(QMessageBox::Ok);
        EXPECT_EQ(controller()->openDocumentWithContentsOfFile(special, true), nullptr);
        ASSERT_EQ(ok.texts.size(), 1);
        EXPECT_TRUE(ok.texts.first().contains(QStringLiteral("not a regular file")))
                << ok.texts.first().toStdString();
    }
    QString error;
    EXPECT_EQ(controller()->openDocumentWithContentsOfFile(path(QStringLiteral("none.lsd")), true,
                                                           &error),
              nullptr);
    EXPECT_TRUE(error.contains(QStringLiteral("none.lsd")));
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    for (QWidget *w : QApplication::topLevelWidgets())
        EXPECT_FALSE(qobject_cast<LSDocument *>(w));
}

TEST_F(DocumentTest, RevertOfAFileDamagedMeanwhileKeepsTheDocument)
{
    LSDocument *d = openData(kochData());
    ASSERT_TRUE(d);
    d->setIterations(3);
    writeFile(path(QStringLiteral("a.lsd")), QByteArray("damaged"));
    MessageBoxAnswerer ok(QMessageBox::Ok);
    EXPECT_FALSE(d->revertToSaved());
    EXPECT_EQ(ok.texts.size(), 1);
    EXPECT_EQ(d->iterations(), 3);
    EXPECT_TRUE(d->isModified());
}

// --- Rules editor ---------------------------------------------------------------------------

TEST_F(DocumentTest, LetterCellsAreNormalisedRuleCellsStoredAsTyped)
{
    LSDocument *d = newDocument();
    d->addRule();
    QAbstractItemModel *table = d->ruleTable()->model();
    const std::vector<std::pair<QString, QString>> letters = {
        { QStringLiteral("FX"), QStringLiteral("F") },
        { QStringLiteral("f"), QStringLiteral("f") },
        { QString(), QStringLiteral("?") },
        { QStringLiteral("\U0001F33F!"), QStringLiteral("\U0001F33F") },
    };
    for (const auto &[typed, stored] : letters) {
        table->setData(table->index(0, RulesTableModel::LetterColumn), typed);
        EXPECT_EQ(d->letters().at(0), stored);
        EXPECT_EQ(table->index(0, RulesTableModel::LetterColumn).data().toString(), stored);
    }
    for (const QString &text : { QStringLiteral("F[+F]-F"), QString() }) {
        table->setData(table->index(0, RulesTableModel::RuleColumn), text);
        EXPECT_EQ(d->rules().at(0), text);
    }
}

TEST_F(DocumentTest, AddRuleSelectsTheNewRowAndEditsItsLeftmostCell)
{
    LSDocument *d = newDocument();
    EXPECT_FALSE(d->removeButton()->isEnabled());
    d->addRuleButton()->click();
    EXPECT_EQ(d->letters(), QStringList{ QStringLiteral("?") });
    EXPECT_EQ(d->rules(), QStringList{ QString() });
    QTableView *table = d->ruleTable();
    ASSERT_EQ(table->selectionModel()->selectedRows().size(), 1);
    EXPECT_EQ(table->selectionModel()->selectedRows().first().row(), 0);
    EXPECT_TRUE(d->removeButton()->isEnabled());
    EXPECT_EQ(table->currentIndex().column(), table->horizontalHeader()->logicalIndex(0));
    QLineEdit *editor = nullptr;
    for (QLineEdit *candidate : table->viewport()->findChildren<QLineEdit *>()) {
        if (candidate->isVisible())
            editor = candidate;
    }
    ASSERT_TRUE(editor);
    EXPECT_EQ(editor->selectedText(), QStringLiteral("?"));
    // Typing replaces the cell at once.
    QTest::keyClicks(editor, QStringLiteral("Fx"));
    QTest::keyClick(editor, Qt::Key_Return); // committed through the event loop
    EXPECT_TRUE(waitUntil([&] { return d->letters() == QStringList{ QStringLiteral("F") }; }));

    d->addRule();
    EXPECT_EQ(table->selectionModel()->selectedRows().first().row(), 1);
    table->clearSelection();
    EXPECT_FALSE(d->removeButton()->isEnabled());
    d->removeRule(); // no selection: nothing happens
    EXPECT_EQ(d->letters().size(), 2);
}

TEST_F(DocumentTest, RemovingTheOnlyRuleSavesTwoEmptyLists)
{
    LSDocument *d = openData(kochData());
    ASSERT_TRUE(d);
    d->ruleTable()->selectRow(0);
    ASSERT_TRUE(d->removeButton()->isEnabled());
    d->removeButton()->click();
    EXPECT_EQ(d->ruleTable()->model()->rowCount(), 0);
    EXPECT_FALSE(d->removeButton()->isEnabled());
    ASSERT_TRUE(d->save());
    const DocumentData saved = readLsd(d->fileName());
    EXPECT_TRUE(saved.letters.empty());
    EXPECT_TRUE(saved.rules.empty());
}

TEST_F(DocumentTest, RulesThatChangeNothingAreGreyedAndTheOrderDecides)
{
    DocumentData data = kochData();
    const std::string longRule(300, 'F');
    data.letters = { "F", "?", "F", "+" };
    data.rules = { "FF", "F", longRule, "F" };
    LSDocument *d = openData(data);
    ASSERT_TRUE(d);
    const QAbstractItemModel *t = d->ruleTable()->model();
    auto greyed = [t](int row) {
        return t->index(row, 0).data(Qt::ForegroundRole).isValid()
               && t->index(row, 1).data(Qt::ForegroundRole).isValid();
    };
    auto tip = [t](int row, int column) {
        return t->index(row, column).data(Qt::ToolTipRole).toString();
    };
    EXPECT_FALSE(greyed(0));
    EXPECT_TRUE(tip(0, 0).isEmpty());
    EXPECT_TRUE(greyed(1));
    EXPECT_TRUE(tip(1, 0).contains(QStringLiteral("\u201c?\u201d is not a letter")));
    EXPECT_TRUE(greyed(2));
    EXPECT_TRUE(tip(2, 0).contains(QStringLiteral("rule 1 already rewrites")));
    EXPECT_TRUE(tip(2, 1).remove(u'\n').contains(QString::fromStdString(longRule)));
    EXPECT_TRUE(greyed(3));

    // Moving the long rule to the top puts it in force; each move is one undo step.
    QTableView *table = d->ruleTable();
    table->selectRow(2);
    EXPECT_TRUE(d->moveUpButton()->isEnabled());
    EXPECT_TRUE(d->moveDownButton()->isEnabled());
    d->moveUpButton()->click();
    d->moveUpButton()->click();
    EXPECT_EQ(d->letters(), QStringList({ "F", "F", "?", "+" }));
    EXPECT_EQ(d->rules().at(0), QString::fromStdString(longRule));
    EXPECT_EQ(table->selectionModel()->selectedRows().value(0).row(), 0);
    EXPECT_FALSE(d->moveUpButton()->isEnabled());
    EXPECT_FALSE(greyed(0));
    EXPECT_TRUE(greyed(1));
    d->undoStack()->undo();
    EXPECT_EQ(d->rules().at(1), QString::fromStdString(longRule));
    d->undoStack()->undo();
    EXPECT_EQ(d->letters(), QStringList({ "F", "?", "F", "+" }));
    EXPECT_EQ(d->rules().at(2), QString::fromStdString(longRule));
    EXPECT_FALSE(greyed(0));

    // Delete removes the selected rule while the table has the focus.
    d->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(d));
    table->setFocus();
    table->selectRow(0);
    QTest::keyClick(table, Qt::Key_Delete);
    EXPECT_EQ(d->letters(), QStringList({ "?", "F", "+" }));
    EXPECT_FALSE(greyed(1)); // the second F rule is the first now
    table->selectRow(2);
    EXPECT_FALSE(d->moveDownButton()->isEnabled());
}

TEST_F(DocumentTest, DrawerButtonFollowsItsOwnDrawerOnly)
{
    LSDocument *a = newDocument();
    LSDocument *b = newDocument();
    a->showRulesButton()->click();
    EXPECT_TRUE(a->rulesDrawer()->isHidden());
    EXPECT_EQ(a->showRulesButton()->text(), QStringLiteral("Show Rules"));
    EXPECT_EQ(b->showRulesButton()->text(), QStringLiteral("Hide Rules"));
    b->rulesDrawer()->close(); // the dock's own close button
    EXPECT_EQ(b->showRulesButton()->text(), QStringLiteral("Show Rules"));
    a->showRulesButton()->click();
    EXPECT_FALSE(a->rulesDrawer()->isHidden());
    EXPECT_EQ(a->showRulesButton()->text(), QStringLiteral("Hide Rules"));
    EXPECT_EQ(b->showRulesButton()->text(), QStringLiteral("Show Rules"));
}

TEST_F(DocumentTest, RuleEditsWaitForTheNextGeneration)
{
    LSDocument *d = openData(kochData());
    ASSERT_TRUE(d);
    const ExpectedFigure figure = expectedGeometry("F-F-F-F", { "F" }, { "F+F-F-FF+F+F-F" }, 90, 2);
    ASSERT_TRUE(showsGeometry(d, figure));
    const std::vector<float> shown = d->glView()->shownGeometry()->vertices;
    const QColor plain = d->generateButton()->palette().color(QPalette::Button);
    EXPECT_FALSE(d->isFigureOutOfDate());
    // Edits mark the figure out of date, and Generate stands out, until an undo brings the
    // inputs back or the next generation.
    QAbstractItemModel *table = d->ruleTable()->model();
    table->setData(table->index(0, 1), QStringLiteral("FF"));
    EXPECT_TRUE(d->isFigureOutOfDate());
    EXPECT_NE(d->generateButton()->palette().color(QPalette::Button), plain);
    d->undoStack()->undo();
    EXPECT_FALSE(d->isFigureOutOfDate());
    EXPECT_EQ(d->generateButton()->palette().color(QPalette::Button), plain);
    QTest::keyClicks(d->axiomText(), QStringLiteral("F"));
    EXPECT_TRUE(d->isFigureOutOfDate());
    d->undoStack()->undo();
    EXPECT_FALSE(d->isFigureOutOfDate());
    table->setData(table->index(0, 1), QStringLiteral("FF"));
    d->addRule();
    EXPECT_FALSE(d->session()->isBusy()); // a request would be under way at once
    EXPECT_EQ(d->glView()->shownGeometry()->vertices, shown);
    d->generate();
    EXPECT_FALSE(d->isFigureOutOfDate());
    EXPECT_EQ(d->generateButton()->palette().color(QPalette::Button), plain);
    EXPECT_TRUE(d->ruleTable()->selectionModel()->selectedRows().isEmpty());
    EXPECT_TRUE(showsGeometry(d, expectedGeometry("F-F-F-F", { "F", "?" }, { "FF", "" }, 90, 2)));
}

// --- Snapshot ---------------------------------------------------------------------------------

TEST_F(DocumentTest, SnapshotAsksForATiffNameModalForItsWindow)
{
    LSDocument *d = openData(kochData(), QStringLiteral("Fern.lsd"));
    ASSERT_TRUE(d);
    ASSERT_TRUE(
            showsGeometry(d, expectedGeometry("F-F-F-F", { "F" }, { "F+F-F-FF+F+F-F" }, 90, 2)));
    d->snapshot();
    QFileDialog *dialog = nullptr;
    ASSERT_TRUE(waitUntil([&] { return (dialog = d->findChild<QFileDialog *>()); }));
    EXPECT_EQ(dialog->windowModality(), Qt::WindowModal);
    EXPECT_EQ(dialog->defaultSuffix(), QStringLiteral("tiff"));
    EXPECT_EQ(QFileInfo(dialog->selectedFiles().value(0)).fileName(), QStringLiteral("Fern.tiff"));
    EXPECT_EQ(dialog->directory().absolutePath(), QDir(mDir.path()).absolutePath());
    dialog->reject();
    EXPECT_FALSE(d->session()->isBusy()); // nothing is written

    // The picture is drawn and written off the window's thread.
    MessageBoxAnswerer ok(QMessageBox::Ok);
    d->snapshotSheetDidEnd(1, path(QStringLiteral("shot")));
    EXPECT_TRUE(d->session()->isBusy());
    EXPECT_TRUE(waitUntil([&] { return !d->session()->isBusy(); }));
    EXPECT_GT(QFileInfo(path(QStringLiteral("shot.tiff"))).size(), 100);
    d->snapshotSheetDidEnd(0, path(QStringLiteral("cancelled.tiff")));
    EXPECT_FALSE(d->session()->isBusy());

    EXPECT_TRUE(ok.texts.isEmpty()) << ok.texts.join(u'|').toStdString();
    d->snapshotSheetDidEnd(1, path(QStringLiteral("no/such/dir/x.tiff")));
    ASSERT_TRUE(waitUntil([&] { return ok.texts.size() == 1; }));
    EXPECT_TRUE(ok.texts.first().contains(QStringLiteral("snapshot")));
    EXPECT_EQ(QDir(mDir.path()).entryList({ QStringLiteral("*.tiff") }),
              QStringList{ QStringLiteral("shot.tiff") });
}

// The whole window as a user sees it: the figure in the line colour on the background colour.
// With SPRIG_SCREENSHOT_DIR set the picture is kept there for looking at.
TEST_F(DocumentTest, WindowShowsTheFigureInItsColours)
{
    DocumentData data = kochData();
    data.bgColor = DocumentColor::calibratedRgb(0.0f, 0.0f, 0.5f, 1.0f);
    data.iterations = 3;
    LSDocument *d = openData(data, QStringLiteral("Koch island.lsd"));
    ASSERT_TRUE(d);
    d->resize(900, 640);
    ASSERT_TRUE(
            showsGeometry(d, expectedGeometry("F-F-F-F", { "F" }, { "F+F-F-FF+F+F-F" }, 90, 3)));
    const lsImageRep view = d->glView()->makeImageRep(); // the frame of what it shows now
    keepScreenshot(d, QStringLiteral("document-window.png"));
    int line = 0, background = 0;
    for (int y = 0; y < view.height; y += 2) {
        for (int x = 0; x < view.width; x += 2) {
            const std::size_t i = std::size_t(y) * view.stride + x;
            const int r = view.red[i], g = view.green[i], b = view.blue[i];
            line += r > 200 && g > 100 && b < 100;
            background += r < 10 && g < 10 && b > 120;
        }
    }
    EXPECT_GT(line, 100);
    EXPECT_GT(background, line);
}

TEST_F(DocumentTest, ExportWritesPngAndSvgOfTheFigure)
{
    const std::vector<void (FigureExports::*)()> commands = { &FigureExports::exportPng,
                                                              &FigureExports::exportSvg };
    // Without a figure both are refused before any file dialog opens.
    LSDocument *untitled = newDocument();
    for (const auto command : commands) {
        MessageBoxAnswerer ok(QMessageBox::Ok);
        (untitled->exports()->*command)();
        ASSERT_EQ(ok.texts.size(), 1);
        EXPECT_TRUE(ok.texts.first().contains(QStringLiteral("generate one first")));
        EXPECT_FALSE(untitled->findChild<QFileDialog *>());
    }

    LSDocument *d = openData(kochData(), QStringLiteral("Koch.lsd"));
    ASSERT_TRUE(d);
    ASSERT_TRUE(
            showsGeometry(d, expectedGeometry("F-F-F-F", { "F" }, { "F+F-F-FF+F+F-F" }, 90, 2)));
    const QSize pixels = d->glView()->pixelSize();
    MessageBoxAnswerer failures(QMessageBox::Ok);
    const std::vector<std::pair<void (FigureExports::*)(), QString>> exports = {
        { &FigureExports::exportPng, QStringLiteral("Koch.png") },
        { &FigureExports::exportSvg, QStringLiteral("Koch.svg") },
    };
    for (const auto &[command, name] : exports) {
        SCOPED_TRACE(name.toStdString());
        (d->exports()->*command)();
        QFileDialog *dialog = nullptr;
        ASSERT_TRUE(waitUntil([&] { return (dialog = d->findChild<QFileDialog *>()); }));
        EXPECT_EQ(QFileInfo(dialog->selectedFiles().value(0)).fileName(), name);
        // Twice the view's size, over a transparent background.
        auto *options = dialog->findChild<ExportOptions *>();
        ASSERT_TRUE(options);
        options->findChild<QDoubleSpinBox *>()->setValue(2.0);
        options->findChild<QCheckBox *>()->setChecked(true);
        dialog->selectFile(path(name));
        // While a newer figure is made: the picture is of the figure shown.
        d->setIterations(3);
        QMetaObject::invokeMethod(dialog, "accept"); // the dialog's OK
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        ASSERT_TRUE(waitUntil([&] { return !d->session()->isBusy(); }));
        EXPECT_TRUE(failures.texts.isEmpty()) << failures.texts.join(u'|').toStdString();
        EXPECT_GT(QFileInfo(path(name)).size(), 100);
        d->setIterations(2);
        ASSERT_TRUE(showsGeometry(
                d, expectedGeometry("F-F-F-F", { "F" }, { "F+F-F-FF+F+F-F" }, 90, 2)));
    }
    const QImage png(path(QStringLiteral("Koch.png")));
    EXPECT_EQ(png.size(), pixels * 2);
    ASSERT_TRUE(png.hasAlphaChannel());
    EXPECT_EQ(qAlpha(png.pixel(0, 0)), 0);
    int opaque = 0;
    for (int y = 0; y < png.height(); ++y)
        for (int x = 0; x < png.width(); ++x)
            opaque += qAlpha(png.pixel(x, y)) == 255;
    EXPECT_GT(opaque, 100);
    QFile svg(path(QStringLiteral("Koch.svg")));
    ASSERT_TRUE(svg.open(QIODevice::ReadOnly));
    const QByteArray text = svg.readAll();
    EXPECT_TRUE(text.contains(QByteArray("width=\"") + QByteArray::number(png.width()) + '"'));
    EXPECT_FALSE(text.contains("<rect"));

    // A document without a file starts its dialogs where the user chose a file last.
    untitled->snapshot();
    QFileDialog *dialog = nullptr;
    ASSERT_TRUE(waitUntil([&] { return (dialog = untitled->findChild<QFileDialog *>()); }));
    EXPECT_EQ(dialog->directory().absolutePath(), QDir(mDir.path()).absolutePath());
    dialog->reject();
}

// A model and an animation are written as their dialogs chose, the model's size stated
// before; what a file written could not keep is said, and a folder as the target is refused.
TEST_F(DocumentTest, ModelAndAnimationExportsWriteWhatTheirDialogsChose)
{
    LSDocument *d = openData(kochData(), QStringLiteral("Koch.lsd"));
    ASSERT_TRUE(d);
    ASSERT_TRUE(
            showsGeometry(d, expectedGeometry("F-F-F-F", { "F" }, { "F+F-F-FF+F+F-F" }, 90, 2)));
    // The OBJ to replace has another name, which keeps the old bytes.
    writeFile(path(QStringLiteral("Koch.obj")), "old");
    ASSERT_EQ(::link(QFile::encodeName(path(QStringLiteral("Koch.obj"))).constData(),
                     QFile::encodeName(path(QStringLiteral("Other.obj"))).constData()),
              0);
    MessageBoxAnswerer ok(QMessageBox::Ok);
    const auto choose = [&](void (FigureExports::*command)(), const QString &name) {
        (d->exports()->*command)();
        QFileDialog *dialog = nullptr;
        EXPECT_TRUE(waitUntil([&] { return (dialog = d->findChild<QFileDialog *>()); }));
        if (dialog) {
            dialog->setOption(QFileDialog::DontConfirmOverwrite);
            dialog->selectFile(path(name));
        }
        return dialog;
    };
    const auto accept = [&](QFileDialog *dialog) {
        QMetaObject::invokeMethod(dialog, "accept");
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        EXPECT_TRUE(waitUntil([&] { return !d->session()->isBusy(); }));
    };

    QFileDialog *dialog = choose(&FigureExports::exportObj, QStringLiteral("Koch.obj"));
    ASSERT_TRUE(dialog);
    auto *size = dialog->findChild<QLabel *>(QStringLiteral("modelSize"));
    ASSERT_TRUE(size);
    ASSERT_TRUE(waitUntil([&] { return size->text().contains(QStringLiteral("vertices")); }))
            << size->text().toStdString();
    const int stated = size->text().section(u' ', 0, 0).remove(u',').toInt();
    accept(dialog);
    ASSERT_TRUE(waitUntil([&] { return ok.texts.size() == 1; }));
    EXPECT_TRUE(ok.texts.first().contains(QStringLiteral("hard link")))
            << ok.texts.first().toStdString();
    EXPECT_EQ(readFile(path(QStringLiteral("Other.obj"))), "old");
    const QByteArray obj = readFile(path(QStringLiteral("Koch.obj")));
    EXPECT_EQ(obj.count("\nv "), stated);
    EXPECT_EQ(stated, 4 * 8 * 8 + 1); // one polyline of the pass's segments

    // A growth of the two passes at a quarter of the view's size.
    dialog = choose(&FigureExports::exportAnimation, QStringLiteral("Koch.gif"));
    ASSERT_TRUE(dialog);
    auto *kind = dialog->findChild<QComboBox *>(QStringLiteral("kind"));
    ASSERT_TRUE(kind);
    kind->setCurrentIndex(1);
    dialog->findChild<QDoubleSpinBox *>()->setValue(0.25);
    dialog->findChild<QSpinBox *>(QStringLiteral("delay"))->setValue(50);
    accept(dialog);
    QImageReader gif(path(QStringLiteral("Koch.gif")));
    EXPECT_EQ(gif.imageCount(), 2);
    EXPECT_EQ(gif.size(), d->glView()->pixelSize() / 4);
    // Framed like the last pass, the first grows in place: a pass is four times as wide.
    const auto figureWidth = [](const QImage &frame) {
        int left = frame.width(), right = -1;
        for (int y = 0; y < frame.height(); ++y)
            for (int x = 0; x < frame.width(); ++x)
                if (frame.pixel(x, y) != frame.pixel(0, 0)) {
                    left = std::min(left, x);
                    right = std::max(right, x);
                }
        return right - left;
    };
    const int firstWidth = figureWidth(gif.read());
    EXPECT_EQ(gif.nextImageDelay(), 50);
    const int lastWidth = figureWidth(gif.read());
    EXPECT_GT(firstWidth, 0);
    EXPECT_LT(firstWidth * 2, lastWidth);

    // A folder is neither replaced nor written into.
    ASSERT_TRUE(QDir(mDir.path()).mkdir(QStringLiteral("folder.gif")));
    FigurePicture picture;
    picture.format = FigurePicture::Gif;
    picture.path = path(QStringLiteral("folder.gif")).toStdString();
    picture.width = picture.height = 16;
    d->session()->writePicture(picture);
    ASSERT_TRUE(waitUntil([&] { return ok.texts.size() == 2; }))
            << ok.texts.join(u'|').toStdString();
    EXPECT_TRUE(ok.texts.last().contains(QStringLiteral("folder.gif")))
            << ok.texts.last().toStdString();
    EXPECT_TRUE(QDir(path(QStringLiteral("folder.gif"))).isEmpty());
}

TEST_F(DocumentTest, PrintJobIsNamedAfterTheDocument)
{
    LSDocument *d = openData(kochData(), QStringLiteral("Fern.lsd"));
    ASSERT_TRUE(d);
    ASSERT_TRUE(
            showsGeometry(d, expectedGeometry("F-F-F-F", { "F" }, { "F+F-F-FF+F+F-F" }, 90, 2)));
    QString name;
    QTimer answer;
    QObject::connect(&answer, &QTimer::timeout, [&name] {
        if (auto *dialog = qobject_cast<QPrintDialog *>(QApplication::activeModalWidget())) {
            name = dialog->printer()->docName();
            dialog->reject();
        }
    });
    answer.start(10);
    d->printShowingPrintPanel();
    EXPECT_EQ(name, QStringLiteral("Fern.lsd")); // the dialog offers Fern.pdf for a PDF file
}

// Run once more with QT_SCALE_FACTOR=2 (tests/document/CMakeLists.txt): the designed size is
// then larger than the screen. At any scale the least window leaves room for its frame and a
// panel on a 1280x720 screen at scale 2 (640x360 points).
TEST_F(DocumentTest, FirstWindowFitsTheScreen)
{
    LSDocument *d = newDocument();
    const QRect available = d->screen()->availableGeometry();
    const QRect frame = d->frameGeometry();
    EXPECT_TRUE(available.contains(frame)) << frame.width() << 'x' << frame.height() << " in "
                                           << available.width() << 'x' << available.height();
    const QSize least = d->minimumSizeHint().expandedTo(d->minimumSize());
    EXPECT_LE(least.width(), 600);
    EXPECT_LE(least.height(), 330);
}

TEST_F(DocumentTest, AComplaintAboutAFieldGoesOnceTheFieldHoldsAValidValue)
{
    LSDocument *d = openData(kochData());
    ASSERT_TRUE(d);
    auto enter = [](QLineEdit *field, const QString &text) {
        field->setFocus();
        field->selectAll();
        QTest::keyClicks(field, text);
        QTest::keyClick(field, Qt::Key_Return);
    };
    enter(d->angleField(), QStringLiteral("abc"));
    EXPECT_TRUE(d->statusLine()->text().contains(QStringLiteral("not an angle")));
    enter(d->iterationsField(), QStringLiteral("3"));
    EXPECT_TRUE(d->statusLine()->text().contains(QStringLiteral("not an angle")));
    // Valid, even though unchanged: the status line says what is under way or shown again.
    enter(d->angleField(), QStringLiteral("90"));
    EXPECT_EQ(d->statusLine()->text(), d->session()->status());
    EXPECT_FALSE(d->statusLine()->text().isEmpty());
    enter(d->iterationsField(), QStringLiteral("many"));
    EXPECT_TRUE(d->statusLine()->text().contains(QStringLiteral("not a number of iterations")));
    d->iterationsSlider()->setValue(2);
    EXPECT_EQ(d->statusLine()->text(), d->session()->status());
}
