#include "platform/documentcontroller.h"

#include "platform/dialogfolder.h"
#include "platform/document.h"

#include <QAction>
#include <QApplication>
#include <QFileDialog>
#include <QFileInfo>
#include <QMessageBox>
#include <QSettings>

namespace {

DocumentController *sharedController = nullptr;
constexpr int maxRecentFiles = 10;

QString recentFilesKey()
{
    return QStringLiteral("recentFiles");
}

// Two paths name the same file (symbolic links resolved); a missing file matches itself only.
bool sameFile(const QString &a, const QString &b)
{
    const QString ca = QFileInfo(a).canonicalFilePath();
    const QString cb = QFileInfo(b).canonicalFilePath();
    if (ca.isEmpty() || cb.isEmpty())
        return QFileInfo(a).absoluteFilePath() == QFileInfo(b).absoluteFilePath();
    return ca == cb;
}

} // namespace

DocumentController::DocumentController(QObject *parent)
    : QObject(parent)
    , mDescription(tr("Documents"))
{
    if (!sharedController)
        sharedController = this;
}

DocumentController::~DocumentController()
{
    if (sharedController == this)
        sharedController = nullptr;
}

DocumentController *DocumentController::sharedDocumentController()
{
    if (!sharedController && QCoreApplication::instance())
        new DocumentController(QCoreApplication::instance());
    return sharedController;
}

void DocumentController::setDocumentFactory(std::function<Document *()> factory)
{
    mFactory = std::move(factory);
}

void DocumentController::setDocumentType(const QString &description, const QString &extension)
{
    mDescription = description;
    mExtension = extension;
}

QString DocumentController::fileDialogFilter() const
{
    QString filter;
    if (!mExtension.isEmpty())
        filter = QStringLiteral("%1 (*.%2);;").arg(mDescription, mExtension);
    return filter + tr("All files (*)");
}

Document *DocumentController::newDocument()
{
    if (!mFactory)
        return nullptr;
    Document *document = mFactory();
    document->mUntitledNumber = nextUntitledNumber(QString());
    addDocument(document);
    document->loadWindow();
    document->show();
    return document;
}

Document *DocumentController::openDocumentWithContentsOfFile(const QString &path, bool display)
{
    QString error;
    Document *document = openDocumentWithContentsOfFile(path, display, &error);
    if (!document && !error.isEmpty())
        showOpenFailure(path, error);
    return document;
}

void DocumentController::showOpenFailure(const QString &path, const QString &error) const
{
    QMessageBox box(
            QMessageBox::Warning, QApplication::applicationDisplayName(),
            tr("The document \u201c%1\u201d could not be opened.").arg(QFileInfo(path).fileName()),
            QMessageBox::Ok, dialogParent());
    box.setInformativeText(error);
    box.exec();
}

Document *DocumentController::openDocumentWithContentsOfFile(const QString &path,
                                                             bool display,
                                                             QString *error)
{
    for (Document *open : std::as_const(mDocuments)) {
        if (!open->fileName().isEmpty() && sameFile(open->fileName(), path)) {
            if (display) {
                open->show();
                open->raise();
                open->activateWindow();
            }
            return open;
        }
    }
    if (!mFactory) {
        *error = tr("No document type is registered.");
        return nullptr;
    }
    Document *document = mFactory();
    if (!document->readFromFile(path, error)) {
        delete document;
        return nullptr;
    }
    document->setFileName(path);
    addDocument(document);
    document->loadWindow();
    noteRecentFile(document->fileName());
    if (display)
        document->show();
    return document;
}

Document *DocumentController::duplicateDocumentWithContentsOfFile(const QString &path,
                                                                  const QString &displayName)
{
    if (!mFactory)
        return nullptr;
    Document *document = mFactory();
    QString error;
    if (!document->readFromFile(path, &error)) {
        delete document;
        showOpenFailure(path, error);
        return nullptr;
    }
    document->mUntitledName = displayName;
    document->mUntitledNumber = nextUntitledNumber(displayName);
    addDocument(document);
    document->loadWindow();
    document->show();
    return document;
}

Document *DocumentController::currentDocument() const
{
    if (auto *active = qobject_cast<Document *>(QApplication::activeWindow()))
        return active;
    return mLastActive;
}

void DocumentController::addSharedMenu(QMenu *menu)
{
    mSharedMenus.append(menu);
}

void DocumentController::addFileMenuAction(QAction *action)
{
    mFileMenuActions.append(action);
}

QStringList DocumentController::recentFiles() const
{
    return QSettings().value(recentFilesKey()).toStringList();
}

void DocumentController::noteRecentFile(const QString &path)
{
    QStringList files = recentFiles();
    files.removeAll(path);
    files.prepend(path);
    while (files.size() > maxRecentFiles)
        files.removeLast();
    QSettings().setValue(recentFilesKey(), files);
}

void DocumentController::clearRecentFiles()
{
    QSettings().remove(recentFilesKey());
}

bool DocumentController::closeAll()
{
    // Copied: each close removes its document from the list.
    const QList<Document *> documents = mDocuments;
    for (Document *document : documents) {
        if (!document->close())
            return false;
    }
    return true;
}

void DocumentController::openDocument()
{
    const Document *current = currentDocument();
    const QStringList paths = QFileDialog::getOpenFileNames(
            dialogParent(), tr("Open"), dialogFolder(current ? current->fileName() : QString()),
            fileDialogFilter());
    if (!paths.isEmpty())
        noteDialogFolder(paths.constFirst());
    for (const QString &path : paths)
        openDocumentWithContentsOfFile(path, true);
}

void DocumentController::quit()
{
    if (closeAll())
        QCoreApplication::quit();
}

void DocumentController::addDocument(Document *document)
{
    mDocuments.append(document);
}

void DocumentController::removeDocument(Document *document)
{
    mDocuments.removeAll(document);
    if (mLastActive == document)
        mLastActive = nullptr;
}

void DocumentController::documentActivated(Document *document)
{
    if (mLastActive == document)
        return;
    mLastActive = document;
    emit currentDocumentChanged(document);
}

int DocumentController::nextUntitledNumber(const QString &name) const
{
    int highest = 0;
    for (const Document *document : mDocuments) {
        if (document->fileName().isEmpty() && document->mUntitledName == name)
            highest = std::max(highest, document->mUntitledNumber);
    }
    return highest + 1;
}

QWidget *DocumentController::dialogParent() const
{
    return currentDocument();
}
