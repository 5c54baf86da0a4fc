#pragma once

// The ordered list of a project's attachments; edited on the main thread.

#include "Attachment.h"

#include <QList>

class AttachmentManager {
public:
    static inline const QString UpdateNotification = QStringLiteral("AttachmentManagerUpdateNotification");

    // Replaces the list; posts nothing (a project file is being read).
    void setAttachmentList(const QList<AttachmentRef> &list) { m_attachmentList = list; }
    [[nodiscard]] const QList<AttachmentRef> &attachmentList() const { return m_attachmentList; }
    // Null for an index outside the list.
    [[nodiscard]] AttachmentRef attachmentAtIndex(int index) const;
    [[nodiscard]] int attachmentCount() const { return int(m_attachmentList.size()); }
    // Each posts UpdateNotification with the manager as sender; removing an
    // index outside the list does nothing and posts nothing.
    void addAttachment(const AttachmentRef &attachment);
    void removeAttachment(int index);

private:
    QList<AttachmentRef> m_attachmentList;
};
