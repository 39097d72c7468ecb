// Generation and the parameter controls: clamping, the angle conversion, requests made during a
// generation, the byte budget and closing a window while a generation runs.
#include "documenttest.h"

#include <QElapsedTimer>
#include <QFontMetrics>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QSignalSpy>
#include <QSlider>
#include <QTableView>
#include <QWheelEvent>

using namespace documenttest;

namespace {

DocumentData squareKoch(int iterations)
{
    DocumentData data;
    data.axiom = "F-F-F-F";
    data.letters = { "F" };
    data.rules = { "F+FF-FF-F-F+F+FF-F-F+F+FF+FF-F" };
    data.angle = 90.0;
    data.iterations = iterations;
    return data;
}

} // namespace

TEST(GenerationRules, AngleConversionAndFirstRuleForALetter)
{
    std::shared_ptr<lsRuleSet> set =
            makeRuleSet({ "F", "F", "", "Xy", "?" }, { "F+F", "FF", "G", "XX", "Q" }, 22.5);
    EXPECT_EQ(set->angle, 0.39269908169872414);
    ASSERT_TRUE(set->rules['F']);
    EXPECT_EQ(set->rules['F']->text, "F+F");
    EXPECT_EQ(set->rules['X']->text, "XX"); // a letter of several characters uses its first
    EXPECT_FALSE(set->rules['y']);
    EXPECT_FALSE(lsIsRewritten(*set, '?'));
}

TEST(GenerationRules, BudgetAdmitsSixPassesOfTheLargeKochCurve)
{
    std::shared_ptr<lsRuleSet> set = makeRuleSet({ "F" }, { "F+FF-FF-F-F+F+FF-F-F+F+FF+FF-F" }, 90);
    EXPECT_EQ(lsLengthAfter(*set, "F-F-F-F", 6), 232083411u);
    EXPECT_LE(lsLengthAfter(*set, "F-F-F-F", 6), kMaxStringBytes);
    EXPECT_GT(lsLengthAfter(*set, "F-F-F-F", 7), kMaxStringBytes);
}

TEST_F(DocumentTest, IterationsAreClampedShownAndGenerated)
{
    const std::vector<std::pair<int, int>> cases = { { 0, 1 },   { -5, 1 }, { 8, 7 },
                                                     { 100, 7 }, { 5, 5 },  { 2, 2 } };
    DocumentData data = kochData();
    data.rules = { "F+F" };
    data.iterations = 3;
    LSDocument *d = openData(data);
    ASSERT_TRUE(d);
    for (const auto &[given, shown] : cases) {
        SCOPED_TRACE(given);
        d->setIterations(given);
        EXPECT_EQ(d->iterations(), shown);
        EXPECT_EQ(d->iterationsSlider()->value(), shown);
        EXPECT_EQ(d->iterationsField()->text(), QString::number(shown));
        EXPECT_TRUE(d->session()->isBusy());
        EXPECT_TRUE(showsGeometry(d, expectedGeometry("F-F-F-F", { "F" }, { "F+F" }, 90, shown)));
    }
    // Typed into the field: the same clamping; text that is no number changes nothing.
    d->iterationsField()->setFocus();
    d->iterationsField()->selectAll();
    QTest::keyClicks(d->iterationsField(), QStringLiteral("100"));
    QTest::keyClick(d->iterationsField(), Qt::Key_Return);
    EXPECT_EQ(d->iterations(), 7);
    EXPECT_EQ(d->iterationsField()->text(), QStringLiteral("7"));
    d->iterationsField()->selectAll();
    QTest::keyClicks(d->iterationsField(), QStringLiteral("many"));
    QTest::keyClick(d->iterationsField(), Qt::Key_Return);
    EXPECT_EQ(d->iterations(), 7);
    EXPECT_EQ(d->iterationsField()->text(), QStringLiteral("7"));
    EXPECT_TRUE(d->statusLine()->text().contains(QStringLiteral("many")));
}

// The document keeps whole degrees, as its file does: what is shown, drawn and saved is one
// angle.
TEST_F(DocumentTest, AngleIsClampedToWholeDegreesAndTurnsTheFigureWithoutRewriting)
{
    LSDocument *d = openData(kochData());
    ASSERT_TRUE(d);
    ASSERT_TRUE(
            showsGeometry(d, expectedGeometry("F-F-F-F", { "F" }, { "F+F-F-FF+F+F-F" }, 90, 2)));
    const std::shared_ptr<const FigureResult> generated = d->session()->shown()->figure;
    const struct
    {
        double given, stored;
    } cases[] = { { 400, 360 }, { -10, 0 }, { 22.5, 22 }, { 359.9, 359 } };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.given);
        d->setAngle(c.given);
        EXPECT_EQ(d->angle(), c.stored);
        EXPECT_EQ(d->angleSlider()->value(), int(c.stored));
        EXPECT_EQ(d->angleField()->text(), QString::number(c.stored));
        EXPECT_TRUE(showsGeometry(
                d, expectedGeometry("F-F-F-F", { "F" }, { "F+F-F-FF+F+F-F" }, c.stored, 2)));
        EXPECT_EQ(d->session()->shown()->degrees, c.stored);
        EXPECT_EQ(d->session()->shown()->figure, generated); // no rewriting
    }

    // Typed into the field: clamped, and the fraction goes.
    d->angleField()->setFocus();
    d->angleField()->selectAll();
    QTest::keyClicks(d->angleField(), QStringLiteral("400"));
    QTest::keyClick(d->angleField(), Qt::Key_Return);
    EXPECT_EQ(d->angle(), 360.0);
    EXPECT_EQ(d->angleField()->text(), QStringLiteral("360"));
    d->angleField()->selectAll();
    QTest::keyClicks(d->angleField(), QStringLiteral("91.5"));
    QTest::keyClick(d->angleField(), Qt::Key_Return);
    EXPECT_EQ(d->angle(), 91.0);
    EXPECT_EQ(d->angleField()->text(), QStringLiteral("91"));
    EXPECT_TRUE(
            showsGeometry(d, expectedGeometry("F-F-F-F", { "F" }, { "F+F-F-FF+F+F-F" }, 91, 2)));
    ASSERT_TRUE(d->save());
    EXPECT_EQ(readLsd(d->fileName()).angle, 91.0);
}

TEST_F(DocumentTest, AngleBeforeAnyGenerationIsUsedByTheFirst)
{
    LSDocument *d = newDocument();
    d->axiomText()->setText(QStringLiteral("F+F+F"));
    d->setAngle(22.5);
    EXPECT_FALSE(d->session()->shown());
    EXPECT_FALSE(d->session()->isBusy());
    d->generateButton()->click();
    ASSERT_TRUE(showsGeometry(d, expectedGeometry("F+F+F", {}, {}, 22, 4)));
    EXPECT_EQ(d->session()->shown()->degrees, 22.0);
}

TEST_F(DocumentTest, TwoRulesForALetterTheFirstApplies)
{
    DocumentData data = kochData();
    data.letters = { "F", "F" };
    data.rules = { "F+F", "F-F-F" };
    LSDocument *d = openData(data);
    ASSERT_TRUE(d);
    EXPECT_TRUE(showsGeometry(d, expectedGeometry("F-F-F-F", { "F" }, { "F+F" }, 90, 2)));
    EXPECT_EQ(d->session()->shown()->figure->rules->rules['F']->text, "F+F");
}

TEST_F(DocumentTest, RequestsDuringAGenerationEndWithTheLatestControls)
{
    LSDocument *d = openData(squareKoch(4));
    ASSERT_TRUE(d);
    // Each of these arrives while the previous generation runs.
    d->setIterations(3);
    d->setIterations(4);
    d->axiomText()->setText(QStringLiteral("F-F"));
    d->setIterations(2);
    d->setAngle(60);
    EXPECT_TRUE(d->session()->isBusy());
    EXPECT_FALSE(d->progressWheel()->isHidden());
    const DocumentData expected = squareKoch(2);
    EXPECT_TRUE(showsGeometry(d, expectedGeometry("F-F", expected.letters, expected.rules, 60, 2)));
    EXPECT_TRUE(d->progressWheel()->isHidden());
    EXPECT_TRUE(d->statusLine()->text().startsWith(QStringLiteral("Pass 2 of 2: 1,105 symbols")))
            << d->statusLine()->text().toStdString();
}

TEST_F(DocumentTest, ExplosiveRuleStopsAtTheLastPassThatCanBeDrawnAndSaysSo)
{
    DocumentData data;
    data.axiom = "F";
    data.letters = { "F" };
    data.rules = { std::string(5000, 'F') }; // 5000^3 symbols are too many to walk
    data.iterations = 7;
    LSDocument *d = openData(data);
    ASSERT_TRUE(d);
    d->resize(860, d->height());
    ASSERT_TRUE(showsGeometry(d, expectedGeometry("F", data.letters, data.rules, 0, 2)));
    // On two lines, what is shown and why no more, each within the window's width: the
    // view keeps its size.
    const QSize view = d->glView()->size();
    const QString status = d->statusLine()->text();
    EXPECT_TRUE(status.startsWith(
            QStringLiteral("Pass 2 of 7: 25,000,000 symbols, 25,000,000 segments, ")))
            << status.toStdString();
    EXPECT_TRUE(status.endsWith(QStringLiteral(
            " s.\nPass 3 would have 125,000,000,000 symbols, more than the 68,719,476,736 a "
            "figure may have.")))
            << status.toStdString();
    EXPECT_EQ(status.count(u'\n'), 1);
    const QFontMetrics metrics(d->statusLine()->font());
    for (const QString &line : status.split(u'\n'))
        EXPECT_LT(metrics.horizontalAdvance(line), d->statusLine()->width()) << line.toStdString();
    keepScreenshot(d, QStringLiteral("limit-message.png"));
    EXPECT_EQ(d->iterations(), 7); // the request stays as the user set it

    // Past the string budget the pass is streamed.
    d->setByteBudget(4000); // 6 passes take 1457 bytes, 7 take 4373
    d->setIterations(1);
    d->ruleTable()->model()->setData(d->ruleTable()->model()->index(0, 1), QStringLiteral("F+F-F"));
    d->setIterations(7);
    EXPECT_TRUE(showsGeometry(d, expectedGeometry("F", { "F" }, { "F+F-F" }, 0, 7)));
    EXPECT_TRUE(d->statusLine()->text().startsWith(QStringLiteral("Pass 7 of 7: 4,373 symbols")))
            << d->statusLine()->text().toStdString();
    keepScreenshot(d, QStringLiteral("budget-message.png"));
    d->setIterations(3);
    EXPECT_TRUE(showsGeometry(d, expectedGeometry("F", { "F" }, { "F+F-F" }, 0, 3)));
    EXPECT_TRUE(d->statusLine()->text().startsWith(QStringLiteral("Pass 3 of 3: 53 symbols")))
            << d->statusLine()->text().toStdString();
    EXPECT_EQ(d->glView()->size(), view);

    // A number after an '@' that scales the steps past any picture leaves the view blank:
    // the status line says why.
    d->axiomText()->setText(QStringLiteral("F@1e308+F"));
    d->generate();
    EXPECT_TRUE(waitUntil([&] {
        return !d->session()->isBusy()
               && d->statusLine()->text().endsWith(QStringLiteral(
                       "The figure cannot be drawn: its size is not finite, or "
                       "larger than a picture can hold (a number after \u2018@\u2019 "
                       "scales its steps so)."));
    })) << d->statusLine()->text().toStdString();
}

// While a generation of seconds runs, the window answers: its progress reaches the status
// line, Esc stops it and the figure shown before stays. A generation on the UI thread would
// have ended before Esc could reach it.
TEST_F(DocumentTest, EscapeStopsALargeGenerationAndKeepsTheFigureShown)
{
    // A ']' the rule did not open keeps expansion units from standing for its passes.
    DocumentData data = squareKoch(2);
    data.rules[0] += ']';
    LSDocument *d = openData(data);
    ASSERT_TRUE(d);
    const ExpectedFigure small = expectedGeometry("F-F-F-F", data.letters, data.rules, 90, 2);
    ASSERT_TRUE(showsGeometry(d, small));
    d->setIterations(6); // 240 MB and 136 million moves
    ASSERT_TRUE(waitUntil(
            [&] { return d->session()->isBusy() && d->statusLine()->text().endsWith(u'\u2026'); }));
    EXPECT_TRUE(d->session()->isBusy());
    EXPECT_FALSE(d->progressWheel()->isHidden());
    EXPECT_EQ(d->generateButton()->text(), QStringLiteral("&Stop"));

    QTest::keyClick(d->axiomText(), Qt::Key_Escape);
    EXPECT_FALSE(d->session()->isBusy());
    EXPECT_EQ(d->generateButton()->text(), QStringLiteral("&Generate"));
    EXPECT_EQ(d->iterations(), 6); // the request stays as the user set it
    EXPECT_TRUE(showsGeometry(d, small));
    EXPECT_TRUE(waitUntil([&] { return d->progressWheel()->isHidden(); }));
    EXPECT_TRUE(d->statusLine()->text().startsWith(QStringLiteral("Stopped. Pass 2 of 2: ")))
            << d->statusLine()->text().toStdString();
    // A request behind the stopped one on the worker: once it is shown, the stopped one
    // has ended, and nothing of it was shown.
    QSignalSpy shown(d->session(), &FigureSession::geometryChanged);
    d->setIterations(2);
    EXPECT_TRUE(showsGeometry(d, small));
    EXPECT_EQ(shown.count(), 1);
    EXPECT_EQ(d->session()->shown()->figure->pass, 2);
}

// Closing windows while their generations run cancels them: each window goes at once,
// instead of after the seconds its generation would take.
TEST_F(DocumentTest, ClosingAWindowDuringAGenerationCancelsIt)
{
    DocumentData data;
    data.axiom = "X";
    data.letters = { "X" };
    // 18^7 X's and a ']' after each rewritten one, 618 MiB: a second or more of work (the ']'
    // closes a bracket the rule did not open, so no expansion units stand for it).
    data.rules = { std::string(18, 'X') + ']' };
    data.iterations = 7;
    for (int i = 0; i < 2; ++i) {
        LSDocument *d = openData(data, QStringLiteral("big%1.lsd").arg(i));
        ASSERT_TRUE(d);
        ASSERT_TRUE(waitUntil([&] {
            return d->session()->isBusy() && d->statusLine()->text().endsWith(u'\u2026');
        }));
        d->undoStack()->setClean();
        QElapsedTimer clock;
        clock.start();
        EXPECT_TRUE(d->close());
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        EXPECT_LT(clock.elapsed(), 1000);
    }
    EXPECT_TRUE(controller()->documents().isEmpty());
}

// Exploring a streamed figure, with Esc in the middle of a walk at a new angle: the window
// ends with the figure the controls ask for, drawn for the view it shows, and says so.
TEST_F(DocumentTest, EscapeDuringAWalkThenTheViewDrawsTheFigureTheControlsAskFor)
{
    const DocumentData data = squareKoch(6); // 232,083,411 symbols: streamed, a walk a second
    const auto pass = [&](double degrees) {
        return FigurePass(makeRuleSet(data.letters, data.rules, degrees), *data.axiom, 6);
    };
    LSDocument *d = newDocument();
    d->setByteBudget(100 << 20);
    writeFile(path(QStringLiteral("island.lsd")), lsdBytes(data));
    QString error;
    ASSERT_TRUE(d->readFromFile(path(QStringLiteral("island.lsd")), &error));
    lsGLView *view = d->glView();
    const auto idle = [&] {
        return waitUntil([&] { return !d->session()->isBusy(); }, 60000);
    };
    const auto enterAngle = [&](const char *degrees) {
        d->angleField()->setFocus();
        d->angleField()->selectAll();
        QTest::keyClicks(d->angleField(), QString::fromLatin1(degrees));
        QTest::keyClick(d->angleField(), Qt::Key_Return);
    };
    const auto wheel = [&](int notches) {
        const QPointF at(view->width() / 3.0, view->height() / 3.0);
        QWheelEvent event(at, view->mapToGlobal(at), QPoint(), QPoint(0, 120 * notches),
                          Qt::NoButton, Qt::NoModifier, Qt::NoScrollPhase, false);
        QApplication::sendEvent(view, &event);
    };
    const auto drag = [&](QPointF by) {
        const QPointF from(view->width() / 2.0, view->height() / 2.0);
        QTest::mousePress(view, Qt::LeftButton, {}, from.toPoint());
        QMouseEvent move(QEvent::MouseMove, from + by, view->mapToGlobal(from + by), Qt::NoButton,
                         Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(view, &move);
        QTest::mouseRelease(view, Qt::LeftButton, {}, (from + by).toPoint());
    };
    ASSERT_TRUE(idle());
    enterAngle("91");
    ASSERT_TRUE(idle());
    for (int i = 0; i < 4; ++i)
        wheel(1); // each notch cancels the walk for the one before
    ASSERT_TRUE(idle());
    wheel(-1);
    ASSERT_TRUE(idle());
    const std::shared_ptr<const lsGeometry> at91 = view->shownGeometry();

    enterAngle("90");
    EXPECT_TRUE(d->session()->isBusy());
    QTest::keyClick(d->axiomText(), Qt::Key_Escape);
    EXPECT_FALSE(d->session()->isBusy());
    EXPECT_EQ(view->shownGeometry(), at91);
    EXPECT_EQ(d->angleField()->text(), QStringLiteral("90"));
    EXPECT_TRUE(d->statusLine()->text().startsWith(QStringLiteral("Stopped. Pass 6 of 6: ")));
    EXPECT_TRUE(d->statusLine()->text().endsWith(QStringLiteral("It is drawn at 91\u00b0.")))
            << d->statusLine()->text().toStdString();

    drag({ 30, 0 });
    drag({ 0, 30 });
    QTest::keyClick(view, Qt::Key_Home);
    ASSERT_TRUE(idle());
    EXPECT_TRUE(view->view().isFramed());
    EXPECT_EQ(d->session()->shown()->degrees, 90.0);
    const QSize pixels = view->pixelSize();
    const std::shared_ptr<lsGeometry> expected = buildPassGeometry(
            pass(90), 90.0, pixels.width(), pixels.height(), {}, nullptr, nullptr, {});
    ASSERT_TRUE(expected);
    EXPECT_EQ(view->shownGeometry()->vertices, expected->vertices);
    EXPECT_TRUE(d->statusLine()->text().startsWith(
            QStringLiteral("Pass 6 of 6: 232,083,411 symbols, 136,048,896 segments, ")))
            << d->statusLine()->text().toStdString();
}
