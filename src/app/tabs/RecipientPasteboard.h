#pragma once

// What the recipient table takes from drags and gives to the clipboard.

#include <QString>
#include <QStringList>

namespace RecipientPasteboard {
// vCard data as programs on Linux offer it; the first is the registered
// type, the others older names still in use.
inline const QStringList VCardTypes = {QStringLiteral("text/vcard"), QStringLiteral("text/x-vcard"),
                                       QStringLiteral("text/directory")};
// Files dragged from a file manager.
inline const QString UriListType = QStringLiteral("text/uri-list");
inline const QString VCardFileSuffix = QStringLiteral("vcf");
} // namespace RecipientPasteboard
