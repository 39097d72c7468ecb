#include "app/helpmenu.h"

#include "platform/document.h"
#include "platform/documentcontroller.h"

#include <QApplication>
#include <QDialog>
#include <QDialogButtonBox>
#include <QMessageBox>
#include <QScreen>
#include <QTextBrowser>
#include <QVBoxLayout>

namespace {

struct Command
{
    const char *characters;
    const char *meaning;
};

// What the interpreter does with each character (engine/interpreter.cpp), in the user's words.
// Turns follow the turtle geometry: '+' turns clockwise as seen, '>' tips the heading toward
// the viewer.
constexpr Command commands[] = {
    { "F f", QT_TRANSLATE_NOOP("HelpMenu", "Move forward one step, drawing a line.") },
    { "B b", QT_TRANSLATE_NOOP("HelpMenu", "Move back one step, drawing a line.") },
    { "+", QT_TRANSLATE_NOOP("HelpMenu", "Turn right (clockwise) by the angle.") },
    { "-", QT_TRANSLATE_NOOP("HelpMenu", "Turn left (counter-clockwise) by the angle.") },
    { ">",
      QT_TRANSLATE_NOOP("HelpMenu",
                        "Tip the heading toward you by the angle, about the horizontal axis: the "
                        "figure gains depth, and a figure with depth spins.") },
    { "<", QT_TRANSLATE_NOOP("HelpMenu", "Tip the heading away from you by the angle.") },
    { "!", QT_TRANSLATE_NOOP("HelpMenu",
                             "Swap the senses of + and -, and of > and <, up to the closing ].") },
    { "@",
      QT_TRANSLATE_NOOP("HelpMenu",
                        "Multiply the step by the number written after it: @0.5 halves it, @2 "
                        "doubles it; without a number the step becomes 0. A sign in the number "
                        "also turns the turtle, as + and - do.") },
    { "[",
      QT_TRANSLATE_NOOP("HelpMenu", "Remember the position, heading, step and sense of turning.") },
    { "]",
      QT_TRANSLATE_NOOP("HelpMenu",
                        "Return to the state remembered last, without drawing, and draw on from "
                        "there. With nothing remembered it does nothing.") },
    { QT_TRANSLATE_NOOP("HelpMenu", "anything else"),
      QT_TRANSLATE_NOOP("HelpMenu",
                        "Nothing. Other letters (X, Y, ...) only take part in rewriting; digits, "
                        "spaces and other signs are skipped.") },
};

QString referenceHtml()
{
    QString rows;
    for (const Command &command : commands) {
        rows += QStringLiteral("<tr><td><b><code>%1</code></b></td><td>%2</td></tr>")
                        .arg(QString::fromUtf8(command.characters).toHtmlEscaped(),
                             HelpMenu::tr(command.meaning).toHtmlEscaped());
    }
    return HelpMenu::tr(
                   "<p>The rules rewrite the axiom as many times as the iterations say; the "
                   "turtle then reads the result one character at a time. It starts heading up, "
                   "each step is 10 units long, and the view frames the whole figure.</p>"
                   "<table cellspacing=\"0\" cellpadding=\"4\">%1</table>"
                   "<p><b>Rules.</b> In every pass each letter (A\u2013Z, a\u2013z; capitals and "
                   "small letters differ) is replaced by the text of its rule, all at once. Only "
                   "the first rule for a letter counts: a second rule for the same letter is "
                   "ignored, and so is a rule whose letter is not a letter, such as the "
                   "\u201c?\u201d of a new rule. The rules table greys such rules; Move Up and "
                   "Move Down choose which one counts.</p>")
            .arg(rows);
}

} // namespace

HelpMenu::HelpMenu(QWidget *parent)
    : QMenu(tr("&Help"), parent)
{
    addAction(tr("&Turtle Commands"), this, &HelpMenu::showTurtleCommands);
    QAction *about = addAction(tr("&About Sprig"), this, &HelpMenu::showAbout);
    about->setMenuRole(QAction::AboutRole);
}

void HelpMenu::showAbout()
{
    QMessageBox::about(
            DocumentController::sharedDocumentController()->currentDocument(), tr("About Sprig"),
            tr("<h3>Sprig %1</h3><p>An editor and viewer for L-systems: write an axiom and "
               "rules, and watch them grow into curves, plants and tilings.</p>"
               "<p>Released under the %2 licence.</p>")
                    .arg(QApplication::applicationVersion(), QStringLiteral(SPRIG_LICENSE)));
}

void HelpMenu::showTurtleCommands()
{
    if (!mTurtleCommands) {
        mTurtleCommands = new QDialog;
        mTurtleCommands->setAttribute(Qt::WA_DeleteOnClose);
        mTurtleCommands->setWindowTitle(tr("Turtle Commands"));
        auto *text = new QTextBrowser(mTurtleCommands);
        text->setHtml(referenceHtml());
        auto *buttons = new QDialogButtonBox(QDialogButtonBox::Close, mTurtleCommands);
        connect(buttons, &QDialogButtonBox::rejected, mTurtleCommands, &QDialog::reject);
        auto *layout = new QVBoxLayout(mTurtleCommands);
        layout->addWidget(text);
        layout->addWidget(buttons);
        // Scrolls rather than outgrow a small or scaled screen.
        mTurtleCommands->resize(QSize(520, 560).boundedTo(
                mTurtleCommands->screen()->availableGeometry().size() * 0.9));
    }
    mTurtleCommands->show();
    mTurtleCommands->raise();
    mTurtleCommands->activateWindow();
}
