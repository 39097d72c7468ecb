#include "platform/document.h"

#include "fileio/boundedread.h"
#include "fileio/filename.h"
#include "fileio/safefile.h"
#include "platform/dialogfolder.h"
#include "platform/documentcontroller.h"

#include <QApplication>
#include <QCloseEvent>
#include <QFileDialog>
#include <QFileInfo>
#include <QKeyEvent>
#include <QMenu>
#include <QMenuBar>
#include <QMessageBox>
#include <QPushButton>
#include <QScreen>
#include <QUndoStack>

#include <new>

namespace {

QString quoted(const QString &name)
{
    return QStringLiteral("\u201c%1\u201d").arg(name);
}

QString baseName(const QString &path)
{
    return QFileInfo(path).fileName();
}

} // namespace

Document::Document(QWidget *parent)
    : QMainWindow(parent)
    , mUndoStack(new QUndoStack(this))
{
    setAttribute(Qt::WA_DeleteOnClose);
    connect(mUndoStack, &QUndoStack::cleanChanged, this, [this](bool clean) {
        setWindowModified(!clean);
        if (mRevertAction)
            mRevertAction->setEnabled(!clean && !mFileName.isEmpty());
    });
}

Document::~Document()
{
    // The undo stack, a child, is deleted after this object is gone, and says then that it
    // is clean: nothing of this object may hear it.
    mUndoStack->disconnect(this);
    if (auto *controller = DocumentController::sharedDocumentController())
        controller->removeDocument(this);
}

QString Document::displayName() const
{
    if (!mFileName.isEmpty())
        return baseName(mFileName);
    const QString name = mUntitledName.isEmpty() ? tr("Untitled") : mUntitledName;
    if (mUntitledNumber <= 1)
        return name;
    return tr("%1 %2").arg(name).arg(mUntitledNumber);
}

bool Document::isModified() const
{
    return !mUndoStack->isClean();
}

bool Document::readFromFile(const QString &path, QString *error)
{
    std::vector<std::uint8_t> bytes;
    std::string reason;
    if (!readFileBounded(encodeFileName(path.toStdU16String()), maximumFileSize(), bytes,
                         &reason)) {
        *error = tr("The file %1 could not be opened: %2.")
                         .arg(quoted(baseName(path)), QString::fromStdString(reason));
        return false;
    }
    const QByteArray data(reinterpret_cast<const char *>(bytes.data()), qsizetype(bytes.size()));
    QString cause;
    if (!readFromData(data, &cause)) {
        *error = tr("The file %1 could not be read: %2.").arg(quoted(baseName(path)), cause);
        return false;
    }
    return true;
}

bool Document::writeToFile(const QString &path, QString *error, QString *warning) const
{
    QByteArray data;
    QString cause;
    if (!dataRepresentation(data, &cause)) {
        *error = tr("The file %1 could not be written: %2.").arg(quoted(baseName(path)), cause);
        return false;
    }
    std::string reason;
    std::string kept;
    bool written = false;
    try {
        written = writeFileSafely(encodeFileName(path.toStdU16String()),
                                  { reinterpret_cast<const std::uint8_t *>(data.constData()),
                                    std::size_t(data.size()) },
                                  &reason, &kept);
    } catch (const std::bad_alloc &) {
        // Naming the temporary file takes memory too; then nothing has been written.
        reason = "there is not enough memory to save it";
    }
    if (!written) {
        *error = tr("The file %1 could not be written: %2.")
                         .arg(quoted(baseName(path)), QString::fromStdString(reason));
        return false;
    }
    if (warning)
        *warning = kept.empty()
                           ? QString()
                           : tr("The file %1 was saved, but %2.")
                                     .arg(quoted(baseName(path)), QString::fromStdString(kept));
    return true;
}

bool Document::save()
{
    if (mFileName.isEmpty())
        return saveAs();
    return saveShowingErrors(mFileName);
}

bool Document::saveShowingErrors(const QString &path)
{
    QString error;
    QString warning;
    if (!saveToFile(path, &error, &warning)) {
        showError(tr("The document %1 could not be saved.").arg(quoted(displayName())), error);
        return false;
    }
    if (!warning.isEmpty())
        showError(tr("The document %1 was saved with a change.").arg(quoted(displayName())),
                  warning);
    return true;
}

bool Document::saveAs()
{
    auto *controller = DocumentController::sharedDocumentController();
    QFileDialog dialog(this, tr("Save As"));
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    dialog.setNameFilter(controller->fileDialogFilter());
    dialog.setDefaultSuffix(controller->documentExtension());
    dialog.setDirectory(dialogFolder(mFileName));
    dialog.selectFile(displayName());
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
        return false;
    const QString path = dialog.selectedFiles().constFirst();
    noteDialogFolder(path);
    return saveShowingErrors(path);
}

bool Document::saveToFile(const QString &path, QString *error, QString *warning)
{
    if (!writeToFile(path, error, warning))
        return false;
    setFileName(path);
    mUndoStack->setClean();
    DocumentController::sharedDocumentController()->noteRecentFile(mFileName);
    return true;
}

bool Document::revertToSaved()
{
    if (mFileName.isEmpty())
        return false;
    QString error;
    if (!readFromFile(mFileName, &error)) {
        showError(tr("The document %1 could not be reverted.").arg(quoted(displayName())), error);
        return false;
    }
    mUndoStack->clear();
    return true;
}

bool Document::confirmRevert()
{
    QMessageBox box(QMessageBox::Warning, tr("Revert to Saved"),
                    tr("Do you want to revert %1 to the most recently saved version?")
                            .arg(quoted(displayName())),
                    QMessageBox::Cancel, this);
    box.setInformativeText(tr("Your current changes will be lost."));
    QPushButton *revert = box.addButton(tr("Revert"), QMessageBox::DestructiveRole);
    box.setDefaultButton(QMessageBox::Cancel);
    box.exec();
    return box.clickedButton() == revert;
}

void Document::showError(const QString &text, const QString &detail)
{
    QMessageBox box(QMessageBox::Warning, QApplication::applicationDisplayName(), text,
                    QMessageBox::Ok, isVisible() ? this : nullptr);
    box.setInformativeText(detail);
    box.exec();
}

void Document::closeEvent(QCloseEvent *event)
{
    if (!isModified()) {
        event->accept();
        return;
    }
    QMessageBox box(QMessageBox::Warning, displayName(),
                    tr("Do you want to save the changes you made in the document %1?")
                            .arg(quoted(displayName())),
                    QMessageBox::Save | QMessageBox::Discard | QMessageBox::Cancel, this);
    box.setInformativeText(tr("Your changes will be lost if you don't save them."));
    box.button(QMessageBox::Discard)->setText(tr("Don't Save"));
    box.setDefaultButton(QMessageBox::Save);
    switch (box.exec()) {
    case QMessageBox::Save:
        if (save())
            event->accept();
        else
            event->ignore();
        break;
    case QMessageBox::Discard:
        event->accept();
        break;
    default:
        event->ignore();
        break;
    }
}

void Document::routeUndoShortcuts(QWidget *field)
{
    field->installEventFilter(this);
}

bool Document::eventFilter(QObject *watched, QEvent *event)
{
    if (event->type() == QEvent::ShortcutOverride || event->type() == QEvent::KeyPress) {
        auto *key = static_cast<QKeyEvent *>(event);
        const bool undo = key->matches(QKeySequence::Undo);
        const bool redo = key->matches(QKeySequence::Redo);
        if (undo || redo) {
            // Claimed before any shortcut, so it works whether or not the window is active.
            if (event->type() == QEvent::KeyPress) {
                if (undo)
                    mUndoStack->undo();
                else
                    mUndoStack->redo();
            }
            event->accept();
            return true;
        }
    }
    return QMainWindow::eventFilter(watched, event);
}

bool Document::event(QEvent *event)
{
    if (event->type() == QEvent::WindowActivate)
        DocumentController::sharedDocumentController()->documentActivated(this);
    return QMainWindow::event(event);
}

void Document::loadWindow()
{
    loadInterface();
    buildMenus();
    updateTitle();
    windowDidLoad();
    fitToScreen();
}

void Document::fitToScreen()
{
    // The designed size can exceed a small or scaled screen (a scale factor of 2 leaves 800x500
    // of a 1600x1000 screen); a tenth of each side stays free for the frame and the panels.
    const QRect available = screen()->availableGeometry();
    const QSize room = available.size() * 0.9;
    resize(size().boundedTo(room));
}

void Document::setFileName(const QString &path)
{
    mFileName = QFileInfo(path).absoluteFilePath();
    updateTitle();
    if (mRevertAction)
        mRevertAction->setEnabled(isModified());
}

void Document::updateTitle()
{
    setWindowTitle(
            tr("%1[*] \u2014 %2").arg(displayName(), QApplication::applicationDisplayName()));
    setWindowFilePath(mFileName);
    setWindowModified(isModified());
}

void Document::buildMenus()
{
    auto *controller = DocumentController::sharedDocumentController();
    QMenuBar *bar = menuBar();

    QMenu *file = bar->addMenu(tr("&File"));
    file->addAction(tr("&New"), QKeySequence(Qt::CTRL | Qt::Key_N), controller,
                    [controller] { controller->newDocument(); });
    file->addAction(tr("&Open\u2026"), QKeySequence(Qt::CTRL | Qt::Key_O), controller,
                    &DocumentController::openDocument);
    QMenu *recent = file->addMenu(tr("Open &Recent"));
    connect(recent, &QMenu::aboutToShow, recent, [recent, controller] {
        recent->clear();
        const QStringList files = controller->recentFiles();
        for (const QString &path : files) {
            // A single '&' in a file name would make a mnemonic.
            const QString text = QFileInfo(path).fileName().replace(u'&', QStringLiteral("&&"));
            recent->addAction(text, controller, [controller, path] {
                controller->openDocumentWithContentsOfFile(path, true);
            });
        }
        recent->addSeparator();
        QAction *clear = recent->addAction(tr("Clear Menu"), controller,
                                           &DocumentController::clearRecentFiles);
        clear->setEnabled(!files.isEmpty());
    });
    file->addSeparator();
    file->addAction(tr("&Close"), QKeySequence(Qt::CTRL | Qt::Key_W), this, &QWidget::close);
    file->addAction(tr("&Save"), QKeySequence(Qt::CTRL | Qt::Key_S), this, &Document::save);
    file->addAction(tr("Save &As\u2026"), QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_S), this,
                    &Document::saveAs);
    mRevertAction = file->addAction(tr("Re&vert to Saved"), this, [this] {
        if (confirmRevert())
            revertToSaved();
    });
    mRevertAction->setEnabled(false);
    file->addSeparator();
    addFileMenuItems(file);
    file->addAction(tr("&Print\u2026"), QKeySequence(Qt::CTRL | Qt::Key_P), this,
                    &Document::printDocument);
    const QList<QAction *> appActions = controller->fileMenuActions();
    if (!appActions.isEmpty()) {
        file->addSeparator();
        file->addActions(appActions);
    }
    file->addSeparator();
    QAction *quit = file->addAction(tr("&Quit"), QKeySequence(Qt::CTRL | Qt::Key_Q), controller,
                                    &DocumentController::quit);
    quit->setMenuRole(QAction::QuitRole);

    QMenu *edit = bar->addMenu(tr("&Edit"));
    QAction *undo = mUndoStack->createUndoAction(this, tr("&Undo"));
    undo->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_Z));
    QAction *redo = mUndoStack->createRedoAction(this, tr("&Redo"));
    redo->setShortcuts(
            { QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_Z), QKeySequence(Qt::CTRL | Qt::Key_Y) });
    edit->addAction(undo);
    edit->addAction(redo);
    addMenus(bar);

    const QList<QMenu *> shared = controller->sharedMenus();
    for (QMenu *menu : shared)
        bar->addMenu(menu);
}
