#include "UserDefaults.h"

#include "AppException.h"
#include "Values.h"

#include <QSettings>
#include <QStandardPaths>
#include <QStringList>

namespace {

// Deeper values are refused: reading them back would recurse as deep.
constexpr int MaxNesting = 64;

// QSettings takes '/' and '\' in a key for group separators and would fold
// "a/b" and "a\b" together; escaping them (and '%' itself) keeps every key
// apart while plain keys stay readable in the file.
QString fileKey(const QString &key)
{
    QString result;
    result.reserve(key.size());
    for (const QChar c : key) {
        if (c == u'%')
            result += QStringLiteral("%25");
        else if (c == u'/')
            result += QStringLiteral("%2F");
        else if (c == u'\\')
            result += QStringLiteral("%5C");
        else
            result += c;
    }
    return result;
}

// The INI format turns numbers and booleans into text and lists into
// comma-separated strings (an empty list into nothing), but writes any
// single-item list with its full type. Every value but a string therefore
// goes into the file wrapped in a one-item list.
QVariant toStored(const QVariant &value)
{
    if (isStringValue(value))
        return value;
    return QVariant(QVariantList{value});
}

QVariant fromStored(const QVariant &stored)
{
    if (stored.typeId() == QMetaType::QVariantList) {
        const QVariantList list = stored.toList();
        if (list.size() == 1)
            return list.first();
        return stored;
    }
    // A list typed by hand as "a, b".
    if (stored.typeId() == QMetaType::QStringList) {
        QVariantList list;
        for (const QString &item : stored.toStringList())
            list.append(item);
        return list;
    }
    return stored;
}

bool isPropertyListValue(const QVariant &value, int depth)
{
    if (depth > MaxNesting)
        return false;
    if (isStringValue(value) || isNumberValue(value))
        return true;
    switch (value.typeId()) {
    case QMetaType::QByteArray:
    case QMetaType::QDateTime:
    case QMetaType::QStringList:
        return true;
    case QMetaType::QVariantList:
        for (const QVariant &item : value.toList()) {
            if (!isPropertyListValue(item, depth + 1))
                return false;
        }
        return true;
    case QMetaType::QVariantMap: {
        const QVariantMap map = value.toMap();
        for (auto it = map.cbegin(); it != map.cend(); ++it) {
            if (!isPropertyListValue(it.value(), depth + 1))
                return false;
        }
        return true;
    }
    default:
        return false;
    }
}

} // namespace

UserDefaults::UserDefaults(const QString &filePath) : m_filePath(filePath)
{
}

UserDefaults::~UserDefaults() = default;

UserDefaults &UserDefaults::standardUserDefaults()
{
    // Never destroyed: every change is already on disk, and callers may run
    // during static destruction.
    static UserDefaults *const instance = new UserDefaults(defaultStandardFilePath());
    return *instance;
}

QString UserDefaults::defaultStandardFilePath()
{
    return QStandardPaths::writableLocation(QStandardPaths::ConfigLocation)
           + QStringLiteral("/Corvantiline/Corvantiline.ini");
}

void UserDefaults::setStandardFile(const QString &filePath)
{
    UserDefaults &defaults = standardUserDefaults();
    QMutexLocker lock(&defaults.m_mutex);
    defaults.m_filePath = filePath;
    defaults.m_registered.clear();
}

QString UserDefaults::filePath() const
{
    QMutexLocker lock(&m_mutex);
    return m_filePath;
}

void UserDefaults::registerDefaults(const QVariantMap &defaults)
{
    QMutexLocker lock(&m_mutex);
    m_registered.insert(defaults);
}

// A QSettings object is made for each operation, under the lock: it must not
// be shared between threads, and a long-lived one would sync itself from the
// event loop of whichever thread made it. Qt caches the parsed file, so this
// costs a stat of the file, which also picks up other processes' changes.
QVariant UserDefaults::objectForKey(const QString &key) const
{
    QMutexLocker lock(&m_mutex);
    if (key.isEmpty())
        return {};
    const QSettings settings(m_filePath, QSettings::IniFormat);
    const QVariant stored = settings.value(fileKey(key));
    if (stored.isValid())
        return fromStored(stored);
    return m_registered.value(key);
}

bool UserDefaults::boolForKey(const QString &key) const
{
    return boolValue(objectForKey(key));
}

qint64 UserDefaults::integerForKey(const QString &key) const
{
    return integerValue(objectForKey(key));
}

float UserDefaults::floatForKey(const QString &key) const
{
    return float(doubleValue(objectForKey(key)));
}

double UserDefaults::doubleForKey(const QString &key) const
{
    return doubleValue(objectForKey(key));
}

QString UserDefaults::stringForKey(const QString &key) const
{
    const QVariant value = objectForKey(key);
    if (isStringValue(value))
        return value.toString();
    if (value.typeId() == QMetaType::Bool)
        return value.toBool() ? QStringLiteral("1") : QStringLiteral("0");
    if (isNumberValue(value))
        return value.toString();
    return {};
}

std::optional<QVariantList> UserDefaults::arrayForKey(const QString &key) const
{
    const QVariant value = objectForKey(key);
    if (value.typeId() == QMetaType::QVariantList || value.typeId() == QMetaType::QStringList)
        return value.toList();
    return std::nullopt;
}

std::optional<QVariantMap> UserDefaults::dictionaryForKey(const QString &key) const
{
    const QVariant value = objectForKey(key);
    if (value.typeId() == QMetaType::QVariantMap)
        return value.toMap();
    return std::nullopt;
}

void UserDefaults::setObject(const QVariant &value, const QString &key)
{
    if (key.isEmpty())
        return;
    if (!value.isValid()) {
        removeObjectForKey(key);
        return;
    }
    // What cannot be written would be lost without a word at the next start.
    if (!isPropertyListValue(value, 0))
        throw AppException(ExceptionNames::InvalidArgument,
                           QStringLiteral("Attempt to insert non-property list object of class %1 for key %2")
                               .arg(QString::fromLatin1(value.typeName()), key));
    QMutexLocker lock(&m_mutex);
    QSettings settings(m_filePath, QSettings::IniFormat);
    settings.setValue(fileKey(key), toStored(value));
    settings.sync();
    noteWriteStatus(settings.status());
}

void UserDefaults::setBool(bool value, const QString &key)
{
    setObject(QVariant(value), key);
}

void UserDefaults::setInteger(qint64 value, const QString &key)
{
    setObject(QVariant(value), key);
}

void UserDefaults::setFloat(float value, const QString &key)
{
    setObject(QVariant(value), key);
}

void UserDefaults::setDouble(double value, const QString &key)
{
    setObject(QVariant(value), key);
}

void UserDefaults::removeObjectForKey(const QString &key)
{
    // QSettings reads an empty key as "the whole file".
    if (key.isEmpty())
        return;
    QMutexLocker lock(&m_mutex);
    QSettings settings(m_filePath, QSettings::IniFormat);
    settings.remove(fileKey(key));
    settings.sync();
    noteWriteStatus(settings.status());
}

void UserDefaults::noteWriteStatus(int status)
{
    if (status == QSettings::NoError)
        return;
    m_failedWrites.fetchAndAddRelaxed(1);
    qWarning("UserDefaults: could not write %s", qPrintable(m_filePath));
}

bool UserDefaults::synchronize()
{
    QMutexLocker lock(&m_mutex);
    QSettings settings(m_filePath, QSettings::IniFormat);
    settings.sync();
    return settings.status() == QSettings::NoError;
}
