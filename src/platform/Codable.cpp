#include "Codable.h"

#include "RichTextCoding.h"

#include <QHash>
#include <QReadWriteLock>

#include <mutex>

QStringList Codable::archiveClassHierarchy() const
{
    return {archiveClassName(), QStringLiteral("NSObject")};
}

void Codable::encodeWithCoder(KeyedArchiver &) const
{
}

void Codable::encodeWithCoder(TypedArchiver &) const
{
}

namespace {

struct Registry {
    QReadWriteLock lock;
    QHash<QString, ArchiveRegistry::KeyedDecoder> keyed;
    QHash<QString, ArchiveRegistry::TypedDecoder> typed;
    // Value coders live as long as the process; the lookups hand out pointers.
    QList<ArchiveRegistry::ValueCoder *> values;
    QHash<int, ArchiveRegistry::ValueCoder *> valuesByMetaType;
    QHash<QString, ArchiveRegistry::ValueCoder *> valuesByKeyedClass;
    QHash<QString, ArchiveRegistry::ValueCoder *> valuesByTypedClass;
};

Registry &registry()
{
    static Registry *r = new Registry;
    return *r;
}

} // namespace

void ArchiveRegistry::registerKeyedDecoder(const QString &className, KeyedDecoder decoder)
{
    QWriteLocker lock(&registry().lock);
    registry().keyed.insert(className, std::move(decoder));
}

void ArchiveRegistry::registerTypedDecoder(const QString &className, TypedDecoder decoder)
{
    QWriteLocker lock(&registry().lock);
    registry().typed.insert(className, std::move(decoder));
}

ArchiveRegistry::KeyedDecoder ArchiveRegistry::keyedDecoder(const QString &className)
{
    QReadLocker lock(&registry().lock);
    return registry().keyed.value(className);
}

ArchiveRegistry::TypedDecoder ArchiveRegistry::typedDecoder(const QString &className)
{
    QReadLocker lock(&registry().lock);
    return registry().typed.value(className);
}

void ArchiveRegistry::registerValueCoder(const ValueCoder &coder)
{
    QWriteLocker lock(&registry().lock);
    Registry &r = registry();
    auto *stored = new ValueCoder(coder);
    r.values.append(stored);
    r.valuesByMetaType.insert(coder.metaTypeId, stored);
    if (!coder.keyedClasses.isEmpty())
        r.valuesByKeyedClass.insert(coder.keyedClasses.first(), stored);
    for (const QString &alias : coder.keyedAliases)
        r.valuesByKeyedClass.insert(alias, stored);
    if (!coder.typedClassName.isEmpty())
        r.valuesByTypedClass.insert(coder.typedClassName, stored);
}

const ArchiveRegistry::ValueCoder *ArchiveRegistry::valueCoderForMetaType(int metaTypeId)
{
    QReadLocker lock(&registry().lock);
    return registry().valuesByMetaType.value(metaTypeId);
}

const ArchiveRegistry::ValueCoder *ArchiveRegistry::valueCoderForKeyedClass(const QString &className)
{
    QReadLocker lock(&registry().lock);
    return registry().valuesByKeyedClass.value(className);
}

const ArchiveRegistry::ValueCoder *ArchiveRegistry::valueCoderForTypedClass(const QString &className)
{
    QReadLocker lock(&registry().lock);
    return registry().valuesByTypedClass.value(className);
}

void registerPlatformCoders()
{
    static std::once_flag once;
    std::call_once(once, [] { registerRichTextCoders(); });
}
