#include "DictionaryGetters.h"

#include "Values.h"

bool DoGetDictBoolForKey(const QVariantMap &dictionary, const QString &key)
{
    return intValue(dictionary.value(key)) != 0;
}

int DoGetDictIntForKey(const QVariantMap &dictionary, const QString &key)
{
    return intValue(dictionary.value(key));
}

QString DoGetDictStringForKey(const QVariantMap &dictionary, const QString &key)
{
    const QVariant value = dictionary.value(key);
    return isStringValue(value) ? value.toString() : QString();
}
