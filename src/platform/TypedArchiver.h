#pragma once

// Our own sequential archive: a magic header, then typed values one after
// the other; objects carry their class name and version the first time the
// class appears, later by back-reference; an object met again is written
// as a back-reference to its first appearance. Values are read back in the
// order they were written, with their exact types (a 32-bit integer stays
// one). Tags, the clipboard's tagged text and the older document form use it.

#include "Codable.h"

#include <QByteArray>
#include <QString>
#include <QVariant>

class TypedArchiver {
public:
    // Throws AppException (invalid argument) for a value no archive can hold.
    [[nodiscard]] static QByteArray archivedDataWithRootObject(const QVariant &root);
    [[nodiscard]] static bool archiveRootObjectToFile(const QVariant &root, const QString &path);

    // Inside Codable::encodeWithCoder, in the order the decoder reads them.
    void encodeObject(const QVariant &value); // an invalid QVariant is nil
    void encodeBool(bool value);
    void encodeInt32(qint32 value);
    void encodeInt64(qint64 value);
    void encodeFloat(float value);
    void encodeDouble(double value);
    void encodeBytes(const QByteArray &bytes);

    ~TypedArchiver();
    TypedArchiver(const TypedArchiver &) = delete;
    TypedArchiver &operator=(const TypedArchiver &) = delete;

private:
    friend class TypedUnarchiver;

    // The byte format both sides share; described at the top of TypedArchiver.cpp.
    static constexpr char Magic[4] = {'C', 'V', 'T', 'A'};
    static constexpr quint8 FormatVersion = 1;
    // Dates further out than this (about 273,790 years) are refused on both sides.
    static constexpr qint64 MaxDateMsecs = 8'640'000'000'000'000LL;
    enum class Tag : quint8 {
        Nil = 0x00,
        False = 0x01,
        True = 0x02,
        Int32 = 0x03,
        Int64 = 0x04,
        Float = 0x05,
        Double = 0x06,
        NullString = 0x07,
        String = 0x08,
        Bytes = 0x09,
        Date = 0x0A,
        List = 0x0B,
        Map = 0x0C,
        StringSet = 0x0D,
        Object = 0x0E,
        BackReference = 0x0F,
    };

    TypedArchiver();
    struct Private;
    Private *d;
};
