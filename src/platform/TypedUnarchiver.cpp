#include "TypedUnarchiver.h"

#include "AppException.h"
#include "FileIO.h"

#include <QDateTime>
#include <QtEndian>

#include <bit>
#include <vector>

namespace {

// Names and counts from the data end up in error reports and logs.
QString printable(const QString &text)
{
    constexpr qsizetype MaxShown = 80;
    QString shown = text.left(MaxShown);
    for (QChar &c : shown) {
        if (!c.isPrint())
            c = u'?';
    }
    if (text.size() > MaxShown)
        shown += QStringLiteral("...");
    return shown;
}

} // namespace

struct TypedUnarchiver::Private {
    TypedUnarchiver *q = nullptr;
    const uchar *bytes = nullptr;
    qint64 pos = 0;
    // End of the object being read, or of the data outside any object.
    qint64 limit = 0;
    int depth = 0;
    bool failed = false;
    QString error;
    // Class of the object whose decoder is running, for error reports.
    QString currentClass;

    struct ClassEntry {
        QString name;
        qint32 version = 0;
        bool resolved = false;
        ArchiveRegistry::TypedDecoder decoder;
        const ArchiveRegistry::ValueCoder *valueCoder = nullptr;
    };
    std::vector<ClassEntry> classes;

    enum class State : quint8 { Reading, Done, Skipped };
    struct Slot {
        State state = State::Reading;
        QVariant value;
    };
    std::vector<Slot> objects;

    // Depth of nesting for the span of one container or object.
    struct Level {
        Private &p;
        bool ok;
        explicit Level(Private &owner)
            : p(owner)
            , ok(++owner.depth <= MaxDepth)
        {
            if (!ok)
                p.failAt(QStringLiteral("values nested more than %1 levels deep").arg(MaxDepth));
        }
        ~Level() { --p.depth; }
    };

    // Confines reads to one object's body while its values are read.
    struct ObjectScope {
        Private &p;
        qint64 outerLimit;
        QString outerClass;
        ObjectScope(Private &owner, qint64 end, const QString &className)
            : p(owner)
            , outerLimit(owner.limit)
            , outerClass(owner.currentClass)
        {
            p.limit = end;
            p.currentClass = className;
        }
        ~ObjectScope()
        {
            p.limit = outerLimit;
            p.currentClass = outerClass;
        }
    };

    void fail(const QString &reason)
    {
        if (failed)
            return;
        failed = true;
        error = reason;
    }

    void failAt(const QString &reason) { fail(reason + QStringLiteral(" at byte %1").arg(pos)); }

    QString where() const
    {
        return currentClass.isNull() ? QString()
                                     : QStringLiteral(" in an object of class %1").arg(printable(currentClass));
    }

    [[nodiscard]] qint64 left() const { return limit - pos; }

    bool need(qint64 count)
    {
        if (failed)
            return false;
        if (count <= left())
            return true;
        failAt(QStringLiteral("unexpected end of %1").arg(currentClass.isNull() ? QStringLiteral("data")
                                                                                 : QStringLiteral("object")));
        return false;
    }

    // Only after need().
    quint8 u8() { return bytes[pos++]; }
    quint32 u32()
    {
        const auto value = qFromBigEndian<quint32>(bytes + pos);
        pos += 4;
        return value;
    }
    quint64 u64()
    {
        const auto value = qFromBigEndian<quint64>(bytes + pos);
        pos += 8;
        return value;
    }

    // A count whose entries take at least minBytes each must fit in what is
    // left, so a forged count fails here instead of driving an allocation.
    bool readCount(const char *what, const char *unit, qint64 minBytes, quint32 &count)
    {
        if (!need(4))
            return false;
        count = u32();
        if (qint64(count) * minBytes <= left())
            return true;
        failAt(QStringLiteral("%1 of %2 %3 does not fit in the %4 bytes left")
                   .arg(QLatin1String(what))
                   .arg(count)
                   .arg(QLatin1String(unit))
                   .arg(left()));
        return false;
    }

    bool readText(QString &text, bool keep)
    {
        if (!need(4))
            return false;
        const quint32 length = u32();
        if (length % 2 != 0) {
            failAt(QStringLiteral("string of odd byte length %1").arg(length));
            return false;
        }
        if (qint64(length) > left()) {
            failAt(QStringLiteral("string of %1 bytes does not fit in the %2 bytes left").arg(length).arg(left()));
            return false;
        }
        if (keep) {
            if (length == 0) {
                text = QStringLiteral(""); // empty, not null
            } else {
                // Made at its exact size: tables keep their texts, and
                // spare room would be trimmed again, a copy of each.
                text = QString(qsizetype(length / 2), Qt::Uninitialized);
                qFromBigEndian<quint16>(bytes + pos, length / 2, text.data());
            }
        }
        pos += length;
        return true;
    }

    static QString tagName(quint8 tag);
    QVariant readValue(bool keep);
    QByteArray readBytes(bool keep);
    QVariant readList(bool keep);
    QVariant readMap(bool keep);
    QVariant readStringSet(bool keep);
    QVariant readObject(bool keep);
    QVariant decodeBody(size_t classIndex);
    QVariant readBackReference(bool keep);

    // Consumes the next value's tag when it is one of those expected.
    bool takeTag(const char *expected, Tag tag, Tag other, Tag *found = nullptr);
};


QString TypedUnarchiver::Private::tagName(quint8 tag)
{
    switch (Tag(tag)) {
    case Tag::Nil:
        return QStringLiteral("nil");
    case Tag::False:
    case Tag::True:
        return QStringLiteral("bool");
    case Tag::Int32:
        return QStringLiteral("int32");
    case Tag::Int64:
        return QStringLiteral("int64");
    case Tag::Float:
        return QStringLiteral("float");
    case Tag::Double:
        return QStringLiteral("double");
    case Tag::NullString:
    case Tag::String:
        return QStringLiteral("string");
    case Tag::Bytes:
        return QStringLiteral("bytes");
    case Tag::Date:
        return QStringLiteral("date");
    case Tag::List:
        return QStringLiteral("list");
    case Tag::Map:
        return QStringLiteral("map");
    case Tag::StringSet:
        return QStringLiteral("string set");
    case Tag::Object:
        return QStringLiteral("object");
    case Tag::BackReference:
        return QStringLiteral("back-reference");
    }
    return QStringLiteral("unknown tag 0x%1").arg(tag, 2, 16, QLatin1Char('0'));
}


QVariant TypedUnarchiver::Private::readValue(bool keep)
{
    if (!need(1))
        return {};
    const quint8 tag = u8();
    switch (Tag(tag)) {
    case Tag::Nil:
        return {};
    case Tag::False:
        return QVariant(false);
    case Tag::True:
        return QVariant(true);
    case Tag::Int32:
        return need(4) ? QVariant(qint32(u32())) : QVariant();
    case Tag::Int64:
        return need(8) ? QVariant(qlonglong(u64())) : QVariant();
    case Tag::Float:
        return need(4) ? QVariant(std::bit_cast<float>(u32())) : QVariant();
    case Tag::Double:
        return need(8) ? QVariant(std::bit_cast<double>(u64())) : QVariant();
    case Tag::NullString:
        return QVariant(QString());
    case Tag::String: {
        QString text;
        return readText(text, keep) ? QVariant(text) : QVariant();
    }
    case Tag::Bytes: {
        const QByteArray data = readBytes(keep);
        return failed ? QVariant() : QVariant(data);
    }
    case Tag::Date: {
        if (!need(8))
            return {};
        const auto msecs = qint64(u64());
        if (msecs > TypedArchiver::MaxDateMsecs || msecs < -TypedArchiver::MaxDateMsecs) {
            failAt(QStringLiteral("date out of range"));
            return {};
        }
        return QDateTime::fromMSecsSinceEpoch(msecs, Qt::UTC);
    }
    case Tag::List:
        return readList(keep);
    case Tag::Map:
        return readMap(keep);
    case Tag::StringSet:
        return readStringSet(keep);
    case Tag::Object:
        return readObject(keep);
    case Tag::BackReference:
        return readBackReference(keep);
    }
    --pos;
    failAt(QStringLiteral("unknown value tag 0x%1").arg(tag, 2, 16, QLatin1Char('0')));
    return {};
}

QByteArray TypedUnarchiver::Private::readBytes(bool keep)
{
    quint32 length = 0;
    if (!readCount("byte array", "bytes", 1, length))
        return {};
    const QByteArray data = keep ? QByteArray(reinterpret_cast<const char *>(bytes + pos), length) : QByteArray();
    pos += length;
    return data;
}

QVariant TypedUnarchiver::Private::readList(bool keep)
{
    const Level level(*this);
    quint32 count = 0;
    if (!level.ok || !readCount("list", "values", 1, count))
        return {};
    QVariantList list;
    for (quint32 i = 0; i < count && !failed; ++i) {
        QVariant element = readValue(keep);
        if (keep)
            list.append(std::move(element));
    }
    return failed ? QVariant() : QVariant(list);
}

QVariant TypedUnarchiver::Private::readMap(bool keep)
{
    const Level level(*this);
    quint32 count = 0;
    if (!level.ok || !readCount("map", "entries", 5, count))
        return {};
    QVariantMap map;
    for (quint32 i = 0; i < count && !failed; ++i) {
        QString key;
        if (!readText(key, keep))
            break;
        QVariant value = readValue(keep);
        if (keep)
            map.insert(key, std::move(value));
    }
    return failed ? QVariant() : QVariant(map);
}

QVariant TypedUnarchiver::Private::readStringSet(bool keep)
{
    const Level level(*this);
    quint32 count = 0;
    if (!level.ok || !readCount("string set", "strings", 4, count))
        return {};
    StringSet set;
    for (quint32 i = 0; i < count && !failed; ++i) {
        QString element;
        if (readText(element, keep) && keep)
            set.insert(element);
    }
    return failed ? QVariant() : QVariant::fromValue(set);
}

QVariant TypedUnarchiver::Private::readObject(bool keep)
{
    const Level level(*this);
    if (!level.ok || !need(4))
        return {};
    const quint32 classIndex = u32();
    if (classIndex > classes.size()) {
        failAt(QStringLiteral("class index %1 refers to no class").arg(classIndex));
        return {};
    }
    if (classIndex == classes.size()) {
        ClassEntry entry;
        if (!readText(entry.name, true) || !need(4))
            return {};
        entry.version = qint32(u32());
        classes.push_back(std::move(entry));
    }
    quint32 bodyLength = 0;
    if (!readCount("object body", "bytes", 1, bodyLength))
        return {};
    const size_t slot = objects.size();
    objects.emplace_back();

    const ObjectScope scope(*this, pos + bodyLength, classes[classIndex].name);
    QVariant value;
    if (keep) {
        value = decodeBody(classIndex);
        if (failed)
            return {};
    }
    // Values the decoder left unread still define classes and objects that
    // later values refer to by index, so they are walked, not jumped over.
    while (!failed && pos < limit)
        readValue(false);
    if (failed)
        return {};
    objects[slot] = {keep ? State::Done : State::Skipped, value};
    return value;
}

QVariant TypedUnarchiver::Private::decodeBody(size_t classIndex)
{
    ClassEntry &entry = classes[classIndex];
    if (!entry.resolved) {
        entry.resolved = true;
        entry.decoder = ArchiveRegistry::typedDecoder(entry.name);
        if (!entry.decoder) {
            const ArchiveRegistry::ValueCoder *coder = ArchiveRegistry::valueCoderForTypedClass(entry.name);
            if (coder && coder->decodeTyped)
                entry.valueCoder = coder;
        }
    }
    // The decoder may define classes and so move the entries.
    const ArchiveRegistry::TypedDecoder decoder = entry.decoder;
    const ArchiveRegistry::ValueCoder *valueCoder = entry.valueCoder;
    const QString name = entry.name;
    const int version = entry.version;
    if (!decoder && !valueCoder) {
        failAt(QStringLiteral("unknown class \"%1\"").arg(printable(name)));
        return {};
    }

    QVariant value;
    try {
        value = decoder ? codableVariant(decoder(*q, version)) : valueCoder->decodeTyped(*q, version);
    } catch (const AppException &e) {
        fail(QStringLiteral("reading an object of class %1 failed: %2").arg(printable(name), e.reason()));
    } catch (const std::exception &e) {
        fail(QStringLiteral("reading an object of class %1 failed: %2")
                 .arg(printable(name), QString::fromLocal8Bit(e.what())));
    } catch (...) {
        fail(QStringLiteral("reading an object of class %1 failed").arg(printable(name)));
    }
    if (failed)
        return {};
    if (!value.isValid()) {
        fail(QStringLiteral("the decoder of class %1 refused its data").arg(printable(name)));
        return {};
    }
    return value;
}

QVariant TypedUnarchiver::Private::readBackReference(bool keep)
{
    if (!need(4))
        return {};
    const quint32 index = u32();
    if (index >= objects.size()) {
        failAt(QStringLiteral("back-reference to object %1 of %2 read so far").arg(index).arg(objects.size()));
        return {};
    }
    const Slot &target = objects[index];
    switch (target.state) {
    case State::Reading:
        failAt(QStringLiteral("back-reference to object %1 while it is being read (a cycle)").arg(index));
        return {};
    case State::Skipped:
        if (keep)
            failAt(QStringLiteral("back-reference to object %1, which was skipped unread").arg(index));
        return {};
    case State::Done:
        break;
    }
    return keep ? target.value : QVariant();
}

bool TypedUnarchiver::Private::takeTag(const char *expected, Tag tag, Tag other, Tag *found)
{
    if (failed)
        return false;
    if (pos >= limit) {
        failAt(QStringLiteral("expected %1, found the end of the object%2").arg(QLatin1String(expected), where()));
        return false;
    }
    const quint8 next = bytes[pos];
    if (next != quint8(tag) && next != quint8(other)) {
        failAt(QStringLiteral("expected %1, found %2%3").arg(QLatin1String(expected), tagName(next), where()));
        return false;
    }
    ++pos;
    if (found)
        *found = Tag(next);
    return true;
}

TypedUnarchiver::TypedUnarchiver()
    : d(new Private)
{
    d->q = this;
}

TypedUnarchiver::~TypedUnarchiver()
{
    delete d;
}

bool TypedUnarchiver::looksLikeTypedArchive(const QByteArray &data)
{
    return data.startsWith(QByteArrayView(TypedArchiver::Magic, sizeof TypedArchiver::Magic));
}

QVariant TypedUnarchiver::unarchiveObjectWithData(const QByteArray &data, QString *error)
{
    registerPlatformCoders();
    const auto refuse = [error](const QString &reason) {
        if (error)
            *error = reason;
        return QVariant();
    };
    if (data.size() > MaxInputBytes)
        return refuse(QStringLiteral("typed archive of %1 bytes exceeds the limit of %2 bytes")
                          .arg(data.size())
                          .arg(MaxInputBytes));
    if (!looksLikeTypedArchive(data))
        return refuse(QStringLiteral("not a typed archive"));
    constexpr qsizetype HeaderSize = sizeof TypedArchiver::Magic + 1;
    if (data.size() < HeaderSize)
        return refuse(QStringLiteral("typed archive ends inside its header"));
    const auto version = quint8(data.at(HeaderSize - 1));
    if (version != TypedArchiver::FormatVersion)
        return refuse(QStringLiteral("unsupported typed archive version %1").arg(version));

    TypedUnarchiver unarchiver;
    Private &p = *unarchiver.d;
    p.bytes = reinterpret_cast<const uchar *>(data.constData());
    p.pos = HeaderSize;
    p.limit = data.size();
    QVariant root;
    try {
        root = p.readValue(true);
    } catch (const std::exception &e) {
        // Only our own allocations can get here; decoders are guarded inside.
        p.fail(QStringLiteral("reading the typed archive failed: %1").arg(QString::fromLocal8Bit(e.what())));
    }
    if (!p.failed && p.pos != data.size())
        p.failAt(QStringLiteral("%1 bytes of trailing garbage after the root value").arg(data.size() - p.pos));
    if (p.failed)
        return refuse(p.error);
    if (error)
        error->clear();
    return root;
}

QVariant TypedUnarchiver::unarchiveObjectWithFile(const QString &path, QString *error)
{
    const std::optional<QByteArray> data = FileIO::readFileLimited(path, MaxInputBytes, error);
    return data ? unarchiveObjectWithData(*data, error) : QVariant();
}

QVariant TypedUnarchiver::decodeObject()
{
    if (d->failed)
        return {};
    if (d->pos >= d->limit) {
        d->failAt(QStringLiteral("expected a value, found the end of the object%1").arg(d->where()));
        return {};
    }
    return d->readValue(true);
}

bool TypedUnarchiver::decodeBool()
{
    Tag found = Tag::False;
    return d->takeTag("bool", Tag::False, Tag::True, &found) && found == Tag::True;
}

qint32 TypedUnarchiver::decodeInt32()
{
    if (!d->takeTag("int32", Tag::Int32, Tag::Int32) || !d->need(4))
        return 0;
    return qint32(d->u32());
}

qint64 TypedUnarchiver::decodeInt64()
{
    if (!d->takeTag("int64", Tag::Int64, Tag::Int64) || !d->need(8))
        return 0;
    return qint64(d->u64());
}

float TypedUnarchiver::decodeFloat()
{
    if (!d->takeTag("float", Tag::Float, Tag::Float) || !d->need(4))
        return 0;
    return std::bit_cast<float>(d->u32());
}

double TypedUnarchiver::decodeDouble()
{
    if (!d->takeTag("double", Tag::Double, Tag::Double) || !d->need(8))
        return 0;
    return std::bit_cast<double>(d->u64());
}

QByteArray TypedUnarchiver::decodeBytes()
{
    if (!d->takeTag("bytes", Tag::Bytes, Tag::Bytes))
        return {};
    return d->readBytes(true);
}

bool TypedUnarchiver::atEndOfObject() const
{
    // A failed unarchive reads as finished so that decoders looping until
    // the end stop.
    return d->failed || d->pos >= d->limit;
}

void TypedUnarchiver::failWithReason(const QString &reason)
{
    d->fail(reason);
}

bool TypedUnarchiver::hasFailed() const
{
    return d->failed;
}
