#pragma once

// The attachments tab: the document's attachment list, one row per
// attachment in sending order; adding fixed files (panel or drop), adding
// and editing per-recipient files (the attachment editor), removing; and
// the "Attachments" part of the project file. Every change marks the
// document changed, a drop included: an attachment added and not saved
// would be lost at close without a question.
//
// Main thread only.

#include "MainTabDelegate.h"

#include "NotificationCenter.h"

#include <QPointer>
#include <QVariantMap>
#include <QWidget>

#include <optional>

class AttachmentManager;
class FilesDataSource;
class FilesTable;
class MyDocument;
class QPushButton;

class FilesTab : public QWidget, public TabItem {
    Q_OBJECT
public:
    static inline const QString AttachmentsListKey = QStringLiteral("Attachments List");

    explicit FilesTab(QWidget *parent = nullptr);
    ~FilesTab() override;

    // Not owned; observed for its updates until the next call.
    void setAttachmentManager(AttachmentManager *manager);
    [[nodiscard]] AttachmentManager *attachmentManager() const { return m_attachmentManager; }
    // The document whose table the editor names fields from, and which
    // every change marks changed.
    void setDocument(MyDocument *document);
    [[nodiscard]] FilesTable *fileTable() const { return m_fileTable; }
    [[nodiscard]] FilesDataSource *dataSource() const { return m_dataSource; }

    void attachmentManagerWasUpdated();
    void willBeSelected() override {}
    // A missing file is each attachment's own business during a run.
    [[nodiscard]] QString getMissingAttachmentFile() const { return {}; }

    // Fixed files from the open panel; marks the document changed even
    // when the panel is cancelled.
    void doAdd();
    // The attachment editor for a new per-recipient file.
    void doAddPersonalizedFile();
    // The attachment editor on the per-recipient file of the row.
    void tableDoubleClick(int row);
    // The selected rows, highest first; marks the document changed.
    void doRemove();

    [[nodiscard]] QVariantMap fileData() const;
    [[nodiscard]] static QVariantMap fileDataOf(const AttachmentManager &manager);
    // The list under "Attachments List"; anything else in it, and the
    // older "Files List", is dropped. None gives an empty list.
    void readFileData(const std::optional<QVariantMap> &data);

private:
    void markChanged();

    FilesTable *m_fileTable;
    FilesDataSource *m_dataSource;
    QPushButton *m_addButton;
    QPushButton *m_addPersonalizedButton;
    QPushButton *m_removeButton;
    AttachmentManager *m_attachmentManager = nullptr;
    QPointer<MyDocument> m_document;
    NotificationCenter::Observation m_updateObservation;
};
