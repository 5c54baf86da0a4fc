#pragma once

// Objects of our own that travel inside archives. Plain values (strings,
// numbers, booleans, dates, byte arrays, lists, string-keyed maps, string
// sets) and RichText are written by the archivers themselves; everything
// else is a Codable held in a QVariant as a CodableRef and found again on
// reading by its class name.

#include <QMetaType>
#include <QSet>
#include <QString>
#include <QStringList>
#include <QVariant>

#include <functional>
#include <memory>

class KeyedArchiver;
class KeyedUnarchiver;
class TypedArchiver;
class TypedUnarchiver;

class Codable {
public:
    virtual ~Codable() = default;

    // The class name stored in archives; part of the stored data, never renamed.
    [[nodiscard]] virtual QString archiveClassName() const = 0;
    // "$classes" of a keyed archive: the class itself first, then its bases.
    [[nodiscard]] virtual QStringList archiveClassHierarchy() const;
    // Written with the class name in typed archives and handed back to the decoder.
    [[nodiscard]] virtual int archiveClassVersion() const { return 0; }
    // An object that one archive never holds twice (a row of a table) need
    // not be looked up by identity, which a million rows would pay for.
    [[nodiscard]] virtual bool archivedOnce() const { return false; }

    virtual void encodeWithCoder(KeyedArchiver &coder) const;
    virtual void encodeWithCoder(TypedArchiver &coder) const;
};

using CodableRef = std::shared_ptr<Codable>;
Q_DECLARE_METATYPE(CodableRef)

// A set of strings, written as NSSet / NSMutableSet in keyed archives.
using StringSet = QSet<QString>;

// The members in the order QString's operator< gives (UTF-16 code units),
// the order archives write new members in so that equal sets give equal
// bytes.
// A table's set of row identifiers has a million members: they are sorted
// by keys of a few characters at a time, not by comparing whole strings.
[[nodiscard]] QStringList sortedMembers(const StringSet &set);

// A list whose elements are made one at a time while it is written to a
// keyed archive (as NSMutableArray), so that a large table is not held a
// second time as values for a save. Read back, it is a QVariantList.
struct LazyList {
    qsizetype size = 0;
    std::function<QVariant(qsizetype)> element;
};
Q_DECLARE_METATYPE(LazyList)

// The object a QVariant holds, cast to the class the caller expects; null
// when the variant holds no Codable or one of another class.
template <typename T>
std::shared_ptr<T> codableCast(const QVariant &value)
{
    if (!value.canConvert<CodableRef>() || value.typeId() != qMetaTypeId<CodableRef>())
        return nullptr;
    return std::dynamic_pointer_cast<T>(value.value<CodableRef>());
}

inline QVariant codableVariant(CodableRef object)
{
    return object ? QVariant::fromValue(std::move(object)) : QVariant();
}

// Decoders by class name. A decoder reads its object's fields from the
// unarchiver it is given and returns the object, or null to refuse the data
// (the unarchive then fails with the reason the decoder gave, see
// KeyedUnarchiver::failWithReason). Registration is process-wide and is
// done once, before any archive is read (normally from a module's
// registerCoders() function called at start-up and in tests).
class ArchiveRegistry {
public:
    using KeyedDecoder = std::function<CodableRef(KeyedUnarchiver &)>;
    using TypedDecoder = std::function<CodableRef(TypedUnarchiver &, int classVersion)>;

    static void registerKeyedDecoder(const QString &className, KeyedDecoder decoder);
    static void registerTypedDecoder(const QString &className, TypedDecoder decoder);

    [[nodiscard]] static KeyedDecoder keyedDecoder(const QString &className);
    [[nodiscard]] static TypedDecoder typedDecoder(const QString &className);

    // Value types that are not Codable objects (RichText and the attribute
    // values inside it) are archived through a coder found by the QVariant's
    // meta type on writing and by class name on reading.
    struct ValueCoder {
        int metaTypeId = 0;
        // Keyed: "$classes" as written, the written class first; reading
        // accepts the first entry and every name in keyedAliases.
        QStringList keyedClasses;
        QStringList keyedAliases;
        std::function<void(KeyedArchiver &, const QVariant &)> encodeKeyed;
        std::function<QVariant(KeyedUnarchiver &)> decodeKeyed; // invalid QVariant: refuse
        QString typedClassName;
        int typedClassVersion = 0;
        std::function<void(TypedArchiver &, const QVariant &)> encodeTyped;
        std::function<QVariant(TypedUnarchiver &, int classVersion)> decodeTyped;
    };
    static void registerValueCoder(const ValueCoder &coder);
    [[nodiscard]] static const ValueCoder *valueCoderForMetaType(int metaTypeId);
    [[nodiscard]] static const ValueCoder *valueCoderForKeyedClass(const QString &className);
    [[nodiscard]] static const ValueCoder *valueCoderForTypedClass(const QString &className);
};

// Registers the coders of the platform's own value types (rich text and its
// attribute values). Idempotent and thread-safe; the archivers call it
// before their first use.
void registerPlatformCoders();
