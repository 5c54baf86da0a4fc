#pragma once

// The mail project document: its recipient table, its message, its
// attachment list and its send run controller, the project file in its
// three forms (keyed archive written; typed archive and UTF-16 text read),
// and the wiring of its window's tabs.
//
// Main thread only. A send run's worker reads the table and the message
// but never calls the document.

// Document.h hands out its window through a QPointer, which needs the class.
#include <QMainWindow>

#include "Document.h"

#include "AttachmentManager.h"
#include "Database.h"
#include "MessageTab.h"
#include "NotificationCenter.h"

#include <QPointer>
#include <QStringList>
#include <QVariantMap>

#include <memory>
#include <optional>

class DatabaseTab;
class DocAssistant;
class DocumentWindow;
class FilesTab;
class LogTab;
class MessageTabWidget;
class PreviewTab;
class QPrinter;
class SendMailsUIHandler;

class MyDocument : public Document {
    Q_OBJECT
public:
    // The one form written; files of the other types are saved through "Save As".
    static inline const QString ProjectType = QStringLiteral("Corvantiline Project");
    static inline const QString ProjectExtension = QStringLiteral("quorv2");
    static inline const QString TypedArchiveType = QStringLiteral("Corvantiline Project (typed archive)");
    static inline const QString OldType = QStringLiteral("Old Corvantiline (<= 4.0)");

    // Keys of the project file's root dictionary; never renamed.
    static inline const QString DatabaseKey = QStringLiteral("Database");
    static inline const QString MessageKey = QStringLiteral("Message");
    static inline const QString AttachmentsKey = QStringLiteral("Attachments");
    static inline const QString LogKey = QStringLiteral("Log");
    // Between the sections of the oldest text form.
    static inline const QString OldFormSectionSeparator = QStringLiteral("/#+D1+#/");

    explicit MyDocument(QObject *parent = nullptr);
    ~MyDocument() override;

    [[nodiscard]] QString writableType() const override { return ProjectType; }
    [[nodiscard]] QString fileExtension() const override { return ProjectExtension; }
    [[nodiscard]] QString typeForFile(const QString &path, const QByteArray &head) const override;
    bool loadDataRepresentation(const QByteArray &data, const QString &type) override;
    [[nodiscard]] QByteArray dataRepresentationOfType(const QString &type) override;

    // The text of the oldest form: UTF-16 in the order a byte-order mark
    // gives (the mark dropped), little-endian without one; an odd last byte
    // is ignored.
    [[nodiscard]] static QString oldFormText(const QByteArray &data);

    // Wires the freshly made window; see makeWindow().
    void windowControllerDidLoadNib(DocumentWindow *window);
    // Hands the pending file data to the tabs.
    void loadFileDataArray();
    // Takes only the recipient table of a project or table file, before the
    // window is made. False, with nothing changed, when there is no file.
    bool loadDatabaseFromFile(const QString &path);
    void setCreateDefaultDoc(bool createDefaultDoc) { m_createDefaultDoc = createDefaultDoc; }

    [[nodiscard]] SendMailsUIHandler *sendUIHandler() const { return m_sendMails; }
    // Whether a send run is active: the recipient table and the document's
    // undo history are read-only while it is. runActiveChanged() says when
    // that changes.
    [[nodiscard]] bool isRunActive() const override;
    [[nodiscard]] Database &database() { return m_database; }
    [[nodiscard]] AttachmentManager &attachmentManager() { return m_attachmentManager; }
    [[nodiscard]] MessageTab &messageTab() { return m_messageTab; }

    [[nodiscard]] DocumentWindow *documentWindow() const;
    [[nodiscard]] DatabaseTab *databaseTab() const;
    [[nodiscard]] MessageTabWidget *messageTabWidget() const;
    [[nodiscard]] FilesTab *attachmentTab() const;
    [[nodiscard]] PreviewTab *previewTab() const;
    [[nodiscard]] LogTab *logTab() const;
    [[nodiscard]] DocAssistant *docAssistant() const;

    // What a read left to apply (for tests and the window).
    [[nodiscard]] const std::optional<QStringList> &fileDataArray() const { return m_fileDataArray; }
    [[nodiscard]] const std::optional<QVariantMap> &fileDataDict() const { return m_fileDataDict; }

    // Shows the new-document assistant on the window, this document told when it ends.
    void displayDocAssistant(QWidget *window);

    // The message body as the editor shows it, nothing else.
    void printDocument(QPrinter *printer);
    // Through the print dialog, window-modal, when asked; else at once with
    // the document's print settings.
    void printDocumentWithSettings(bool showPrintPanel);

    [[nodiscard]] bool canClose(QString *reason) const override;
    void prepareToQuit() override;

public slots:
    // The default content of a new document; also the assistant's end.
    void docAssistantDone();

signals:
    void runActiveChanged(bool active);

protected:
    [[nodiscard]] QMainWindow *makeWindow() override;

private:
    // The root dictionary of an archive, parts of the wrong kind dropped;
    // none when the data is no project file.
    [[nodiscard]] static std::optional<QVariantMap> projectRoot(const QByteArray &data);

    QPointer<DatabaseTab> m_databaseTab;
    QPointer<MessageTabWidget> m_messageTabWidget;
    QPointer<FilesTab> m_attachmentTab;
    QPointer<PreviewTab> m_previewTab;
    QPointer<LogTab> m_logTab;
    QPointer<DocAssistant> m_docAssistant;
    SendMailsUIHandler *m_sendMails;
    std::optional<QStringList> m_fileDataArray;
    std::optional<QVariantMap> m_fileDataDict;
    bool m_nibLoaded = false;
    bool m_loadDatabaseOnly = false;
    bool m_createDefaultDoc = true;
    Database m_database;
    AttachmentManager m_attachmentManager;
    MessageTab m_messageTab;
    std::unique_ptr<QPrinter> m_printer;
    // Last: gone before the objects they call.
    NotificationCenter::Observation m_messageFieldNamesObservation;
    NotificationCenter::Observation m_tabFieldNamesObservation;
    NotificationCenter::Observation m_tabUpdatedObservation;
};
