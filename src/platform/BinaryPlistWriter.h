#pragma once

// Writes a binary property list ("bplist00": the objects, their offset
// table and the trailer) in time linear in its size. Scalars other than
// UIDs are written once per distinct value, as every property-list writer
// does; containers are written as given, so a reader can bound its work by
// the size of the file.

#include <QByteArray>
#include <QByteArrayView>
#include <QStringView>

#include "PodBuffer.h"

#include <array>
#include <functional>
#include <optional>
#include <span>
#include <string>

class BinaryPlistWriter {
public:
    using Ref = quint32;

    // Output larger than maxBytes is refused (AppException, invalid
    // argument) as soon as it is certain, before any of it is returned.
    explicit BinaryPlistWriter(qint64 maxBytes);

    [[nodiscard]] Ref addString(QStringView text);
    // A hint that the string is added soon: its lookup in the table of
    // scalars starts now, so that several lookups overlap. The key it
    // answers spares addString the hashing.
    [[nodiscard]] quint32 prefetchString(QStringView text) const;
    [[nodiscard]] Ref addString(QStringView text, quint32 key);
    // The string if it was added already; adds nothing.
    [[nodiscard]] std::optional<Ref> findString(QStringView text);
    [[nodiscard]] Ref addInteger(qint64 value);
    [[nodiscard]] Ref addReal(double value);
    [[nodiscard]] Ref addBool(bool value);
    // Seconds since 2001-01-01T00:00:00Z.
    [[nodiscard]] Ref addDate(double seconds);
    // Not looked up: a caller that refers to one UID many times keeps its Ref.
    [[nodiscard]] Ref addUid(quint64 uid);
    [[nodiscard]] Ref addData(QByteArrayView bytes);
    [[nodiscard]] Ref addArray(std::span<const Ref> items);
    // Keys and values pair up by position.
    [[nodiscard]] Ref addDictionary(std::span<const Ref> keys, std::span<const Ref> values);

    [[nodiscard]] quint64 objectCount() const { return m_objects.size(); }

    // The whole property list with `top` as its root. The writer is spent afterwards.
    [[nodiscard]] QByteArray finish(Ref top);
    // The same handed on in pieces as it is made, never held whole: `begin`
    // is told the size first, then `write` gets the pieces in order. False
    // as soon as either answers false.
    using Write = std::function<bool(QByteArrayView piece)>;
    [[nodiscard]] bool finish(Ref top, const std::function<bool(quint64 total)> &begin, const Write &write);

private:
    // A scalar's bytes lie in m_scalars; a container's references in m_refs
    // (a dictionary's keys, then its values). Eight bytes an object: a
    // table of a million rows is some fourteen million objects.
    enum Kind : quint32 { Scalar = 0, Array = 1u << 30, Dictionary = 2u << 30 };
    static constexpr quint32 CountMask = (1u << 30) - 1;
    struct Object {
        quint32 start;
        quint32 kindAndCount;
    };

    void setFixedScalar(quint8 marker, quint64 value, int width);
    static quint32 stringHash(QStringView text);
    void encodeString(QStringView text); // into m_scratch
    struct Lookup {
        bool found;
        Ref ref;     // when found
        size_t slot; // else the free slot it would take
    };
    // The scalar in m_scratch.
    Lookup lookup(quint32 hash);
    Ref addScalar();
    Ref addScalar(quint32 hash);
    Ref appendScalar();
    Ref addContainer(Kind kind, std::span<const Ref> first, std::span<const Ref> second);
    void growSlots();
    void checkSize() const;

    qint64 m_maxBytes;
    PodBuffer<Object> m_objects;
    PodBuffer<char> m_scalars;
    PodBuffer<Ref> m_refs;
    std::string m_scratch; // the scalar being added, before it is known to be new
    // Open addressing over scalar bytes, with each slot's hash so that
    // growing and probing need not reach the bytes.
    struct Slot {
        Ref ref = 0; // 0 = free, else Ref + 1
        quint32 hash = 0;
    };
    PodBuffer<Slot> m_slots;
    // In front of the slots, the scalars met last by a part of their hash:
    // the values a table repeats most (a city, a company) are found here,
    // in the cache, rather than far out in the slots and the scalars.
    struct Recent {
        Ref ref = 0; // as in Slot
        quint32 hash = 0;
        quint32 start = 0;
    };
    std::array<Recent, 4096> m_recent{};
    // Other bits of the hash than the slots' index takes.
    Recent &recentFor(quint32 hash) { return m_recent[(hash >> 7) % m_recent.size()]; }
    quint64 m_slotCount = 0;
    quint64 m_containerCount = 0;
};
