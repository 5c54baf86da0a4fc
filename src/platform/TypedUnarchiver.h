#pragma once

// Reads TypedArchiver data. The input is treated as hostile: type tags,
// lengths, counts, depth and back-references are checked; a reference to
// an object still being read (a cycle) is refused; a value of another type
// than the decoder asks for fails the unarchive with a reason. Never a crash.

#include "Codable.h"
#include "TypedArchiver.h"

#include <QByteArray>
#include <QString>
#include <QVariant>

class TypedUnarchiver {
public:
    // The root object, or an invalid QVariant and *error when the data is
    // not a typed archive or is malformed.
    [[nodiscard]] static QVariant unarchiveObjectWithData(const QByteArray &data, QString *error = nullptr);
    [[nodiscard]] static QVariant unarchiveObjectWithFile(const QString &path, QString *error = nullptr);
    // Cheap test of the magic header.
    [[nodiscard]] static bool looksLikeTypedArchive(const QByteArray &data);

    // Inside a decoder, in the order the encoder wrote them.
    [[nodiscard]] QVariant decodeObject();
    [[nodiscard]] bool decodeBool();
    [[nodiscard]] qint32 decodeInt32();
    [[nodiscard]] qint64 decodeInt64();
    [[nodiscard]] float decodeFloat();
    [[nodiscard]] double decodeDouble();
    [[nodiscard]] QByteArray decodeBytes();
    // True when the object being decoded has no more values (older forms wrote fewer).
    [[nodiscard]] bool atEndOfObject() const;

    void failWithReason(const QString &reason);
    [[nodiscard]] bool hasFailed() const;

    ~TypedUnarchiver();
    TypedUnarchiver(const TypedUnarchiver &) = delete;
    TypedUnarchiver &operator=(const TypedUnarchiver &) = delete;

    // Bounds that hostile input cannot push past. Every object takes bytes
    // of the input, so their number is bounded by its size; the archiver
    // refuses to write more than these would read.
    static constexpr int MaxDepth = 256;
    static constexpr qint64 MaxInputBytes = 512LL * 1024 * 1024;

private:
    using Tag = TypedArchiver::Tag;

    TypedUnarchiver();
    struct Private;
    Private *d;
};
