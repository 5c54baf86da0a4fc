#include "SettingsView.h"

#include "AppException.h"

#include <QDebug>

QVariantMap SettingsView::checkedAccount(const QVariant &data)
{
    if (!data.isValid())
        throw AppException(ExceptionNames::InternalInconsistency, QStringLiteral("Object == nil"));
    if (data.typeId() != QMetaType::QVariantMap) {
        QString description;
        QDebug(&description).noquote().nospace() << data;
        throw AppException(ExceptionNames::InternalInconsistency,
                           QStringLiteral("Object type is of unexpected class: %1").arg(QString::fromLatin1(data.typeName())),
                           {{ExceptionKeys::ObjectDescription, description}});
    }
    return data.toMap();
}
