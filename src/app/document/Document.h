#pragma once

// A document the user opens, edits, saves and closes: its file, the type
// the file was read as, whether it has unsaved changes, and its window.
// Subclasses turn file contents into their model and back; the
// DocumentController runs the user's open/save/close commands on it.
//
// Main thread only.

#include <QByteArray>
#include <QObject>
#include <QPointer>
#include <QString>

#include <QMainWindow>
class QUndoStack;

class Document : public QObject {
    Q_OBJECT
public:
    enum ChangeKind { ChangeDone, ChangeUndone, ChangeCleared };

    explicit Document(QObject *parent = nullptr);
    ~Document() override;

    // Empty for a document that was never saved.
    [[nodiscard]] QString fileName() const { return m_fileName; }
    void setFileName(const QString &path);
    // The type the file was read as or last written as.
    [[nodiscard]] QString fileType() const { return m_fileType; }
    void setFileType(const QString &type) { m_fileType = type; }
    // The file's name without its folder, or "Untitled" (numbered by the
    // controller) for a new document.
    [[nodiscard]] QString displayName() const;
    void setUntitledNumber(int number) { m_untitledNumber = number; }

    // The type every save writes, and whether a type can be written. A
    // document read as a type it cannot write is saved only through
    // "Save As" into a new file of the written type, never over the old file.
    [[nodiscard]] virtual QString writableType() const = 0;
    [[nodiscard]] virtual QString fileExtension() const = 0;
    [[nodiscard]] bool needsSaveAs() const;

    // The type to read a file as, from its name and its first bytes.
    [[nodiscard]] virtual QString typeForFile(const QString &path, const QByteArray &head) const = 0;
    // Turns file contents into the document; false when they are not a
    // document of this kind (nothing of the document may have changed then).
    virtual bool loadDataRepresentation(const QByteArray &data, const QString &type) = 0;
    // The file contents of the document. May throw AppException.
    [[nodiscard]] virtual QByteArray dataRepresentationOfType(const QString &type) = 0;

    // Reads the file (bounded in size) as the given type, or the type
    // typeForFile names when the type is empty; on success the document
    // takes the file's name and type and is unchanged. The error names the
    // file and why it could not be read.
    bool readFromFile(const QString &path, const QString &type = {}, QString *error = nullptr);
    // Writes atomically: the old file stays whole until the new one is
    // complete. On success the document takes the name and the written type
    // and is unchanged.
    bool writeToFile(const QString &path, QString *error = nullptr);
    // Reads the document's file again, dropping the changes.
    bool revertToSaved(QString *error = nullptr);

    // Change tracking; the undo stack's clean state counts too.
    void updateChangeCount(ChangeKind kind);
    [[nodiscard]] bool isDocumentEdited() const;
    [[nodiscard]] QUndoStack *undoManager() const { return m_undoStack; }

    // Creates the document's window (once) and shows it.
    void showWindows();
    [[nodiscard]] QMainWindow *window() const { return m_window; }

    // Whether the document may close now; when not, the reason to show.
    [[nodiscard]] virtual bool canClose(QString *reason) const;
    // Whether work of the document runs in the background (a send run),
    // which quitting would end: the user is asked first.
    [[nodiscard]] virtual bool isRunActive() const { return false; }
    // The application quits, the user having agreed to stop what runs in
    // the background, or the document closes with such work allowed to
    // end: stops it and returns once its outcome is recorded in the
    // document.
    virtual void prepareToQuit() {}

signals:
    void fileNameChanged();
    void documentEditedChanged(bool edited);

protected:
    // Makes the document's window; called once by showWindows().
    [[nodiscard]] virtual QMainWindow *makeWindow() = 0;
    // Largest file read; larger files are refused before they are read.
    static constexpr qint64 MaxFileBytes = 512LL * 1024 * 1024;

private:
    void emitEditedIfChanged();

    QString m_fileName;
    QString m_fileType;
    int m_untitledNumber = 1;
    int m_changeCount = 0;
    bool m_lastEdited = false;
    QUndoStack *m_undoStack;
    QPointer<QMainWindow> m_window;
};
