#pragma once

// Random access to the objects of a binary property list ("bplist00") in
// place, without building a tree: an object is found through the offset
// table and read when asked for. Every offset, length and reference comes
// from the data and is checked against it; a damaged object reads as
// Invalid, never past the data.

#include <QByteArray>
#include <QByteArrayView>
#include <QString>
#include <QStringView>

class BinaryPlistReader {
public:
    enum class Kind : quint8 { Invalid, Bool, Integer, Real, Date, Data, String, Uid, Array, Set, Dictionary };

    struct Object {
        Kind kind = Kind::Invalid;
        bool utf16 = false;      // strings: UTF-16 big-endian, else single bytes
        bool boolValue = false;  // Bool
        quint8 width = 0;        // Integer, Real, Date, Uid: bytes of the value
        quint64 count = 0;       // String: characters; Data: bytes; containers: entries
        const uchar *payload = nullptr;
    };

    // Reads the trailer; false, with the reason, when the data is not a
    // binary property list whose offset table lies within it. The data must
    // outlive the reader.
    [[nodiscard]] bool open(QByteArrayView data, QString *error);

    [[nodiscard]] quint64 objectCount() const { return m_count; }
    [[nodiscard]] quint64 topObject() const { return m_top; }

    // Invalid for an index past the objects or an object that is damaged.
    [[nodiscard]] Object object(quint64 index) const;
    // Entry i of a container (a dictionary's keys come first, then its
    // values). May lie past the objects; object() then reads it as Invalid.
    [[nodiscard]] quint64 reference(const Object &container, quint64 i) const;

    [[nodiscard]] static qint64 integerValue(const Object &object);
    [[nodiscard]] static double realValue(const Object &object); // Real and Date
    [[nodiscard]] static quint64 uidValue(const Object &object);
    [[nodiscard]] static QByteArray dataValue(const Object &object);
    // Single-byte strings are read as UTF-8, which covers the ASCII that
    // writers put there; never a null string.
    [[nodiscard]] static QString stringValue(const Object &object);
    [[nodiscard]] static bool stringEquals(const Object &object, QStringView text);

private:
    const uchar *m_bytes = nullptr;
    quint64 m_offsetSize = 0;
    quint64 m_refSize = 0;
    quint64 m_count = 0;
    quint64 m_top = 0;
    quint64 m_tableOffset = 0; // objects lie between the header and here
};
