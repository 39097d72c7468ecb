#pragma once

#include <QList>
#include <QObject>
#include <QPointer>
#include <QStringList>

#include <functional>

class Document;
class QAction;
class QMenu;
class QWidget;

// The application's one document controller: creates documents through the app's factory,
// opens files (focusing an already open one), tracks the documents and the current one,
// keeps the recent files and supplies the menus shared by every document window.
class DocumentController : public QObject
{
    Q_OBJECT

public:
    // The first controller made becomes the shared one.
    explicit DocumentController(QObject *parent = nullptr);
    ~DocumentController() override;

    // The shared controller, made on first use when the app made none.
    static DocumentController *sharedDocumentController();

    void setDocumentFactory(std::function<Document *()> factory);
    // The document type: a description for file dialogs ("L-system document") and the file
    // name extension without the dot ("lsd").
    void setDocumentType(const QString &description, const QString &extension);
    QString documentExtension() const { return mExtension; }
    QString fileDialogFilter() const;

    Document *newDocument();
    // Opens path, or brings its window forward when it is already open. On failure shows a
    // message naming the file and the cause and returns nullptr; no window is left behind.
    Document *openDocumentWithContentsOfFile(const QString &path, bool display);
    // The same without a message box: *error says why.
    Document *openDocumentWithContentsOfFile(const QString &path, bool display, QString *error);
    // Opens a copy of path as a new untitled document called displayName (a shipped demo):
    // the file is never written, saving asks where, and dialogs start in the user's folders.
    // On failure shows a message naming the file and the cause and returns nullptr.
    Document *duplicateDocumentWithContentsOfFile(const QString &path, const QString &displayName);

    Document *currentDocument() const;
    QList<Document *> documents() const { return mDocuments; }

    // A menu shown in every document window's menu bar (after File and Edit).
    void addSharedMenu(QMenu *menu);
    // An app-level command placed in every document window's File menu.
    void addFileMenuAction(QAction *action);
    QList<QMenu *> sharedMenus() const { return mSharedMenus; }
    QList<QAction *> fileMenuActions() const { return mFileMenuActions; }

    QStringList recentFiles() const;
    void noteRecentFile(const QString &path);
    void clearRecentFiles();

    // Closes every document, asking about unsaved changes; false when the user cancelled.
    bool closeAll();

public slots:
    // File ▸ Open…: a file dialog, then opens each chosen file.
    void openDocument();
    // File ▸ Quit: closes every window (asking to save) and quits unless cancelled.
    void quit();

signals:
    void currentDocumentChanged(Document *document);

private:
    friend class Document;

    void addDocument(Document *document);
    void removeDocument(Document *document);
    void documentActivated(Document *document);
    void showOpenFailure(const QString &path, const QString &error) const;
    // Past the highest number of the untitled documents called name (empty: "Untitled").
    int nextUntitledNumber(const QString &name) const;
    QWidget *dialogParent() const;

    std::function<Document *()> mFactory;
    QString mDescription;
    QString mExtension;
    QList<Document *> mDocuments;
    QPointer<Document> mLastActive;
    QList<QMenu *> mSharedMenus;
    QList<QAction *> mFileMenuActions;
};
