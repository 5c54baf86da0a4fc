// Byte format of a typed archive, version 1. Integers are big-endian;
// lengths, counts and indexes are unsigned 32-bit.
//
//   archive := "CVTA" version:u8 value          nothing may follow the value
//   value   := tag:u8 payload
//     0x00  nil
//     0x01  false                 0x02  true
//     0x03  int32   4 bytes, two's complement
//     0x04  int64   8 bytes, two's complement
//     0x05  float   IEEE 754 single, 4 bytes
//     0x06  double  IEEE 754 double, 8 bytes
//     0x07  null string (no payload)
//     0x08  string  text
//     0x09  bytes   length:u32, that many bytes
//     0x0A  date    int64 milliseconds since 1970-01-01T00:00Z, |ms| <= 8.64e15
//     0x0B  list    count:u32, count values
//     0x0C  map     count:u32, count * (key:text, value), keys ascending
//     0x0D  set     count:u32, count * text, ascending (a string set)
//     0x0E  object  class, bodyLength:u32, body
//     0x0F  back-reference  objectIndex:u32
//   text  := byteLength:u32 (even), UTF-16 code units big-endian, kept as
//            they are (a lone surrogate survives a round trip)
//   class := index:u32; when index equals the number of classes defined so
//            far, the class appears for the first time and name:text,
//            version:int32 follow
//   body  := the values the object's coder wrote, exactly bodyLength bytes
//
// Objects are numbered from 0 in the order their 0x0E tags appear in the
// stream, every object counting (value-coder objects and objects a reader
// skips included); a back-reference names an earlier one. Only Codables are
// referred back to, so shared objects stay shared; value-coder objects are
// written in full each time. "Ascending" is QString's order of UTF-16 code
// units, which makes the output a function of the input alone.
//
// The body length lets a reader whose decoder reads fewer values (an older
// version of the class) step over the rest, and confines every read inside
// an object to the object. Nesting (lists, maps, sets, objects) is at most
// TypedUnarchiver::MaxDepth deep; the writer refuses deeper values rather
// than produce an archive no reader accepts.

#include "TypedArchiver.h"

#include "AppException.h"
#include "FileIO.h"
#include "TypedUnarchiver.h"

#include <QDateTime>
#include <QHash>
#include <QSet>
#include <QtEndian>

#include <algorithm>
#include <bit>
#include <vector>

struct TypedArchiver::Private {
    TypedArchiver *q = nullptr;
    QByteArray out;
    QHash<QString, quint32> classIndexes;
    QHash<const Codable *, quint32> objectIndexes;
    QSet<const Codable *> inProgress;
    // Objects an encoder creates on the fly may die before the archive is
    // finished; a later object at the same address must not be mistaken for
    // them, so every written Codable is kept alive until the end.
    std::vector<CodableRef> written;
    quint32 objectCount = 0;
    int depth = 0;

    void tag(Tag t) { out.append(char(t)); }

    void u32(quint32 value)
    {
        char buffer[4];
        qToBigEndian(value, buffer);
        out.append(buffer, 4);
    }

    void u64(quint64 value)
    {
        char buffer[8];
        qToBigEndian(value, buffer);
        out.append(buffer, 8);
    }

    void text(const QString &value)
    {
        u32(quint32(value.size()) * 2);
        const qsizetype at = out.size();
        out.resize(at + value.size() * 2);
        qToBigEndian<quint16>(value.utf16(), value.size(), out.data() + at);
    }

    void enter()
    {
        if (++depth > TypedUnarchiver::MaxDepth)
            throw AppException(ExceptionNames::InvalidArgument,
                               QStringLiteral("Value nested more than %1 levels deep cannot be archived")
                                   .arg(TypedUnarchiver::MaxDepth));
    }

    void leave() { --depth; }

    // Writes the object tag and class, and returns where the body length goes.
    qsizetype beginObject(const QString &className, int version)
    {
        enter();
        tag(Tag::Object);
        const auto known = classIndexes.constFind(className);
        if (known != classIndexes.cend()) {
            u32(*known);
        } else {
            const quint32 index = quint32(classIndexes.size());
            classIndexes.insert(className, index);
            u32(index);
            text(className);
            u32(quint32(qint32(version)));
        }
        ++objectCount;
        const qsizetype lengthAt = out.size();
        u32(0);
        return lengthAt;
    }

    void endObject(qsizetype lengthAt)
    {
        qToBigEndian(quint32(out.size() - lengthAt - 4), out.data() + lengthAt);
        leave();
    }

    void writeCodable(const CodableRef &object)
    {
        if (!object) {
            tag(Tag::Nil);
            return;
        }
        const auto seen = objectIndexes.constFind(object.get());
        if (seen != objectIndexes.cend()) {
            // A reader refuses a reference to an object it is still reading.
            if (inProgress.contains(object.get()))
                throw AppException(ExceptionNames::InvalidArgument,
                                   QStringLiteral("Object of class %1 contains itself and cannot be archived")
                                       .arg(object->archiveClassName()));
            tag(Tag::BackReference);
            u32(*seen);
            return;
        }
        objectIndexes.insert(object.get(), objectCount);
        written.push_back(object);
        inProgress.insert(object.get());
        const qsizetype lengthAt = beginObject(object->archiveClassName(), object->archiveClassVersion());
        object->encodeWithCoder(*q);
        endObject(lengthAt);
        inProgress.remove(object.get());
    }

    void writeValue(const QVariant &value)
    {
        if (!value.isValid()) {
            tag(Tag::Nil);
            return;
        }
        const int type = value.typeId();
        switch (type) {
        case QMetaType::Bool:
            tag(value.toBool() ? Tag::True : Tag::False);
            return;
        case QMetaType::Int:
            tag(Tag::Int32);
            u32(quint32(value.toInt()));
            return;
        case QMetaType::LongLong:
            tag(Tag::Int64);
            u64(quint64(value.toLongLong()));
            return;
        case QMetaType::Float:
            tag(Tag::Float);
            u32(std::bit_cast<quint32>(value.toFloat()));
            return;
        case QMetaType::Double:
            tag(Tag::Double);
            u64(std::bit_cast<quint64>(value.toDouble()));
            return;
        case QMetaType::QString: {
            const QString string = value.toString();
            if (string.isNull()) {
                tag(Tag::NullString);
            } else {
                tag(Tag::String);
                text(string);
            }
            return;
        }
        case QMetaType::QByteArray:
            writeBytes(value.toByteArray());
            return;
        case QMetaType::QDateTime:
            writeDate(value.toDateTime());
            return;
        case QMetaType::QVariantList: {
            const QVariantList list = value.toList();
            enter();
            tag(Tag::List);
            u32(quint32(list.size()));
            for (const QVariant &element : list)
                writeValue(element);
            leave();
            return;
        }
        case QMetaType::QVariantMap: {
            const QVariantMap map = value.toMap();
            enter();
            tag(Tag::Map);
            u32(quint32(map.size()));
            for (auto it = map.cbegin(); it != map.cend(); ++it) {
                text(it.key());
                writeValue(it.value());
            }
            leave();
            return;
        }
        default:
            break;
        }
        if (type == qMetaTypeId<StringSet>()) {
            const QStringList sorted = sortedMembers(value.value<StringSet>());
            enter();
            tag(Tag::StringSet);
            u32(quint32(sorted.size()));
            for (const QString &element : std::as_const(sorted))
                text(element);
            leave();
            return;
        }
        if (type == qMetaTypeId<CodableRef>()) {
            writeCodable(value.value<CodableRef>());
            return;
        }
        const ArchiveRegistry::ValueCoder *coder = ArchiveRegistry::valueCoderForMetaType(type);
        if (!coder || coder->typedClassName.isEmpty() || !coder->encodeTyped)
            throw AppException(ExceptionNames::InvalidArgument,
                               QStringLiteral("A value of type %1 cannot be put in a typed archive")
                                   .arg(QString::fromLatin1(value.metaType().name())));
        const qsizetype lengthAt = beginObject(coder->typedClassName, coder->typedClassVersion);
        coder->encodeTyped(*q, value);
        endObject(lengthAt);
    }

    void writeBytes(const QByteArray &bytes)
    {
        tag(Tag::Bytes);
        u32(quint32(bytes.size()));
        out.append(bytes);
    }

    void writeDate(const QDateTime &date)
    {
        const qint64 msecs = date.isValid() ? date.toMSecsSinceEpoch() : 0;
        if (!date.isValid() || msecs > MaxDateMsecs || msecs < -MaxDateMsecs)
            throw AppException(ExceptionNames::InvalidArgument,
                               QStringLiteral("An invalid or far-off date cannot be put in a typed archive"));
        tag(Tag::Date);
        u64(quint64(msecs));
    }
};

TypedArchiver::TypedArchiver()
    : d(new Private)
{
    d->q = this;
    d->out.append(Magic, sizeof Magic);
    d->out.append(char(FormatVersion));
}

TypedArchiver::~TypedArchiver()
{
    delete d;
}

QByteArray TypedArchiver::archivedDataWithRootObject(const QVariant &root)
{
    registerPlatformCoders();
    TypedArchiver archiver;
    archiver.d->writeValue(root);
    if (archiver.d->out.size() > TypedUnarchiver::MaxInputBytes)
        throw AppException(ExceptionNames::InvalidArgument,
                           QStringLiteral("The archive would be larger than any reader accepts"));
    return archiver.d->out;
}

bool TypedArchiver::archiveRootObjectToFile(const QVariant &root, const QString &path)
{
    return FileIO::writeFileAtomically(path, archivedDataWithRootObject(root));
}

void TypedArchiver::encodeObject(const QVariant &value)
{
    d->writeValue(value);
}

void TypedArchiver::encodeBool(bool value)
{
    d->tag(value ? Tag::True : Tag::False);
}

void TypedArchiver::encodeInt32(qint32 value)
{
    d->tag(Tag::Int32);
    d->u32(quint32(value));
}

void TypedArchiver::encodeInt64(qint64 value)
{
    d->tag(Tag::Int64);
    d->u64(quint64(value));
}

void TypedArchiver::encodeFloat(float value)
{
    d->tag(Tag::Float);
    d->u32(std::bit_cast<quint32>(value));
}

void TypedArchiver::encodeDouble(double value)
{
    d->tag(Tag::Double);
    d->u64(std::bit_cast<quint64>(value));
}

void TypedArchiver::encodeBytes(const QByteArray &bytes)
{
    d->writeBytes(bytes);
}
