#include "FilesDataSource.h"

#include "AttachmentManager.h"
#include "SmartAttachment.h"
#include "StaticAttachment.h"

#include <QDir>
#include <QFileInfo>
#include <QMimeData>
#include <QUrl>

FilesDataSource::FilesDataSource(QObject *parent)
    : QAbstractTableModel(parent)
{
}

void FilesDataSource::setAttachmentManager(AttachmentManager *manager)
{
    m_attachmentManager = manager;
    reload();
}

void FilesDataSource::reload()
{
    beginResetModel();
    m_rows = m_attachmentManager ? m_attachmentManager->attachmentCount() : 0;
    endResetModel();
}

int FilesDataSource::rowCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : m_rows;
}

int FilesDataSource::columnCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : 1;
}

QVariant FilesDataSource::data(const QModelIndex &index, int role) const
{
    if (!m_attachmentManager || !index.isValid())
        return {};
    const AttachmentRef attachment = m_attachmentManager->attachmentAtIndex(index.row());
    if (!attachment)
        return role == Qt::DisplayRole ? QVariant(QString()) : QVariant();
    if (role == Qt::DisplayRole)
        return attachment->infoString();
    if (role == Qt::ToolTipRole) {
        // A project file may name any path; the row shows only a name.
        if (const auto smart = std::dynamic_pointer_cast<SmartAttachment>(attachment))
            return QDir(smart->rootFilePath()).filePath(smart->infoString());
        return attachment->filePath();
    }
    return {};
}

Qt::ItemFlags FilesDataSource::flags(const QModelIndex &index) const
{
    if (!index.isValid())
        return Qt::ItemIsDropEnabled;
    return Qt::ItemIsSelectable | Qt::ItemIsEnabled;
}

QStringList FilesDataSource::droppedFiles(const QMimeData *data)
{
    if (!data || !data->hasUrls())
        return {};
    QStringList files;
    for (const QUrl &url : data->urls()) {
        if (!url.isLocalFile())
            return {};
        const QString path = url.toLocalFile();
        if (!QFileInfo(path).isFile())
            return {};
        files.append(path);
    }
    return files;
}

Qt::DropAction FilesDataSource::validateDrop(const QMimeData *data, Qt::DropActions possible)
{
    if (droppedFiles(data).isEmpty())
        return Qt::IgnoreAction;
    if (possible & Qt::CopyAction)
        return Qt::CopyAction;
    if (possible & Qt::LinkAction)
        return Qt::LinkAction;
    return Qt::IgnoreAction;
}

bool FilesDataSource::acceptDrop(const QMimeData *data)
{
    const QStringList files = droppedFiles(data);
    if (files.isEmpty() || !m_attachmentManager)
        return false;
    for (const QString &file : files)
        m_attachmentManager->addAttachment(std::make_shared<StaticAttachment>(file));
    return true;
}
