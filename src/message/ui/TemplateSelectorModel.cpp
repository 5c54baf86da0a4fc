#include "TemplateSelectorModel.h"

#include "TemplateManager.h"

#include "FileIO.h"

#include <QBuffer>
#include <QFileInfo>
#include <QImageReader>

namespace {

// A preview is a small picture; a larger file is not one.
constexpr qint64 MaxPreviewFileBytes = 16LL * 1024 * 1024;

} // namespace

TemplateSelectorModel::TemplateSelectorModel(const QSize &previewSize, QObject *parent)
    : QAbstractListModel(parent), m_names(TemplateManager::defaultManager().templateNames()),
      m_previewSize(previewSize)
{
}

QImage TemplateSelectorModel::previewAtSize(const QString &path, const QSize &size)
{
    if (path.isEmpty() || !QFileInfo(path).isFile())
        return {};
    std::optional<QByteArray> bytes = FileIO::readFileLimited(path, MaxPreviewFileBytes);
    if (!bytes)
        return {};
    QBuffer buffer(&*bytes);
    buffer.open(QIODevice::ReadOnly);
    QImageReader reader(&buffer);
    const QSize full = reader.size();
    // Decoded straight into the shown size: a large picture never lives whole.
    if (full.isValid() && (full.width() > size.width() || full.height() > size.height()))
        reader.setScaledSize(full.scaled(size, Qt::KeepAspectRatio));
    return reader.read();
}

int TemplateSelectorModel::rowCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : int(m_names.size());
}

QVariant TemplateSelectorModel::data(const QModelIndex &index, int role) const
{
    if (!index.isValid() || index.row() >= m_names.size())
        return {};
    const QString &name = m_names[index.row()];
    if (role == Qt::DisplayRole)
        return QStringLiteral("\n%1").arg(name);
    if (role != Qt::DecorationRole)
        return {};
    auto cached = m_previews.constFind(name);
    if (cached == m_previews.constEnd()) {
        const MessageTemplateRef messageTemplate = TemplateManager::defaultManager().templateForName(name);
        QImage image = messageTemplate ? previewAtSize(messageTemplate->previewImagePath(), m_previewSize) : QImage();
        cached = m_previews.insert(name, image);
    }
    return cached->isNull() ? QVariant() : QVariant(*cached);
}
