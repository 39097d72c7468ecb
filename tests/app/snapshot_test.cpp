#include "app/lscontroller.h"
#include "apptest.h"
#include "document/lsdocument.h"
#include "platform/documentcontroller.h"

#include <QApplication>
#include <QFileDialog>
#include <QFileInfo>
#include <QSignalSpy>
#include <QTest>

#include <gtest/gtest.h>

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

TEST(Snapshot, AsksTheCurrentDocumentForATiffNamedAfterIt)
{
    auto *documents = DocumentController::sharedDocumentController();
    documents->setDocumentFactory([] { return new LSDocument; });
    Document *first = documents->openDocumentWithContentsOfFile(
            demos + "/Curves/Koch Snowflake.lsd"_L1, true);
    Document *second =
            documents->openDocumentWithContentsOfFile(demos + "/Plants/Plant A.lsd"_L1, true);
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
    dialog->reject();

    first->close();
    second->close();
    QApplication::processEvents();
}

} // namespace
