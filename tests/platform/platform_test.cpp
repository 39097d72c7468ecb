// The document framework with a minimal text document: titles, the modified marker, saving,
// opening, recent files and closing several windows.
#include "platform/colorwell.h"
#include "platform/document.h"
#include "platform/documentcontroller.h"

#include <QApplication>
#include <QColorDialog>
#include <QFile>
#include <QLabel>
#include <QMessageBox>
#include <QSettings>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QUndoStack>

#include <gtest/gtest.h>
#include <unistd.h>

namespace {

// A document holding one line of text; "bad" files are refused.
class TextDocument : public Document
{
public:
    QString text;

    void setText(const QString &value)
    {
        struct Edit : QUndoCommand
        {
            TextDocument *doc;
            QString before, after;
            void redo() override { doc->text = after; }
            void undo() override { doc->text = before; }
        };
        auto *edit = new Edit;
        edit->doc = this;
        edit->before = text;
        edit->after = value;
        undoStack()->push(edit);
    }

protected:
    bool dataRepresentation(QByteArray &data, QString *error) const override
    {
        if (text.startsWith(QStringLiteral("unsaveable"))) {
            *error = QStringLiteral("it holds what no file can");
            return false;
        }
        data = text.toUtf8();
        return true;
    }
    std::size_t maximumFileSize() const override { return 1 << 10; }
    bool readFromData(const QByteArray &data, QString *error) override
    {
        if (data.startsWith("bad")) {
            *error = QStringLiteral("not a text document");
            return false;
        }
        text = QString::fromUtf8(data);
        return true;
    }
    void loadInterface() override { setCentralWidget(new QLabel(text)); }
};

// Answers the next message boxes with `answer`, keeping their texts.
class Answerer : public QObject
{
public:
    explicit Answerer(QMessageBox::StandardButton answer)
    {
        connect(&mTimer, &QTimer::timeout, this, [this, answer] {
            if (auto *box = qobject_cast<QMessageBox *>(QApplication::activeModalWidget())) {
                texts.append(box->text() + QLatin1Char(' ') + box->informativeText());
                box->button(answer)->click();
            }
        });
        mTimer.start(10);
    }
    QStringList texts;

private:
    QTimer mTimer;
};

class PlatformTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        controller.setDocumentType(QStringLiteral("Text"), QStringLiteral("txt"));
        controller.setDocumentFactory([] { return new TextDocument; });
        controller.clearRecentFiles();
    }
    void TearDown() override
    {
        for (Document *d : controller.documents()) {
            d->undoStack()->setClean();
            d->close();
        }
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    }
    QString path(const QString &name) const { return dir.filePath(name); }
    void write(const QString &name, const QByteArray &bytes)
    {
        QFile f(path(name));
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(bytes);
    }
    QByteArray read(const QString &name)
    {
        QFile f(path(name));
        EXPECT_TRUE(f.open(QIODevice::ReadOnly));
        return f.readAll();
    }

    DocumentController controller;
    QTemporaryDir dir;
};

TEST_F(PlatformTest, TitlesNumberUntitledWindowsAndMarkChanges)
{
    auto *a = static_cast<TextDocument *>(controller.newDocument());
    auto *b = controller.newDocument();
    // The application's name follows the document's, as desktops show window titles.
    EXPECT_EQ(a->windowTitle(), QStringLiteral("Untitled[*] \u2014 platform_test"));
    EXPECT_EQ(b->displayName(), QStringLiteral("Untitled 2"));
    EXPECT_EQ(controller.documents(), (QList<Document *>{ a, b }));
    a->setText(QStringLiteral("x"));
    EXPECT_TRUE(a->isWindowModified());
    a->undoStack()->undo();
    EXPECT_FALSE(a->isWindowModified());
    a->undoStack()->redo();
    QString error;
    ASSERT_TRUE(a->saveToFile(path(QStringLiteral("one.txt")), &error));
    EXPECT_EQ(a->windowTitle(), QStringLiteral("one.txt[*] \u2014 platform_test"));
    EXPECT_FALSE(a->isWindowModified());
    EXPECT_EQ(read(QStringLiteral("one.txt")), QByteArray("x"));
    // Undoing past the save marks the document changed again.
    a->undoStack()->undo();
    EXPECT_TRUE(a->isModified());
    // A closed untitled window frees its number.
    b->close();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_EQ(controller.newDocument()->displayName(), QStringLiteral("Untitled"));
}

TEST_F(PlatformTest, SavingReplacesWholeFilesAndFailuresSayWhere)
{
    write(QStringLiteral("doc.txt"), QByteArray(1000, 'z'));
    auto *d = static_cast<TextDocument *>(
            controller.openDocumentWithContentsOfFile(path(QStringLiteral("doc.txt")), false));
    ASSERT_TRUE(d);
    d->setText(QStringLiteral("short"));
    ASSERT_TRUE(d->save());
    EXPECT_EQ(read(QStringLiteral("doc.txt")), QByteArray("short"));

    ASSERT_TRUE(QDir(dir.path()).mkdir(QStringLiteral("folder.txt")));
    QString error;
    EXPECT_FALSE(d->saveToFile(path(QStringLiteral("folder.txt")), &error));
    EXPECT_TRUE(error.contains(QStringLiteral("folder.txt"))) << error.toStdString();
    EXPECT_EQ(d->fileName(), path(QStringLiteral("doc.txt")));

    d->setText(QStringLiteral("unsaveable"));
    EXPECT_FALSE(d->saveToFile(path(QStringLiteral("doc.txt")), &error));
    EXPECT_TRUE(error.contains(QStringLiteral("doc.txt"))) << error.toStdString();
    EXPECT_TRUE(error.contains(QStringLiteral("no file can"))) << error.toStdString();
    EXPECT_EQ(read(QStringLiteral("doc.txt")), QByteArray("short"));
    EXPECT_TRUE(d->isModified());

    // What a save cannot keep is said: here the file's other name keeps the old bytes.
    ASSERT_EQ(::link(QFile::encodeName(path(QStringLiteral("doc.txt"))).constData(),
                     QFile::encodeName(path(QStringLiteral("other.txt"))).constData()),
              0);
    d->setText(QStringLiteral("longer"));
    QString warning;
    ASSERT_TRUE(d->saveToFile(path(QStringLiteral("doc.txt")), &error, &warning));
    EXPECT_EQ(warning,
              QStringLiteral("The file \u201cdoc.txt\u201d was saved, but its other name (a "
                             "hard link) keeps the old contents."));
    EXPECT_EQ(read(QStringLiteral("doc.txt")), QByteArray("longer"));
    EXPECT_EQ(read(QStringLiteral("other.txt")), QByteArray("short"));
}

TEST_F(PlatformTest, OpeningRefusesBadFilesAndFocusesOpenOnes)
{
    write(QStringLiteral("bad.txt"), "bad content");
    write(QStringLiteral("good.txt"), "hello");
    QString error;
    EXPECT_FALSE(controller.openDocumentWithContentsOfFile(path(QStringLiteral("bad.txt")), true,
                                                           &error));
    EXPECT_TRUE(error.contains(QStringLiteral("bad.txt")));
    EXPECT_TRUE(error.contains(QStringLiteral("not a text document")));
    EXPECT_FALSE(controller.openDocumentWithContentsOfFile(path(QStringLiteral("gone.txt")), true,
                                                           &error));
    EXPECT_TRUE(error.contains(QStringLiteral("gone.txt")));
    EXPECT_TRUE(controller.documents().isEmpty());

    Document *good =
            controller.openDocumentWithContentsOfFile(path(QStringLiteral("good.txt")), true);
    ASSERT_TRUE(good);
    ASSERT_TRUE(QFile::link(path(QStringLiteral("good.txt")), path(QStringLiteral("link.txt"))));
    EXPECT_EQ(controller.openDocumentWithContentsOfFile(path(QStringLiteral("link.txt")), true),
              good);
    EXPECT_EQ(controller.recentFiles(), QStringList{ path(QStringLiteral("good.txt")) });
}

TEST_F(PlatformTest, RecentFilesKeepTheLatestTenOnce)
{
    for (int i = 0; i < 12; ++i)
        controller.noteRecentFile(QStringLiteral("/f%1").arg(i));
    controller.noteRecentFile(QStringLiteral("/f5"));
    const QStringList recent = controller.recentFiles();
    ASSERT_EQ(recent.size(), 10);
    EXPECT_EQ(recent.first(), QStringLiteral("/f5"));
    EXPECT_EQ(recent.count(QStringLiteral("/f5")), 1);
    EXPECT_EQ(recent.at(1), QStringLiteral("/f11"));
    EXPECT_FALSE(recent.contains(QStringLiteral("/f1")));
}

TEST_F(PlatformTest, CloseAllStopsAtTheFirstCancel)
{
    auto *a = static_cast<TextDocument *>(controller.newDocument());
    auto *b = static_cast<TextDocument *>(controller.newDocument());
    a->setText(QStringLiteral("a"));
    b->setText(QStringLiteral("b"));
    {
        Answerer cancel(QMessageBox::Cancel);
        EXPECT_FALSE(controller.closeAll());
        EXPECT_EQ(cancel.texts.size(), 1);
        EXPECT_TRUE(cancel.texts.first().contains(QStringLiteral("Untitled")));
    }
    EXPECT_EQ(controller.documents().size(), 2);
    {
        Answerer discard(QMessageBox::Discard);
        EXPECT_TRUE(controller.closeAll());
        EXPECT_EQ(discard.texts.size(), 2);
    }
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_TRUE(controller.documents().isEmpty());
}

TEST_F(PlatformTest, ColorWellPicksWithAlphaAndReportsOnlyChanges)
{
    ColorWell well;
    well.setColor(Qt::red);
    QList<QColor> picked;
    QObject::connect(&well, &ColorWell::colorPicked, [&](const QColor &c) { picked.append(c); });
    for (const QColor &choice : { QColor(0, 0, 255, 100), QColor(0, 0, 255, 100) }) {
        well.click();
        auto *dialog = well.findChild<QColorDialog *>();
        ASSERT_TRUE(dialog);
        EXPECT_TRUE(dialog->testOption(QColorDialog::ShowAlphaChannel));
        dialog->setCurrentColor(choice);
        dialog->accept();
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    }
    ASSERT_EQ(picked.size(), 1);
    EXPECT_EQ(picked.first().alpha(), 100);
    EXPECT_EQ(well.color(), QColor(0, 0, 255, 100));
}

} // namespace

int main(int argc, char **argv)
{
    // Each test process keeps its settings (recent files) to itself: ctest runs them in parallel.
    QTemporaryDir settingsDir;
    QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, settingsDir.path());
    QApplication app(argc, argv);
    QCoreApplication::setOrganizationName(QStringLiteral("SprigTests"));
    QCoreApplication::setApplicationName(QStringLiteral("platform_test"));
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
