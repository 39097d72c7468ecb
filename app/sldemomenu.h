#pragma once

#include <QMenu>
#include <QString>

// A menu whose items stand for the entries of one directory: for every item, path(), "/" and
// the item's title give the entry's full path, with ".lsd" after it for a document item. A
// submenu's title is its directory's name exactly; a document item's is the file's name
// without its ".lsd", the document's name.
class slDemoMenu : public QMenu
{
    Q_OBJECT

public:
    explicit slDemoMenu(QWidget *parent = nullptr);
    explicit slDemoMenu(const QString &title, QWidget *parent = nullptr);

    QString path() const { return mPath; }
    void setPath(const QString &path);

    // Inserts at index (appending past the end) an item for a document, titled with its file
    // name less ".lsd". The item belongs to this menu.
    QAction *insertItemWithTitle(const QString &title, int index);
    // Inserts at index an item carrying a new, empty submenu, which belongs to this menu.
    slDemoMenu *insertSubmenuWithTitle(const QString &title, int index);

    // An item's title (menu texts escape '&', titles do not).
    static QString title(const QAction *item);
    // The full path of the entry an item of this menu stands for.
    QString pathOfItem(const QAction *item) const;

private:
    QString mPath;
};
