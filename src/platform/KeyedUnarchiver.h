#pragma once

// Reads keyed archives (binary or XML property lists) in time linear in
// their size. The input is treated as hostile: every reference, type, count
// and depth is checked, reference cycles are refused, the work done is
// bounded by the size of the input, and anything malformed makes the whole
// unarchive fail with a reason instead of crashing or looping.

#include "Codable.h"

#include <QByteArray>
#include <QString>
#include <QVariant>
#include <QVariantList>
#include <QVariantMap>

#include <utility>

class KeyedUnarchiver {
public:
    // The root object, or an invalid QVariant when the data is not a keyed
    // archive or any part of it is malformed; *error then says why.
    // Strings come back as QString (never null), every integer as qint64
    // whatever its width when written, reals as double, dates as UTC
    // QDateTime, data as QByteArray, arrays as QVariantList, dictionaries
    // as QVariantMap (string keys only) and sets as StringSet (strings only).
    [[nodiscard]] static QVariant unarchiveObjectWithData(const QByteArray &data, QString *error = nullptr);
    [[nodiscard]] static QVariant unarchiveObjectWithFile(const QString &path, QString *error = nullptr);

    // Inside a decoder: the fields of the object being read.
    [[nodiscard]] bool containsValueForKey(const QString &key) const;
    [[nodiscard]] QVariant decodeObject(const QString &key); // invalid when absent or nil
    [[nodiscard]] QVariant decodeObject();                   // next of "$0", "$1", ...
    // Typed reads: a value of another kind reads as the type's empty value
    // (a missing string as a null QString), without failing the archive.
    [[nodiscard]] QString decodeString(const QString &key);
    [[nodiscard]] QVariantList decodeList(const QString &key);
    [[nodiscard]] QVariantMap decodeMap(const QString &key);
    // A dictionary as (key, value) pairs in key order, each key once, for
    // a decoder that keeps them so (a stored table's row): no map is made
    // and none is kept. False when the value is there but is not a
    // dictionary; absent or nil gives no pairs.
    [[nodiscard]] bool decodeDictionaryEntries(const QString &key, QList<std::pair<QString, QVariant>> *entries);
    [[nodiscard]] bool decodeBool(const QString &key);
    [[nodiscard]] qint32 decodeInt32(const QString &key);
    [[nodiscard]] qint64 decodeInt64(const QString &key);
    [[nodiscard]] float decodeFloat(const QString &key);
    [[nodiscard]] double decodeDouble(const QString &key);
    [[nodiscard]] QByteArray decodeBytes(const QString &key);

    // The class name of the object being decoded (its "$classname").
    [[nodiscard]] QString currentClassName() const;

    // A decoder that finds its data unusable calls this; the unarchive then
    // fails with this reason (the first reason given wins).
    void failWithReason(const QString &reason);
    [[nodiscard]] bool hasFailed() const;

    ~KeyedUnarchiver();
    KeyedUnarchiver(const KeyedUnarchiver &) = delete;
    KeyedUnarchiver &operator=(const KeyedUnarchiver &) = delete;

    // Bounds that hostile input cannot push past. The archiver refuses to
    // write what these would refuse to read.
    static constexpr int MaxDepth = 256;
    static constexpr qint64 MaxInputBytes = 512LL * 1024 * 1024;

private:
    KeyedUnarchiver();
    struct Private;
    Private *d;
};
