#pragma once

// Writes the public keyed-archive layout as a binary property list:
// {"$archiver": "NSKeyedArchiver", "$version": 100000, "$top": {"root": UID},
//  "$objects": ["$null", ...]}, objects referenced by UID, class
// dictionaries with "$classname" and "$classes". Values use the usual keys
// (NS.keys / NS.objects, NS.string, NS.time since 2001-01-01, NS.data).

#include "Codable.h"

#include <QByteArray>
#include <QHash>
#include <QString>
#include <QVariant>

#include <functional>
#include <utility>

class RichText;

class KeyedArchiver {
public:
    // The archive of a root object. Throws AppException (invalid argument)
    // for a value that no archive can hold or that could not be read back:
    // a kind without a coder, an object that contains itself, nesting
    // deeper than KeyedUnarchiver::MaxDepth, an unsigned integer past
    // qint64, a date further out than MaxDateMsecs.
    [[nodiscard]] static QByteArray archivedDataWithRootObject(const QVariant &root);
    // The same archive handed on in pieces as it is made, never held whole
    // (a million-row table is hundreds of megabytes): `begin` is told its
    // size first, then `write` gets the pieces in order. Throws as above,
    // before `begin`; false as soon as `begin` or `write` answers false.
    [[nodiscard]] static bool archiveRootObject(const QVariant &root, const std::function<bool(quint64 total)> &begin,
                                                const std::function<bool(QByteArrayView piece)> &write);
    // Writes the archive to a file, replacing it; false when it cannot be written.
    [[nodiscard]] static bool archiveRootObjectToFile(const QVariant &root, const QString &path);

    // Inside Codable::encodeWithCoder: the fields of the object being written.
    void encodeObject(const QVariant &value, const QString &key); // an invalid QVariant is nil
    void encodeObject(const QVariant &value);                     // no key: "$0", "$1", ... in order
    // A string that a set of the same archive names again (a row's
    // identifier, in its table's identifier set): written as encodeObject
    // writes it, and found again by its address rather than its text.
    void encodeSharedString(const QString &value, const QString &key);
    // A dictionary given as pairs sorted by key, written as a QVariantMap of
    // them would be, without making the map.
    void encodeDictionary(const QList<std::pair<QString, QVariant>> &entries, const QString &key);
    void encodeBool(bool value, const QString &key);
    void encodeInt32(qint32 value, const QString &key);
    void encodeInt64(qint64 value, const QString &key);
    void encodeFloat(float value, const QString &key);
    void encodeDouble(double value, const QString &key);
    void encodeBytes(const QByteArray &bytes, const QString &key);

    ~KeyedArchiver();
    KeyedArchiver(const KeyedArchiver &) = delete;
    KeyedArchiver &operator=(const KeyedArchiver &) = delete;

private:
    friend class KeyedUnarchiver;

    // NS.time counts seconds from 2001-01-01T00:00:00Z.
    static constexpr qint64 ReferenceDateMsecs = 978'307'200'000LL;
    // Dates further out than this (about 273,790 years) are refused on both sides.
    static constexpr qint64 MaxDateMsecs = 8'640'000'000'000'000LL;

    KeyedArchiver();
    struct Private;
    Private *d;
};
