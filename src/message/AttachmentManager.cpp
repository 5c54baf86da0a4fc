#include "AttachmentManager.h"

#include "NotificationCenter.h"

AttachmentRef AttachmentManager::attachmentAtIndex(int index) const
{
    if (index < 0 || index >= m_attachmentList.size())
        return nullptr;
    return m_attachmentList.at(index);
}

void AttachmentManager::addAttachment(const AttachmentRef &attachment)
{
    m_attachmentList.append(attachment);
    NotificationCenter::defaultCenter().postNotification(UpdateNotification, this);
}

void AttachmentManager::removeAttachment(int index)
{
    // A stale index from the tab's selection must not take another entry or crash.
    if (index < 0 || index >= m_attachmentList.size())
        return;
    m_attachmentList.removeAt(index);
    NotificationCenter::defaultCenter().postNotification(UpdateNotification, this);
}
