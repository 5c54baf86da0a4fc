#pragma once

// The open documents and the user's commands on them: new, open, save,
// save as, revert, close, and the review of unsaved documents at quit.
// Questions to the user (file panels, "save changes?") go through
// DocumentPanels, which tests replace so no test blocks on a dialog.
//
// Main thread only.

#include <QList>
#include <QObject>
#include <QString>
#include <QStringList>

#include <functional>
#include <memory>

class Document;
class QWidget;

class DocumentPanels {
public:
    enum SaveChoice { Save, DontSave, Cancel };
    virtual ~DocumentPanels() = default;
    // A path chosen by the user, or empty when cancelled.
    [[nodiscard]] virtual QString openFile(QWidget *parent) = 0;
    [[nodiscard]] virtual QString saveFile(QWidget *parent, const QString &suggestedPath) = 0;
    [[nodiscard]] virtual SaveChoice askSaveChanges(QWidget *parent, const QString &documentName) = 0;
    // Revert with unsaved changes: true to drop them and read the file again.
    [[nodiscard]] virtual bool askRevertChanges(QWidget *parent, const QString &documentName) = 0;
    // Quit while the document sends: true to stop sending and quit, false
    // to go on sending (and not quit).
    [[nodiscard]] virtual bool askStopSendingForQuit(QWidget *parent, const QString &documentName) = 0;
    // Tells the user something went wrong (a file not read or not written,
    // a document that may not close now).
    virtual void showError(QWidget *parent, const QString &title, const QString &text) = 0;
};

class DocumentController : public QObject {
    Q_OBJECT
public:
    using Factory = std::function<Document *()>;

    [[nodiscard]] static DocumentController &sharedDocumentController();

    // How a new document is made; the controller owns what it returns.
    void setDocumentFactory(Factory factory) { m_factory = std::move(factory); }
    // Not owned; nullptr puts the Qt dialogs back.
    void setPanels(DocumentPanels *panels);
    [[nodiscard]] DocumentPanels &panels() const;

    [[nodiscard]] const QList<Document *> &documents() const { return m_documents; }
    // The document whose window is active, else the last opened.
    [[nodiscard]] Document *currentDocument() const;

    // A new untitled document, its window shown when asked.
    Document *openUntitledDocument(bool display = true);
    // The document of the file: the one already open, else a new one read
    // from it; null (with the reason shown to the user) when it cannot be read.
    Document *openDocumentWithContentsOfFile(const QString &path, bool display = true);
    // Command-line arguments that name files: each opened as a document.
    void openFiles(const QStringList &paths);

    // The user's commands; each returns whether it was carried out.
    bool newDocument();
    bool openDocument();
    bool saveDocument(Document *document);
    bool saveDocumentAs(Document *document);
    // Asks first when there are unsaved changes, which it would drop.
    bool revertDocument(Document *document);
    // Asks about unsaved changes; refuses while the document may not close.
    bool closeDocument(Document *document);
    // Before quitting: asks whether to stop each send run, stops them, then
    // asks about every unsaved document; false when the user kept a run
    // going, cancelled, or a document may not close.
    bool reviewUnsavedDocumentsForQuit();

    // Drops the document from the list and deletes it later (tests and close).
    void removeDocument(Document *document);

signals:
    void documentAdded(Document *document);
    void documentRemoved(Document *document);

private:
    DocumentController() = default;
    Document *addDocument(Document *document);
    // Not while the document refuses; asks about unsaved changes.
    bool mayCloseNow(Document *document);

    Factory m_factory;
    DocumentPanels *m_panels = nullptr;
    QList<Document *> m_documents;
    int m_untitledCount = 0;
};
