// What every window offers around the document: its menus, the Help menu, the command line.
#include "app/appcommandline.h"
#include "app/helpmenu.h"
#include "app/lscontroller.h"
#include "apptest.h"
#include "platform/document.h"
#include "platform/documentcontroller.h"

#include <QApplication>
#include <QDialog>
#include <QMenuBar>
#include <QMessageBox>
#include <QTest>
#include <QTextBrowser>
#include <QTimer>

#include <gtest/gtest.h>

using namespace Qt::StringLiterals;

namespace {

// Checks one menu (a menu bar's titles or a menu's items) and every submenu below it.
void expectDistinctMnemonics(const QString &where, const QList<QAction *> &actions)
{
    QMap<QKeySequence, QString> taken;
    for (QAction *action : actions) {
        if (action->menu())
            expectDistinctMnemonics(action->text(), action->menu()->actions());
        const QKeySequence mnemonic = QKeySequence::mnemonic(action->text());
        if (mnemonic.isEmpty())
            continue;
        EXPECT_FALSE(taken.contains(mnemonic))
                << where.toStdString() << ": \"" << action->text().toStdString() << "\" and \""
                << taken.value(mnemonic).toStdString() << "\" share "
                << mnemonic.toString().toStdString();
        taken.insert(mnemonic, action->text());
    }
}

TEST(Menus, NoTwoItemsOfAMenuShareAMnemonic)
{
    testController().applicationDidFinishLaunching(); // the demo menu, filled
    auto *documents = DocumentController::sharedDocumentController();
    // File names with '&' in the recent files must not make mnemonics.
    documents->noteRecentFile(u"/tmp/R&D.lsd"_s);
    documents->noteRecentFile(u"/tmp/Q&A.lsd"_s);
    documents->noteRecentFile(u"/tmp/T&D.lsd"_s);
    Document *window = documents->newDocument();
    ASSERT_TRUE(window);
    for (QMenu *menu : window->menuBar()->findChildren<QMenu *>())
        emit menu->aboutToShow(); // menus filled when they open
    expectDistinctMnemonics(u"menu bar"_s, window->menuBar()->actions());
    documents->clearRecentFiles();
    window->close();
    QApplication::processEvents();
}

TEST(Menus, HelpShowsAboutAndTheTurtleCommands)
{
    HelpMenu *help = testController().helpMenu();
    QString about;
    QTimer::singleShot(50, [&about] {
        if (auto *box = qobject_cast<QMessageBox *>(QApplication::activeModalWidget())) {
            about = box->windowTitle() + u'\n' + box->text();
            box->accept();
        }
    });
    help->showAbout();
    EXPECT_TRUE(about.startsWith(u"About Sprig\n"_s)) << about.toStdString();
    EXPECT_TRUE(about.contains(QCoreApplication::applicationVersion())) << about.toStdString();
    EXPECT_TRUE(about.contains(QStringLiteral(SPRIG_LICENSE))) << about.toStdString();

    help->showTurtleCommands();
    QDialog *reference = help->turtleCommandsWindow();
    ASSERT_TRUE(reference);
    ASSERT_TRUE(QTest::qWaitForWindowExposed(reference));
    EXPECT_EQ(reference->windowTitle(), u"Turtle Commands"_s);
    help->showTurtleCommands(); // one window, brought forward
    EXPECT_EQ(help->turtleCommandsWindow(), reference);
    const QString text = reference->findChild<QTextBrowser *>()->toPlainText();
    for (const char *command : { "F f", "B b", "+", "-", ">", "<", "!", "@", "[", "]" })
        EXPECT_TRUE(text.contains(u'\n' + QString::fromLatin1(command) + u'\n')
                    || text.contains(u'\n' + QString::fromLatin1(command) + u'\t'))
                << command;
    EXPECT_TRUE(text.contains(u"first rule for a letter counts"_s));
    reference->close();
}

TEST(CommandLine, HelpAndVersionAreOptionsNotFiles)
{
    QCoreApplication::setApplicationVersion(u"1.2.3"_s);
    AppCommandLine line = parseAppCommandLine({ u"sprig"_s, u"--help"_s });
    EXPECT_EQ(line.status, AppCommandLine::Help);
    EXPECT_TRUE(line.text.contains(u"--version"_s)) << line.text.toStdString();
    line = parseAppCommandLine({ u"sprig"_s, u"--version"_s });
    EXPECT_EQ(line.status, AppCommandLine::Version);
    EXPECT_TRUE(line.text.contains(u"1.2.3"_s));
    line = parseAppCommandLine({ u"sprig"_s, u"--frobnicate"_s, u"a.lsd"_s });
    EXPECT_EQ(line.status, AppCommandLine::Error);
    EXPECT_TRUE(line.text.contains(u"frobnicate"_s));
    line = parseAppCommandLine({ u"sprig"_s, u"a.lsd"_s, u"--"_s, u"--help"_s });
    EXPECT_EQ(line.status, AppCommandLine::Open);
    EXPECT_EQ(line.files, QStringList({ u"a.lsd"_s, u"--help"_s }));
}

} // namespace
