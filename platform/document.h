#pragma once

#include <QMainWindow>

#include <cstddef>

class QMenu;
class QMenuBar;
class QUndoStack;

// One open document and its window: a Document *is* its main window, so the window's
// life is the document's life (closing the window deletes the document).
//
// The DocumentController creates documents through the app's factory and drives their life:
//   opening a file: constructor, readFromFile() (no widgets yet), loadInterface(), menus,
//                   windowDidLoad(), show;
//   a new document: the same without readFromFile();
//   revert:         readFromFile() with the window already up.
// Errors: a function with an `error` parameter returns false on failure and sets *error, which
// must not be null, to a sentence or clause for the user.
//
// Subclasses turn themselves into bytes and back (dataRepresentation, readFromData); the base
// does the file access, atomic saving, the title with its modified marker, the Save / Don't
// Save / Cancel question, and the File and Edit menus. Edits go through undoStack(), whose
// clean state is the document's unmodified state.
class Document : public QMainWindow
{
    Q_OBJECT

public:
    explicit Document(QWidget *parent = nullptr);
    ~Document() override;

    // Absolute path of the file, empty for an untitled document.
    QString fileName() const { return mFileName; }
    // The file's name without its folder; untitled, "Untitled", "Untitled 2", ... or, for a
    // copy of a file (DocumentController::duplicateDocumentWithContentsOfFile), the name it
    // was given, numbered the same way.
    QString displayName() const;
    bool isModified() const;
    QUndoStack *undoStack() const { return mUndoStack; }

    // Reads a file into the document. Only a regular file of at most maximumFileSize() bytes
    // is read (a FIFO or a device is refused at once). On failure the document is unchanged
    // and *error names the file and the cause.
    [[nodiscard]] virtual bool readFromFile(const QString &path, QString *error);
    // Writes the document atomically through a SafeFile: an existing file is replaced only by
    // a complete new one, through a link to its target, keeping its permissions, owner and
    // group. *warning (when not null) says what could not be kept, or is emptied.
    [[nodiscard]] virtual bool
    writeToFile(const QString &path, QString *error, QString *warning = nullptr) const;

public slots:
    // Save: asks for a name when the document has none. False when cancelled or failed (the
    // failure has been shown).
    bool save();
    bool saveAs();
    // Saves to path without dialogs and makes it the document's file; false and *error on
    // failure. *warning (when not null) says what a save that succeeded could not keep.
    [[nodiscard]] bool saveToFile(const QString &path, QString *error, QString *warning = nullptr);
    // Reads the saved file again, dropping the changes and the undo history. Shows why on failure.
    bool revertToSaved();
    // The print command of the File menu.
    virtual void printDocument() { }
    // Shows a warning sheet on this window: text is the headline, detail the cause.
    void showError(const QString &text, const QString &detail);

protected:
    // The document's content as file bytes. On failure *error says why in plain words.
    [[nodiscard]] virtual bool dataRepresentation(QByteArray &data, QString *error) const = 0;
    // The largest file this kind of document reads.
    virtual std::size_t maximumFileSize() const = 0;
    // Replaces the document's content with the file bytes. On failure the document is
    // unchanged and *error says why in plain words.
    [[nodiscard]] virtual bool readFromData(const QByteArray &data, QString *error) = 0;
    // Builds the window's widgets; the base adds its menus afterwards.
    virtual void loadInterface() = 0;
    // Called once the widgets and the menus exist, before the window is shown.
    virtual void windowDidLoad() { }
    // Document-specific commands for the File menu, placed before Print.
    virtual void addFileMenuItems(QMenu *fileMenu) { Q_UNUSED(fileMenu) }
    // Document-specific menus, placed after Edit.
    virtual void addMenus(QMenuBar *bar) { Q_UNUSED(bar) }

    // Makes Undo and Redo typed in a text field act on the document's history instead of the
    // field's own, which the document would not see.
    void routeUndoShortcuts(QWidget *field);

    void closeEvent(QCloseEvent *event) override;
    bool eventFilter(QObject *watched, QEvent *event) override;
    bool event(QEvent *event) override;

private:
    friend class DocumentController;

    void loadWindow();
    // Shrinks the window to fit the screen it opens on.
    void fitToScreen();
    void buildMenus();
    void setFileName(const QString &path);
    // Saves to path; shows why it failed, or what it could not keep.
    bool saveShowingErrors(const QString &path);
    void updateTitle();
    bool confirmRevert();

    QString mFileName;
    QString mUntitledName; // empty: "Untitled"
    int mUntitledNumber = 0;
    QUndoStack *mUndoStack;
    QAction *mRevertAction = nullptr;
};
