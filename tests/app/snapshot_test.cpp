#include "app/lscontroller.h"
#include "app/sldemomenu.h"
#include "apptest.h"
#include "document/lsdocument.h"
#include "platform/dialogfolder.h"
#include "platform/documentcontroller.h"

#include <QAction>
#include <QApplication>
#include <QFile>
#include <QFileDialog>
#include <QFileInfo>
#include <QSignalSpy>
#include <QTest>

#include <gtest/gtest.h>

#include <algorithm>

using namespace Qt::StringLiterals;

namespace {

const QString demos = QStringLiteral(SPRIG_SOURCE_DIR) + "/demos"_L1;

QFileDialog *snapshotDialog(const Document *document)
{
    const QList<QFileDialog *> dialogs = document->findChildren<QFileDialog *>();
    for (QFileDialog *dialog : dialogs) {
        if (dialog->isVisible())
            return dialog;
    }
    return nullptr;
}

TEST(Snapshot, WithoutADocumentDoesNothing)
{
    ASSERT_EQ(DocumentController::sharedDocumentController()->currentDocument(), nullptr);
    testController().snapshot();
    for (const QWidget *window : QApplication::topLevelWidgets())
        EXPECT_FALSE(window->isVisible()) << window->metaObject()->className();
}

// The second document is a demo chosen in the menu: its dialog starts in the user's folder,
// not in the demo's.
TEST(Snapshot, AsksTheCurrentDocumentForATiffNamedAfterIt)
{
    auto *documents = DocumentController::sharedDocumentController();
    documents->setDocumentFactory([] { return new LSDocument; });
    Document *first = documents->openDocumentWithContentsOfFile(
            demos + "/Curves/Koch Snowflake.lsd"_L1, true);
    slDemoMenu menu;
    testController().buildDemoMenuForDir(QFile::encodeName(demos + "/Plants"_L1), &menu);
    const QList<QAction *> items = menu.actions();
    const auto item = std::find_if(items.begin(), items.end(), [](const QAction *action) {
        return slDemoMenu::title(action) == "Plant A"_L1;
    });
    ASSERT_NE(item, items.end());
    (*item)->trigger();
    Document *second = documents->documents().value(1);
    ASSERT_TRUE(first && second);
    second->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(second));
    ASSERT_EQ(documents->currentDocument(), second);

    testController().snapshot();

    EXPECT_EQ(snapshotDialog(first), nullptr);
    QFileDialog *dialog = snapshotDialog(second);
    ASSERT_NE(dialog, nullptr);
    EXPECT_EQ(dialog->defaultSuffix(), "tiff"_L1);
    const QStringList chosen = dialog->selectedFiles();
    ASSERT_EQ(chosen.size(), 1);
    EXPECT_EQ(QFileInfo(chosen.first()).fileName().toStdString(), "Plant A.tiff");
    EXPECT_EQ(dialog->directory().absolutePath(), dialogFolder(QString()));
    EXPECT_FALSE(dialog->directory().absolutePath().startsWith(demos));
    dialog->reject();

    first->close();
    second->close();
    QApplication::processEvents();
}

} // namespace
