#include "app/lscontroller.h"

#include "app/demolisting.h"
#include "app/helpmenu.h"
#include "app/sldemomenu.h"
#include "app/startup.h"
#include "document/lsdocument.h"
#include "platform/documentcontroller.h"

#include <QAction>
#include <QByteArray>
#include <QFile>

#include <dirent.h>
#include <sys/stat.h>

#include <cstdlib>

using namespace Qt::StringLiterals;

namespace {

// The entries scandir returns, freed as a whole.
class Listing
{
public:
    explicit Listing(const QByteArray &dir)
    {
        mCount = scandir(dir.constData(), &mEntries, isLSDfile, alphasortBytes);
        if (mCount < 0) // a failed listing counts as an empty one
            mCount = 0;
    }
    ~Listing()
    {
        for (int i = 0; i < mCount; ++i)
            std::free(mEntries[i]);
        std::free(mEntries);
    }
    Listing(const Listing &) = delete;
    Listing &operator=(const Listing &) = delete;

    int count() const { return mCount; }
    const char *name(int i) const { return mEntries[i]->d_name; }

private:
    struct dirent **mEntries = nullptr;
    int mCount = 0;
};

// The part of a name after its last dot, empty without one.
QString pathExtension(const QString &name)
{
    const qsizetype dot = name.lastIndexOf(u'.');
    return dot < 0 ? QString() : name.mid(dot + 1);
}

} // namespace

LSController::LSController(QObject *parent)
    : QObject(parent)
    , mDemoMenu(new slDemoMenu(tr("&Demos")))
    , mHelpMenu(new HelpMenu)
{
    auto *documents = DocumentController::sharedDocumentController();
    documents->setDocumentFactory([] { return new LSDocument; });
    documents->setDocumentType(tr("L-system document"), u"lsd"_s);
    documents->addSharedMenu(mDemoMenu.get());
    documents->addSharedMenu(mHelpMenu.get());

    auto *snapshotAction = new QAction(tr("Save Snaps&hot\u2026"), this);
    connect(snapshotAction, &QAction::triggered, this, &LSController::snapshot);
    documents->addFileMenuAction(snapshotAction);
}

LSController::~LSController() = default;

void LSController::applicationDidFinishLaunching()
{
    buildDemoMenuForDir(QFile::encodeName(demosDirectory()), mDemoMenu.get());
}

void LSController::openFiles(const QStringList &paths)
{
    auto *documents = DocumentController::sharedDocumentController();
    bool opened = false;
    for (const QString &path : paths)
        opened = documents->openDocumentWithContentsOfFile(path, true) != nullptr || opened;
    // Without a window the app would run on invisibly.
    if (!opened)
        documents->newDocument();
}

void LSController::buildDemoMenuForDir(const QByteArray &dir, slDemoMenu *menu)
{
    std::set<DirectoryId> onPath;
    struct stat status;
    if (stat(dir.constData(), &status) == 0)
        onPath.insert({ status.st_dev, status.st_ino });
    buildDemoMenuForDir(dir, menu, onPath);
}

void LSController::buildDemoMenuForDir(const QByteArray &dir,
                                       slDemoMenu *menu,
                                       std::set<DirectoryId> &onPath)
{
    const Listing listing(dir);
    menu->setPath(QFile::decodeName(dir));
    int index = 0;
    for (int i = 0; i < listing.count(); ++i) {
        const QByteArray name = listing.name(i);
        const QByteArray path = dir + '/' + name;
        const QString title = QFile::decodeName(name);
        // A name the file name encoding cannot carry would give an item that opens nothing.
        if (QFile::encodeName(title) != name || pathExtension(title) == "nib"_L1)
            continue;
        struct stat status;
        if (stat(path.constData(), &status) != 0) // vanished, or a link to nothing
            continue;
        // The listing kept directories by their type: one replaced by a file meanwhile goes.
        if (!S_ISDIR(status.st_mode) && !title.endsWith(".lsd"_L1))
            continue;
        if (S_ISDIR(status.st_mode)) {
            slDemoMenu *submenu = menu->insertSubmenuWithTitle(title, index);
            const DirectoryId id{ status.st_dev, status.st_ino };
            if (onPath.insert(id).second) {
                buildDemoMenuForDir(path, submenu, onPath);
                onPath.erase(id);
            } else {
                submenu->setPath(QFile::decodeName(path)); // a loop: cut here
            }
        } else {
            QAction *item = menu->insertItemWithTitle(title.chopped(4), index); // less ".lsd"
            connect(item, &QAction::triggered, this, [this, item] { demoMenu(item); });
        }
        ++index;
    }
}

void LSController::demoMenu(QAction *item)
{
    // A copy: the shipped file is never written, and a changed demo is saved where the user
    // says, like any new document.
    const auto *menu = qobject_cast<const slDemoMenu *>(item->parent());
    if (menu)
        DocumentController::sharedDocumentController()->duplicateDocumentWithContentsOfFile(
                menu->pathOfItem(item), slDemoMenu::title(item));
}

void LSController::snapshot()
{
    if (auto *document = qobject_cast<LSDocument *>(
                DocumentController::sharedDocumentController()->currentDocument()))
        document->snapshot();
}
