#include "FilesTab.h"

#include "AttachmentManager.h"

#include <QListWidget>
#include <QVBoxLayout>

FilesTab::FilesTab(QWidget *parent)
    : QWidget(parent), m_fileTable(new QListWidget(this))
{
    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(m_fileTable);
    m_fileTable->setSelectionMode(QAbstractItemView::ExtendedSelection);
}

FilesTab::~FilesTab() = default;

void FilesTab::setAttachmentManager(AttachmentManager *manager)
{
    m_updateObservation.reset();
    m_attachmentManager = manager;
    if (manager) {
        m_updateObservation = NotificationCenter::defaultCenter().addObserver(
            AttachmentManager::UpdateNotification, manager,
            [this](const Notification &) { attachmentManagerWasUpdated(); });
    }
    attachmentManagerWasUpdated();
}

void FilesTab::attachmentManagerWasUpdated()
{
    m_fileTable->clear();
    if (!m_attachmentManager)
        return;
    for (const AttachmentRef &attachment : m_attachmentManager->attachmentList())
        m_fileTable->addItem(attachment ? attachment->infoString() : QString());
}

QVariantMap FilesTab::fileDataOf(const AttachmentManager &manager)
{
    QVariantList list;
    for (const AttachmentRef &attachment : manager.attachmentList())
        list << codableVariant(attachment);
    return {{AttachmentsListKey, list}};
}

QVariantMap FilesTab::fileData() const
{
    return m_attachmentManager ? fileDataOf(*m_attachmentManager) : QVariantMap{{AttachmentsListKey, QVariantList()}};
}

void FilesTab::readFileData(const std::optional<QVariantMap> &data)
{
    if (!m_attachmentManager)
        return;
    QList<AttachmentRef> list;
    const QVariant stored = data ? data->value(AttachmentsListKey) : QVariant();
    if (stored.typeId() == QMetaType::QVariantList) {
        for (const QVariant &item : stored.toList()) {
            if (AttachmentRef attachment = codableCast<Attachment>(item))
                list << attachment;
        }
    }
    m_attachmentManager->setAttachmentList(list);
    attachmentManagerWasUpdated();
}
