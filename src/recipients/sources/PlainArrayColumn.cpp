#include "PlainArrayColumn.h"

#include "KeyedArchiver.h"

void PlainArrayColumn::encodeWithCoder(KeyedArchiver &coder) const
{
    coder.encodeObject(m_uid, QStringLiteral("uid"));
    coder.encodeObject(m_displayName, QStringLiteral("displayName"));
}
