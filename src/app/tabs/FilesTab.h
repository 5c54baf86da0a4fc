#pragma once

// The attachments tab: the document's attachment list, one row per
// attachment in sending order, and the "Attachments" part of the project file.
//
// Main thread only.

#include "MainTabDelegate.h"

#include "NotificationCenter.h"

#include <QVariantMap>
#include <QWidget>

#include <optional>

class AttachmentManager;
class QListWidget;

class FilesTab : public QWidget, public TabItem {
    Q_OBJECT
public:
    static inline const QString AttachmentsListKey = QStringLiteral("Attachments List");

    explicit FilesTab(QWidget *parent = nullptr);
    ~FilesTab() override;

    // Not owned; observed for its updates until the next call.
    void setAttachmentManager(AttachmentManager *manager);
    [[nodiscard]] AttachmentManager *attachmentManager() const { return m_attachmentManager; }
    [[nodiscard]] QListWidget *fileTable() const { return m_fileTable; }

    void attachmentManagerWasUpdated();
    void willBeSelected() override {}
    // A missing file is each attachment's own business during a run.
    [[nodiscard]] QString getMissingAttachmentFile() const { return {}; }

    [[nodiscard]] QVariantMap fileData() const;
    [[nodiscard]] static QVariantMap fileDataOf(const AttachmentManager &manager);
    // The list under "Attachments List"; anything else in it, and the
    // older "Files List", is dropped. None gives an empty list.
    void readFileData(const std::optional<QVariantMap> &data);

private:
    QListWidget *m_fileTable;
    AttachmentManager *m_attachmentManager = nullptr;
    NotificationCenter::Observation m_updateObservation;
};
