#pragma once

#include <QMenu>
#include <QString>

// A menu whose items stand for the entries of one directory: for every item, path(), "/" and
// the item's title give the entry's full path. The title is the entry's name exactly,
// extension included.
class slDemoMenu : public QMenu
{
    Q_OBJECT

public:
    explicit slDemoMenu(QWidget *parent = nullptr);
    explicit slDemoMenu(const QString &title, QWidget *parent = nullptr);

    QString path() const { return mPath; }
    void setPath(const QString &path);

    // Inserts at index (appending past the end) an item titled with an entry name. The item
    // belongs to this menu.
    QAction *insertItemWithTitle(const QString &title, int index);
    // Inserts at index an item carrying a new, empty submenu, which belongs to this menu.
    slDemoMenu *insertSubmenuWithTitle(const QString &title, int index);

    // The entry name an item stands for (menu texts escape '&', titles do not).
    static QString title(const QAction *item);
    // The full path of the entry an item of this menu stands for.
    QString pathOfItem(const QAction *item) const;

private:
    QString mPath;
};
