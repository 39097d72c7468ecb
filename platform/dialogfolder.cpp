#include "platform/dialogfolder.h"

#include <QDir>
#include <QFileInfo>
#include <QSettings>

namespace {

QString lastFolderKey()
{
    return QStringLiteral("lastDialogFolder");
}

} // namespace

QString dialogFolder(const QString &documentFile)
{
    if (!documentFile.isEmpty())
        return QFileInfo(documentFile).absolutePath();
    const QString last = QSettings().value(lastFolderKey()).toString();
    if (!last.isEmpty() && QFileInfo(last).isDir())
        return last;
    return QDir::homePath();
}

void noteDialogFolder(const QString &chosenFile)
{
    QSettings().setValue(lastFolderKey(), QFileInfo(chosenFile).absolutePath());
}
