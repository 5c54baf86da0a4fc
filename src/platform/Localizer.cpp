#include "Localizer.h"

#include <QCoreApplication>
#include <QTranslator>

bool Localizer::install()
{
    static QTranslator *translator = nullptr;
    if (translator)
        return true;
    auto *candidate = new QTranslator(QCoreApplication::instance());
    if (!candidate->load(QStringLiteral(":/i18n/corvantiline_en.qm"))) {
        delete candidate;
        return false;
    }
    QCoreApplication::installTranslator(candidate);
    translator = candidate;
    return true;
}

QString Localizer::localizedString(const char *table, const char *key)
{
    return QCoreApplication::translate(table, key);
}

QString Localizer::localizedString(const QString &table, const QString &key)
{
    const QByteArray t = table.toUtf8();
    const QByteArray k = key.toUtf8();
    return QCoreApplication::translate(t.constData(), k.constData());
}
