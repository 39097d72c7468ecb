// Generation and the parameter controls: clamping, the angle conversion, requests made during a
// generation, the byte budget and closing a window while a generation runs.
#include "documenttest.h"

#include <QElapsedTimer>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QSlider>
#include <QTableView>

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
        EXPECT_TRUE(d->isGenerating());
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

TEST_F(DocumentTest, AngleIsClampedShownTruncatedAndTurnsTheFigureWithoutRewriting)
{
    LSDocument *d = openData(kochData());
    ASSERT_TRUE(d);
    ASSERT_TRUE(
            showsGeometry(d, expectedGeometry("F-F-F-F", { "F" }, { "F+F-F-FF+F+F-F" }, 90, 2)));
    const struct
    {
        double given, stored;
        const char *shown;
    } cases[] = {
        { 400, 360, "360" }, { -10, 0, "0" }, { 22.5, 22.5, "22" }, { 359.9, 359.9, "359" }
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.given);
        d->setAngle(c.given);
        EXPECT_EQ(d->angle(), c.stored);
        EXPECT_EQ(d->angleSlider()->value(), QString::fromLatin1(c.shown).toInt());
        EXPECT_EQ(d->angleField()->text(), QLatin1String(c.shown));
        EXPECT_FALSE(d->isGenerating()); // no rewriting
        EXPECT_TRUE(showsGeometry(
                d, expectedGeometry("F-F-F-F", { "F" }, { "F+F-F-FF+F+F-F" }, c.stored, 2)));
        EXPECT_EQ(d->ruleSet()->angle, c.stored / 360.0 * 6.283185307179586);
    }
    d->setAngle(22.5);
    EXPECT_TRUE(
            showsGeometry(d, expectedGeometry("F-F-F-F", { "F" }, { "F+F-F-FF+F+F-F" }, 22.5, 2)));
    EXPECT_EQ(d->ruleSet()->angle, 0.39269908169872414);

    // Typed into the field: single precision, clamped, shown whole.
    d->angleField()->setFocus();
    d->angleField()->selectAll();
    QTest::keyClicks(d->angleField(), QStringLiteral("400"));
    QTest::keyClick(d->angleField(), Qt::Key_Return);
    EXPECT_EQ(d->angle(), 360.0);
    EXPECT_EQ(d->angleField()->text(), QStringLiteral("360"));
    d->angleField()->selectAll();
    QTest::keyClicks(d->angleField(), QStringLiteral("12.3"));
    QTest::keyClick(d->angleField(), Qt::Key_Return);
    EXPECT_EQ(d->angle(), double(12.3f));
    EXPECT_EQ(d->angleField()->text(), QStringLiteral("12"));
}

TEST_F(DocumentTest, AngleBeforeAnyGenerationIsUsedByTheFirst)
{
    LSDocument *d = newDocument();
    d->axiomText()->setText(QStringLiteral("F+F+F"));
    d->setAngle(22.5);
    EXPECT_FALSE(d->ruleSet());
    EXPECT_FALSE(d->isGenerating());
    d->generateButton()->click();
    ASSERT_TRUE(showsGeometry(d, expectedGeometry("F+F+F", {}, {}, 22.5, 4)));
    EXPECT_EQ(d->ruleSet()->angle, 0.39269908169872414);
}

TEST_F(DocumentTest, TwoRulesForALetterTheFirstApplies)
{
    DocumentData data = kochData();
    data.letters = { "F", "F" };
    data.rules = { "F+F", "F-F-F" };
    LSDocument *d = openData(data);
    ASSERT_TRUE(d);
    EXPECT_TRUE(showsGeometry(d, expectedGeometry("F-F-F-F", { "F" }, { "F+F" }, 90, 2)));
    EXPECT_EQ(d->ruleSet()->rules['F']->text, "F+F");
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
    EXPECT_TRUE(d->isGenerating());
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
    ASSERT_TRUE(showsGeometry(d, expectedGeometry("F", data.letters, data.rules, 0, 2)));
    const QString status = d->statusLine()->text();
    EXPECT_TRUE(
            status.contains(QStringLiteral("Pass 2 of 7: 25,000,000 symbols, 25,000,000 segments")))
            << status.toStdString();
    EXPECT_TRUE(status.endsWith(
            QStringLiteral(". Pass 3 would have 125,000,000,000 symbols, more than the "
                           "68,719,476,736 a figure may have.")))
            << status.toStdString();
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
            [&] { return d->isGenerating() && d->statusLine()->text().endsWith(u'\u2026'); }));
    EXPECT_TRUE(d->isGenerating());
    EXPECT_FALSE(d->progressWheel()->isHidden());
    EXPECT_EQ(d->generateButton()->text(), QStringLiteral("&Stop"));

    QTest::keyClick(d->axiomText(), Qt::Key_Escape);
    EXPECT_FALSE(d->isGenerating());
    EXPECT_EQ(d->generateButton()->text(), QStringLiteral("&Generate"));
    EXPECT_EQ(d->iterations(), 6); // the request stays as the user set it
    EXPECT_TRUE(showsGeometry(d, small));
    EXPECT_TRUE(waitUntil([&] { return d->progressWheel()->isHidden(); }));
    EXPECT_TRUE(d->statusLine()->text().startsWith(QStringLiteral("Stopped. Pass 2 of 2: ")))
            << d->statusLine()->text().toStdString();
    QTest::qWait(200); // nothing of the stopped generation arrives
    EXPECT_TRUE(showsGeometry(d, small));
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
        ASSERT_TRUE(waitUntil(
                [&] { return d->isGenerating() && d->statusLine()->text().endsWith(u'\u2026'); }));
        d->undoStack()->setClean();
        QElapsedTimer clock;
        clock.start();
        EXPECT_TRUE(d->close());
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        EXPECT_LT(clock.elapsed(), 1000);
    }
    EXPECT_TRUE(controller()->documents().isEmpty());
}
