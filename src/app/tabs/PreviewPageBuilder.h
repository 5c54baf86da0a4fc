#pragma once

// The preview page of one recipient, apart from the web view: the subject
// and the attachments resolved for the row (missing ones in red) above the
// message as the recipient gets it, with local paths for its pictures;
// the address and counter texts beside it.
//
// The subject and the attachment names come from the recipient's row, so
// they are escaped: the page shows them as the recipient will read them.
//
// Main thread only.

#include <QString>
#include <QStringList>

class AttachmentManager;
class Database;
class MessageTab;

struct PreviewPage {
    QString address;
    QString counter;
    QString html;
    // The row shown (clamped); -1 for an empty table.
    int row = -1;
    // The folders the page's local files may come from.
    QStringList localFolders;
};

namespace PreviewPageBuilder {
// In the range of the table: past the end the last row, then not below 0.
[[nodiscard]] int clampedRow(int row, int rowCount);
[[nodiscard]] PreviewPage build(const Database &database, const MessageTab &message,
                                const AttachmentManager &attachments, int row);
} // namespace PreviewPageBuilder
