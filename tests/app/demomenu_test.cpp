#include "app/demolisting.h"
#include "app/lscontroller.h"
#include "app/sldemomenu.h"
#include "apptest.h"
#include "platform/dialogfolder.h"
#include "platform/document.h"
#include "platform/documentcontroller.h"

#include <QAction>
#include <QApplication>
#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QFileInfo>
#include <QTemporaryDir>
#include <QTimer>

#include <dirent.h>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstring>

using namespace Qt::StringLiterals;

namespace {

// The menu tree as text: one line per item, submenus end in "/" and indent their items.
QString outline(const slDemoMenu *menu, int depth = 0)
{
    QString text;
    const QList<QAction *> items = menu->actions();
    for (const QAction *item : items) {
        text += QString(depth * 2, u' ') + slDemoMenu::title(item);
        const auto *submenu = qobject_cast<const slDemoMenu *>(item->menu());
        text += submenu ? "/\n"_L1 + outline(submenu, depth + 1) : "\n"_L1;
    }
    return text;
}

// Every item of the tree stands for the entry its menu's path and its title name.
void expectPathsNameEntries(const slDemoMenu *menu)
{
    const QList<QAction *> items = menu->actions();
    for (const QAction *item : items) {
        if (item->data().toString() == "own"_L1)
            continue;
        const QString path = menu->pathOfItem(item);
        if (const auto *submenu = qobject_cast<const slDemoMenu *>(item->menu())) {
            EXPECT_EQ(submenu->path(), path);
            EXPECT_TRUE(QFileInfo(path).isDir()) << path.toStdString();
            expectPathsNameEntries(submenu);
        } else {
            EXPECT_TRUE(QFileInfo(path).isFile()) << path.toStdString();
        }
    }
}

class DemoTree : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_TRUE(mTemp.isValid());
        mRoot = mTemp.path() + "/demos"_L1;
        for (const char *dir :
             { "demos/.hiddendir", "demos/Capital", "demos/ab", "demos/empty", "demos/m.nib",
               "demos/x.lsd/deep/deeper", "demos/loop", "outside" })
            ASSERT_TRUE(QDir(mTemp.path()).mkpath(QString::fromLatin1(dir)));
        for (const char *file :
             { "demos/a.lsd", "demos/b.lsd", "demos/B.LSD", "demos/.lsd", "demos/.hidden.lsd",
               "demos/c.lsd.bak", "demos/r&d.lsd", "demos/.hiddendir/d.lsd",
               "demos/m.nib/inside.lsd", "demos/x.lsd/deep/deeper/leaf.lsd", "outside/o.lsd" })
            touch(QString::fromLatin1(file));
        link("../outside", "demos/y.lsd");     // a link to a directory, named .lsd
        link("empty", "demos/linkdir");        // a link to a directory, not named .lsd
        link("a.lsd", "demos/linkfile");       // a link to a document, not named .lsd
        link("a.lsd", "demos/z.lsd");          // a link to a document, named .lsd
        link("nowhere", "demos/dangling.lsd"); // a link to nothing
        link("..", "demos/loop/back.lsd");     // a loop back to the top
        link("x.lsd/deep", "demos/two.lsd");   // a second path to a directory
        // A name that is not UTF-8 cannot be made through QFile.
        const QByteArray notUtf8 = QFile::encodeName(mTemp.path()) + "/demos/\xff.lsd";
        const int fd = open(notUtf8.constData(), O_CREAT | O_WRONLY, 0644);
        ASSERT_GE(fd, 0);
        close(fd);
    }

    void touch(const QString &relative)
    {
        QFile file(mTemp.path() + u'/' + relative);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    }
    void link(const char *target, const char *relative)
    {
        const QByteArray path = QFile::encodeName(mTemp.path()) + '/' + relative;
        ASSERT_EQ(symlink(target, path.constData()), 0);
    }

    // QTemporaryDir cannot remove a name that is not UTF-8.
    void TearDown() override { unlink((QFile::encodeName(mRoot) + "/\xff.lsd").constData()); }

    QTemporaryDir mTemp;
    QString mRoot;
};

TEST_F(DemoTree, ListsDocumentsAndDirectoriesInOneByteOrderAheadOfTheMenusOwnItems)
{
    LSController &controller = testController();
    slDemoMenu menu;
    menu.addAction(u"Own item"_s)->setData(u"own"_s);

    controller.buildDemoMenuForDir(QFile::encodeName(mRoot), &menu);

    // Also: "loop/back.lsd" leads to the top again and is not walked a second time, while
    // "two.lsd" and "x.lsd/deep" both list the one directory they reach.
    // Documents show their names without ".lsd"; directories show theirs whole.
    EXPECT_EQ(outline(&menu).toStdString(), ".hidden\n"
                                            ".hiddendir/\n"
                                            "  d\n"
                                            "Capital/\n"
                                            "a\n"
                                            "ab/\n"
                                            "b\n"
                                            "empty/\n"
                                            "loop/\n"
                                            "  back.lsd/\n"
                                            "r&d\n"
                                            "two.lsd/\n"
                                            "  deeper/\n"
                                            "    leaf\n"
                                            "x.lsd/\n"
                                            "  deep/\n"
                                            "    deeper/\n"
                                            "      leaf\n"
                                            "y.lsd/\n"
                                            "  o\n"
                                            "z\n"
                                            "Own item\n");
    EXPECT_EQ(menu.path(), mRoot);
    expectPathsNameEntries(&menu);
}

TEST_F(DemoTree, MenuTextShowsAnAmpersandTheTitleKeeps)
{
    LSController &controller = testController();
    slDemoMenu menu;
    controller.buildDemoMenuForDir(QFile::encodeName(mRoot), &menu);
    const QList<QAction *> items = menu.actions();
    const auto item = std::find_if(items.begin(), items.end(), [](const QAction *action) {
        return slDemoMenu::title(action) == "r&d"_L1;
    });
    ASSERT_NE(item, items.end());
    EXPECT_EQ((*item)->text(), "r&&d"_L1);
}

TEST(DemoMenu, MissingDirectoryLeavesOnlyTheMenusOwnItemsAndSetsItsPath)
{
    LSController &controller = testController();
    slDemoMenu menu;
    menu.addAction(u"Own item"_s);
    QTemporaryDir temp;
    const QString missing = temp.path() + "/no such demos"_L1;

    controller.buildDemoMenuForDir(QFile::encodeName(missing), &menu);

    EXPECT_EQ(outline(&menu), "Own item\n"_L1);
    EXPECT_EQ(menu.path(), missing);
}

// A document that keeps the bytes it was read from.
class PlainDocument : public Document
{
public:
    QByteArray bytes;

protected:
    bool dataRepresentation(QByteArray &data, QString *) const override
    {
        data = bytes;
        return true;
    }
    std::size_t maximumFileSize() const override { return 1 << 10; }
    bool readFromData(const QByteArray &data, QString *) override
    {
        bytes = data;
        return true;
    }
    void loadInterface() override { setCentralWidget(new QWidget); }
};

// A demo opens as an untitled copy named after it: its file is never written, and saving
// asks for a name in the user's folder, not the demo's.
TEST_F(DemoTree, ChoosingAnItemThreeLevelsDownOpensAnUntitledCopyOfThatFile)
{
    LSController &controller = testController();
    auto *documents = DocumentController::sharedDocumentController();
    documents->setDocumentFactory([] { return new PlainDocument; });
    const QString leaf = mRoot + "/x.lsd/deep/deeper/leaf.lsd"_L1;
    {
        QFile file(leaf);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write("demo");
    }
    slDemoMenu menu;
    controller.buildDemoMenuForDir(QFile::encodeName(mRoot), &menu);

    // x.lsd ▸ deep ▸ deeper ▸ leaf
    const slDemoMenu *level = &menu;
    for (const QString &name : { u"x.lsd"_s, u"deep"_s, u"deeper"_s }) {
        const QList<QAction *> items = level->actions();
        const auto item = std::find_if(items.begin(), items.end(), [&](const QAction *action) {
            return slDemoMenu::title(action) == name;
        });
        ASSERT_NE(item, items.end()) << name.toStdString();
        level = qobject_cast<const slDemoMenu *>((*item)->menu());
        ASSERT_NE(level, nullptr);
    }
    ASSERT_EQ(level->actions().size(), 1);
    level->actions().first()->trigger();
    level->actions().first()->trigger();

    ASSERT_EQ(documents->documents().size(), 2);
    auto *opened = static_cast<PlainDocument *>(documents->documents().first());
    EXPECT_EQ(opened->bytes, "demo");
    EXPECT_TRUE(opened->fileName().isEmpty());
    EXPECT_FALSE(opened->isModified());
    EXPECT_EQ(opened->displayName(), "leaf"_L1);
    EXPECT_TRUE(opened->windowTitle().startsWith("leaf[*]"_L1));
    EXPECT_EQ(documents->documents().last()->displayName(), "leaf 2"_L1);

    QString folder, name;
    QTimer answer;
    QObject::connect(&answer, &QTimer::timeout, [&] {
        if (auto *dialog = qobject_cast<QFileDialog *>(QApplication::activeModalWidget())) {
            folder = dialog->directory().absolutePath();
            name = QFileInfo(dialog->selectedFiles().value(0)).fileName();
            dialog->reject();
        }
    });
    answer.start(10);
    EXPECT_FALSE(opened->save());
    EXPECT_EQ(folder, dialogFolder(QString()));
    EXPECT_FALSE(folder.startsWith(mRoot));
    EXPECT_EQ(name, "leaf.lsd"_L1);
    QFile file(leaf);
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    EXPECT_EQ(file.readAll(), "demo");

    for (Document *document : documents->documents())
        document->close();
    QApplication::processEvents();
}

// The filter alone, for what a temporary tree cannot show (a listing without types).
TEST(IsLSDfile, ReadsOnlyTheTypeAndTheName)
{
    struct Case
    {
        unsigned char type;
        const char *name;
        bool kept;
    };
    const Case cases[] = {
        { DT_DIR, ".", false },     { DT_DIR, "..", false },      { DT_DIR, ".git", true },
        { DT_DIR, "x.lsd", true },  { DT_REG, "a.lsd", true },    { DT_REG, ".lsd", false },
        { DT_REG, "a.LSD", false }, { DT_REG, "a.lsd~", false },  { DT_LNK, "l.lsd", true },
        { DT_LNK, "dir", false },   { DT_UNKNOWN, "dir", false }, { DT_UNKNOWN, "u.lsd", true },
    };
    for (const Case &c : cases) {
        struct dirent entry
        { };
        entry.d_type = c.type;
        std::strncpy(entry.d_name, c.name, sizeof entry.d_name - 1);
        EXPECT_EQ(isLSDfile(&entry) != 0, c.kept) << c.name;
    }
}

} // namespace
