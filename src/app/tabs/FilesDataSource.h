#pragma once

// The attachments tab's model over the document's AttachmentManager: one
// row per attachment, its name in every column and its full path as the
// tooltip; and the drop target for files. The manager is the list: the
// model never keeps one of its own, and rows are not moved or edited here.
//
// Main thread only.

#include <QAbstractTableModel>
#include <QStringList>

class AttachmentManager;
class QMimeData;

class FilesDataSource : public QAbstractTableModel {
    Q_OBJECT
public:
    explicit FilesDataSource(QObject *parent = nullptr);

    // Not owned.
    void setAttachmentManager(AttachmentManager *manager);
    [[nodiscard]] AttachmentManager *attachmentManager() const { return m_attachmentManager; }
    // The manager's list changed.
    void reload();

    int rowCount(const QModelIndex &parent = {}) const override;
    int columnCount(const QModelIndex &parent = {}) const override;
    QVariant data(const QModelIndex &index, int role) const override;
    Qt::ItemFlags flags(const QModelIndex &index) const override;

    // The files a drop carries: local regular files only (links followed).
    // Empty when anything else is among them: a web page's address, a
    // folder or a FIFO would become an attachment that stops every run.
    [[nodiscard]] static QStringList droppedFiles(const QMimeData *data);
    // Copy when the source allows it, else link, else nothing.
    [[nodiscard]] static Qt::DropAction validateDrop(const QMimeData *data, Qt::DropActions possible);
    // Appends the files at the end, whatever the row; false when none.
    bool acceptDrop(const QMimeData *data);

private:
    AttachmentManager *m_attachmentManager = nullptr;
    int m_rows = 0;
};
