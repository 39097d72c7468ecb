#include "app/sldemomenu.h"

#include <QAction>

using namespace Qt::StringLiterals;

namespace {

// A menu text shows '&' only when doubled; a single one marks a mnemonic.
QString menuText(const QString &title)
{
    QString text = title;
    return text.replace(u'&', "&&"_L1);
}

} // namespace

slDemoMenu::slDemoMenu(QWidget *parent)
    : QMenu(parent)
{ }

slDemoMenu::slDemoMenu(const QString &title, QWidget *parent)
    : QMenu(title, parent)
{ }

void slDemoMenu::setPath(const QString &path)
{
    mPath = path;
}

QAction *slDemoMenu::insertItemWithTitle(const QString &title, int index)
{
    auto *item = new QAction(menuText(title), this);
    const QList<QAction *> items = actions();
    insertAction(index < items.size() ? items.at(index) : nullptr, item);
    return item;
}

slDemoMenu *slDemoMenu::insertSubmenuWithTitle(const QString &title, int index)
{
    auto *submenu = new slDemoMenu(menuText(title), this);
    const QList<QAction *> items = actions();
    insertMenu(index < items.size() ? items.at(index) : nullptr, submenu);
    return submenu;
}

QString slDemoMenu::title(const QAction *item)
{
    QString text = item->text();
    return text.replace("&&"_L1, "&"_L1);
}

QString slDemoMenu::pathOfItem(const QAction *item) const
{
    return mPath + u'/' + title(item) + (item->menu() ? QString() : u".lsd"_s);
}
