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

class RichText;

class KeyedArchiver {
public:
    // The archive of a root object. Throws AppException (invalid argument)
    // for a value of a kind no archive can hold.
    [[nodiscard]] static QByteArray archivedDataWithRootObject(const QVariant &root);
    // Writes the archive to a file, replacing it; false when it cannot be written.
    [[nodiscard]] static bool archiveRootObjectToFile(const QVariant &root, const QString &path);

    // Inside Codable::encodeWithCoder: the fields of the object being written.
    void encodeObject(const QVariant &value, const QString &key); // an invalid QVariant is nil
    void encodeObject(const QVariant &value);                     // no key: "$0", "$1", ... in order
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
    KeyedArchiver();
    struct Private;
    Private *d;
};
