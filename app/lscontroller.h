#pragma once

#include <QObject>
#include <QStringList>

#include <sys/types.h>

#include <memory>
#include <set>
#include <utility>

class HelpMenu;
class QAction;
class QByteArray;
class slDemoMenu;

// The application's controller, one per run: owns the demo menu shown in every document
// window, fills it from the demos directory once launching has finished, opens a copy of the
// document a demo item stands for, takes snapshots of the current document's figure, and
// supplies the Help menu.
class LSController : public QObject
{
    Q_OBJECT

public:
    // Makes the demo menu (empty until applicationDidFinishLaunching) and the app-level
    // commands, registers them and the LSDocument factory with the document controller.
    explicit LSController(QObject *parent = nullptr);
    ~LSController() override;

    // The outlet: the menu receiving the demo items.
    slDemoMenu *demoMenu() const { return mDemoMenu.get(); }
    HelpMenu *helpMenu() const { return mHelpMenu.get(); }

    // Builds the demo menu from the demos directory; sent once at start-up.
    void applicationDidFinishLaunching();
    // Opens each file as a document, or an untitled document when none opens.
    void openFiles(const QStringList &paths);

    // Lists dir (a path as bytes) into menu: sub-directories become submenus, filled before the
    // next entry is looked at, .lsd files become document items (shown without the ".lsd"),
    // all in one sorted order at the top of the menu ahead of its own items. A directory that
    // is already on the path being walked (a symbolic link loop) gets an empty submenu instead
    // of being walked again; one reached by two different paths is listed in both places.
    void buildDemoMenuForDir(const QByteArray &dir, slDemoMenu *menu);

public slots:
    // A demo item was chosen: opens a copy of the file it stands for, an untitled document
    // named after the demo.
    void demoMenu(QAction *item);
    // Asks the current document for a TIFF snapshot of its figure; nothing without one.
    void snapshot();

private:
    using DirectoryId = std::pair<dev_t, ino_t>;

    void
    buildDemoMenuForDir(const QByteArray &dir, slDemoMenu *menu, std::set<DirectoryId> &onPath);

    std::unique_ptr<slDemoMenu> mDemoMenu;
    std::unique_ptr<HelpMenu> mHelpMenu;
};
