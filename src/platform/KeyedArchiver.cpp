#include "KeyedArchiver.h"

#include "AppException.h"
#include "BinaryPlistWriter.h"
#include "FileIO.h"
#include "KeyedUnarchiver.h"
#include "PodBuffer.h"

#include <QDateTime>
#include <QSet>
#include <QVarLengthArray>


#include <algorithm>
#include <array>
#include <functional>
#include <limits>
#include <map>
#include <memory>
#include <optional>
#include <vector>

namespace {

using Ref = BinaryPlistWriter::Ref;

QString typeDescription(const QVariant &value)
{
    return QString::fromLatin1(value.typeName() ? value.typeName() : "unknown type");
}

// The strings met over and over (column identifiers, class and field names)
// are nearly always the same shared string; found by the address of their
// characters they need no hashing of their text. Each remembered string is
// held, so its address cannot pass to other text while it is remembered.
class StringMemo {
public:
    quint32 *find(const QString &text)
    {
        // Every empty string shares one address, that of the unused entries
        // too: 0 marks an entry that remembers nothing.
        Entry &entry = entryFor(text);
        return entry.value != 0 && entry.text.constData() == text.constData() && entry.text.size() == text.size()
            ? &entry.value
            : nullptr;
    }
    // Value 0 is not remembered.
    void remember(const QString &text, quint32 value) { entryFor(text) = {text, value}; }

private:
    struct Entry {
        QString text;
        quint32 value = 0;
    };
    Entry &entryFor(const QString &text)
    {
        return m_entries[(quintptr(text.constData()) >> 3) * 0x9E3779B97F4A7C15ull >> 54];
    }
    std::array<Entry, 1024> m_entries;
};

// Made once: a table writes a dictionary per row.
const QStringList ArrayClasses{QStringLiteral("NSMutableArray"), QStringLiteral("NSArray"), QStringLiteral("NSObject")};
const QStringList DictionaryClasses{QStringLiteral("NSMutableDictionary"), QStringLiteral("NSDictionary"),
                                    QStringLiteral("NSObject")};
const QStringList SetClasses{QStringLiteral("NSMutableSet"), QStringLiteral("NSSet"), QStringLiteral("NSObject")};
const QStringList DataClasses{QStringLiteral("NSMutableData"), QStringLiteral("NSData"), QStringLiteral("NSObject")};
const QStringList DateClasses{QStringLiteral("NSDate"), QStringLiteral("NSObject")};

// The string a variant holds, not a copy of it: tables are mostly strings.
const QString &stringOf(const QVariant &value)
{
    return *static_cast<const QString *>(value.constData());
}

// The UIDs of strings found by the address of their characters, without
// bound: a table's row identifiers, named again by its identifier set. Each
// string is held while remembered, so its address cannot pass to another.
class AddressMemo {
public:
    void remember(const QString &text, quint32 uid)
    {
        if ((m_held.size() + 1) * 2 > m_slots.size())
            grow();
        insert({key(text), quint32(text.size()), uid});
        m_held.push_back(text);
    }
    void prefetch(const QString &text) const
    {
        if (!m_slots.empty())
            __builtin_prefetch(m_slots.data() + (spread(key(text)) & (m_slots.size() - 1)));
    }
    // 0 when the string is not remembered.
    quint32 find(const QString &text) const
    {
        if (m_slots.empty())
            return 0;
        const quintptr wanted = key(text);
        for (size_t i = spread(wanted) & (m_slots.size() - 1);; i = (i + 1) & (m_slots.size() - 1)) {
            const Slot &slot = m_slots[i];
            if (slot.key == 0)
                return 0;
            if (slot.key == wanted && slot.size == quint32(text.size()))
                return slot.uid;
        }
    }

private:
    struct Slot {
        quintptr key; // 0: free
        quint32 size;
        quint32 uid;
    };
    static quintptr key(const QString &text) { return quintptr(text.constData()); }
    static size_t spread(quintptr key) { return size_t((key >> 3) * 0x9E3779B97F4A7C15ull >> 20); }
    void insert(const Slot &slot)
    {
        for (size_t i = spread(slot.key) & (m_slots.size() - 1);; i = (i + 1) & (m_slots.size() - 1)) {
            if (m_slots[i].key == 0 || (m_slots[i].key == slot.key && m_slots[i].size == slot.size)) {
                m_slots[i] = slot;
                return;
            }
        }
    }
    void grow()
    {
        PodBuffer<Slot> old;
        old.swap(m_slots);
        m_slots.resize(std::max<size_t>(1024, old.size() * 2), Slot{0, 0, 0});
        for (const Slot &slot : old) {
            if (slot.key != 0)
                insert(slot);
        }
    }

    PodBuffer<Slot> m_slots;
    std::vector<QString> m_held; // also the count, for growing
};

} // namespace

struct KeyedArchiver::Private {
    // The fields of the object being written, sorted on output so that
    // equal input gives equal bytes whatever order an encoder wrote them in.
    using Fields = QVarLengthArray<std::pair<QString, Ref>, 8>;
    struct Frame {
        Fields fields;
        int nextUnkeyed = 0;
    };

    explicit Private(KeyedArchiver *owner) : q(owner), writer(KeyedUnarchiver::MaxInputBytes) {}

    Ref build(const QVariant &root);

    KeyedArchiver *q;
    BinaryPlistWriter writer;
    PodBuffer<Ref> objects; // index = UID; the property-list object of each, set once written
    // The UID of a string by the property-list object that holds its text:
    // the writer already finds equal strings, so no second table of them is kept.
    PodBuffer<quint32> stringUids;
    StringMemo stringUidMemo;
    StringMemo fieldKeyMemo;
    // The UID objects by the UID they hold: written once, referred to from every container.
    PodBuffer<Ref> uidRefs;
    QHash<QString, quint64> classUids;
    StringMemo classUidMemo; // by the address of the class name, before the hash
    AddressMemo sharedStrings;
    QHash<const Codable *, quint64> codableUids;
    // By UID: the objects whose fields are being written, so one that
    // contains itself is caught.
    std::vector<bool> codablesInProgress;
    // Identity is by address, so every object written stays alive until the
    // end: a temporary freed half-way could otherwise lend its address to
    // an unrelated object that would then be written as a reference to it.
    std::vector<CodableRef> keepAlive;
    std::vector<Frame *> frames;
    int depth = 0;

    quint64 append(Ref ref)
    {
        objects.push_back(ref);
        return objects.size() - 1;
    }

    Frame &frame()
    {
        if (frames.empty())
            throw AppException(ExceptionNames::InternalInconsistency,
                               QStringLiteral("A keyed archiver field was written outside an object."));
        return *frames.back();
    }

    void setField(const QString &key, Ref ref)
    {
        auto &fields = frame().fields;
        for (auto &field : fields) {
            if (field.first == key) {
                field.second = ref;
                return;
            }
        }
        fields.append({key, ref});
    }

    Ref uidRef(quint64 uid)
    {
        if (uid >= uidRefs.size())
            uidRefs.resize(std::max<size_t>(uid + 1, uidRefs.size() * 2), Ref(0));
        // Ref 0 is "$null", written first, so it marks a UID not yet written.
        if (uidRefs[uid] == 0)
            uidRefs[uid] = writer.addUid(uid);
        return uidRefs[uid];
    }

    Ref fieldKey(const QString &key)
    {
        if (const quint32 *known = fieldKeyMemo.find(key))
            return *known;
        const Ref ref = writer.addString(key);
        fieldKeyMemo.remember(key, ref);
        return ref;
    }

    Ref dictionary(Fields &fields)
    {
        // A handful of fields, nearly in order: insertion sort.
        for (size_t i = 1; i < fields.size(); ++i) {
            for (size_t j = i; j > 0 && fields[j].first < fields[j - 1].first; --j)
                std::swap(fields[j], fields[j - 1]);
        }
        QVarLengthArray<Ref, 8> keys, values;
        for (const auto &[key, value] : fields) {
            keys.append(fieldKey(key));
            values.append(value);
        }
        return writer.addDictionary(keys, values);
    }

    // The UID of a class written already, found by the address of its name
    // before its text is hashed; 0 for a class not yet written.
    quint64 knownClassUid(const QString &name)
    {
        if (const quint32 *known = classUidMemo.find(name))
            return *known;
        const auto found = classUids.constFind(name);
        if (found == classUids.constEnd())
            return 0;
        classUidMemo.remember(name, quint32(*found));
        return *found;
    }

    quint64 classUid(const QStringList &classes)
    {
        const QString &name = classes.first();
        if (const quint64 known = knownClassUid(name))
            return known;
        QVarLengthArray<Ref, 8> hierarchy;
        for (const QString &className : classes)
            hierarchy.append(writer.addString(className));
        Fields fields{{QStringLiteral("$classes"), writer.addArray(hierarchy)},
                                                    {QStringLiteral("$classname"), writer.addString(name)}};
        const quint64 uid = append(dictionary(fields));
        classUids.insert(name, uid);
        classUidMemo.remember(name, quint32(uid));
        return uid;
    }

    // The UID is taken before the fields are written, so that an object
    // precedes the objects it refers to.
    template <typename WriteFields>
    quint64 encodeClassed(const QStringList &classes, const WriteFields &writeFields)
    {
        const quint64 uid = append(0);
        writeClassed(uid, classes, writeFields);
        return uid;
    }

    template <typename WriteFields>
    void writeClassed(quint64 uid, const QStringList &classes, const WriteFields &writeFields)
    {
        writeClassed(uid, [&] { return classUid(classes); }, writeFields);
    }

    template <typename ClassUid, typename WriteFields>
    void writeClassed(quint64 uid, const ClassUid &classUidOf, const WriteFields &writeFields)
    {
        Frame frame;
        frames.push_back(&frame);
        struct Pop {
            std::vector<Frame *> &frames;
            ~Pop() { frames.pop_back(); }
        } pop{frames};
        writeFields();
        frame.fields.append({QStringLiteral("$class"), uidRef(classUidOf())});
        objects[uid] = dictionary(frame.fields);
    }

    Ref references(const QVariantList &values)
    {
        std::vector<Ref> refs;
        refs.reserve(size_t(values.size()));
        for (const QVariant &value : values)
            refs.push_back(uidRef(encodeValue(value)));
        return writer.addArray(refs);
    }

    quint64 encodeReferences(const QStringList &classes, const QVariantList &values)
    {
        return encodeClassed(classes, [&] { setField(QStringLiteral("NS.objects"), references(values)); });
    }

    quint64 encodeLazyList(const LazyList &list)
    {
        return encodeClassed(ArrayClasses, [&] {
            std::vector<Ref> refs;
            refs.reserve(size_t(std::max<qsizetype>(list.size, 0)));
            for (qsizetype i = 0; i < list.size; ++i)
                refs.push_back(uidRef(encodeValue(list.element(i))));
            setField(QStringLiteral("NS.objects"), writer.addArray(refs));
        });
    }

    // The members the archive holds already (a table's row identifiers,
    // written with the rows) come in the order of their objects, the others
    // after them in QString's order. Equal archives so give equal bytes
    // without sorting a million identifiers at every save.
    quint64 encodeStringSet(const StringSet &set)
    {
        return encodeClassed(SetClasses, [&] {
            if (!set.isEmpty())
                nested([] { return quint64(0); }); // the members' level is within bounds
            std::vector<const QString *> members;
            members.reserve(size_t(set.size()));
            for (const QString &member : set)
                members.push_back(&member);
            // Most members are found by address; the rest are looked up by
            // their text, and those not in the archive yet are new.
            constexpr size_t Ahead = 8;
            for (size_t i = 0; i < std::min(Ahead, members.size()); ++i)
                sharedStrings.prefetch(*members[i]);
            std::vector<quint32> known;
            known.reserve(members.size());
            std::vector<const QString *> unknown;
            for (size_t i = 0; i < members.size(); ++i) {
                if (i + Ahead < members.size())
                    sharedStrings.prefetch(*members[i + Ahead]);
                if (const quint32 uid = sharedStrings.find(*members[i]))
                    known.push_back(uid);
                else
                    unknown.push_back(members[i]);
            }
            StringSet fresh;
            for (const QString *member : unknown) {
                if (const quint32 uid = knownStringUid(*member))
                    known.push_back(uid);
                else
                    fresh.insert(*member);
            }
            std::sort(known.begin(), known.end());
            std::vector<Ref> refs;
            refs.reserve(members.size());
            for (const quint32 uid : known)
                refs.push_back(uidRef(uid));
            for (const QString &member : sortedMembers(fresh))
                refs.push_back(uidRef(nested([&] { return encodeString(member); })));
            setField(QStringLiteral("NS.objects"), writer.addArray(refs));
        });
    }

    // The UID of a string already in the archive; 0 for one that is not.
    quint32 knownStringUid(const QString &text)
    {
        if (const quint32 *known = stringUidMemo.find(text))
            return *known;
        const std::optional<Ref> ref = writer.findString(text);
        return ref && *ref < stringUids.size() ? stringUids[*ref] : 0;
    }

    // The writer's key of a string not remembered here, its lookup started.
    std::optional<quint32> prefetchString(const QString &text)
    {
        if (stringUidMemo.find(text))
            return std::nullopt;
        return writer.prefetchString(text);
    }

    quint64 encodeString(const QString &text, std::optional<quint32> key = std::nullopt)
    {
        if (const quint32 *known = stringUidMemo.find(text))
            return *known;
        const Ref ref = key ? writer.addString(text, *key) : writer.addString(text);
        if (ref >= stringUids.size())
            stringUids.resize(std::max<size_t>(ref + 1, stringUids.size() * 2), 0u);
        if (stringUids[ref] == 0) {
            // Most strings of a table are met once; only one met again
            // (a column identifier, a repeated value) is worth holding.
            stringUids[ref] = quint32(append(ref));
            return stringUids[ref];
        }
        stringUidMemo.remember(text, stringUids[ref]);
        return stringUids[ref];
    }

    quint64 encodeDate(const QDateTime &date)
    {
        const qint64 msecs = date.toMSecsSinceEpoch() - ReferenceDateMsecs;
        if (msecs > MaxDateMsecs || msecs < -MaxDateMsecs)
            throw AppException(ExceptionNames::InvalidArgument,
                               QStringLiteral("The date %1 is too far out to be archived.")
                                   .arg(date.toString(Qt::ISODate)));
        return encodeClassed(DateClasses, [&] {
            setField(QStringLiteral("NS.time"), writer.addReal(double(msecs) / 1000.0));
        });
    }

    quint64 encodeMap(const QVariantMap &map)
    {
        return encodeDictionary(map.constKeyValueBegin(), map.constKeyValueEnd(), map.size());
    }

    // Pairs of a string key and a value, in the order of their keys.
    template <typename Iterator>
    quint64 encodeDictionary(Iterator begin, Iterator end, qsizetype size)
    {
        return encodeClassed(DictionaryClasses,
                             [&] {
                                 // Rows of a table are small maps: no allocation for them.
                                 QVarLengthArray<Ref, 16> keys, values;
                                 keys.reserve(size);
                                 values.reserve(size);
                                 // A row's values are mostly new strings, each a lookup far
                                 // into memory: start them all before waiting on the first.
                                 constexpr int Ahead = 16;
                                 QVarLengthArray<std::optional<quint32>, Ahead> stringKeys;
                                 for (auto it = begin; it != end && stringKeys.size() < Ahead; ++it)
                                     stringKeys.append(it->second.typeId() == QMetaType::QString
                                                           ? prefetchString(stringOf(it->second))
                                                           : std::nullopt);
                                 qsizetype i = 0;
                                 for (auto it = begin; it != end; ++it, ++i) {
                                     const auto &[key, value] = *it;
                                     keys.push_back(uidRef(encodeString(key)));
                                     if (i < stringKeys.size() && stringKeys[i]) {
                                         const QString &text = stringOf(value);
                                         values.push_back(uidRef(nested([&] { return encodeString(text, stringKeys[i]); })));
                                     } else {
                                         values.push_back(uidRef(encodeValue(value)));
                                     }
                                 }
                                 setField(QStringLiteral("NS.keys"), writer.addArray(keys));
                                 setField(QStringLiteral("NS.objects"), writer.addArray(values));
                             });
    }

    // The reader refuses deeper nesting; better to say so now than to write
    // an archive nobody can open.
    template <typename Write>
    quint64 nested(const Write &write)
    {
        if (depth >= KeyedUnarchiver::MaxDepth)
            throw AppException(ExceptionNames::InvalidArgument,
                               QStringLiteral("Values nested deeper than %1 levels cannot be archived.")
                                   .arg(KeyedUnarchiver::MaxDepth));
        ++depth;
        struct Leave {
            int &depth;
            ~Leave() { --depth; }
        } leave{depth};
        return write();
    }

    // The class is nearly always known by name already; its hierarchy is
    // asked for only the first time.
    quint64 classUidOf(const Codable &object)
    {
        if (const quint64 known = knownClassUid(object.archiveClassName()))
            return known;
        QStringList classes = object.archiveClassHierarchy();
        if (classes.isEmpty())
            classes = {object.archiveClassName()};
        return classUid(classes);
    }

    quint64 encodeCodable(const CodableRef &object)
    {
        if (!object)
            return 0;
        if (object->archivedOnce()) {
            const quint64 uid = append(0);
            writeClassed(uid, [&] { return classUidOf(*object); }, [&] { object->encodeWithCoder(*q); });
            return uid;
        }
        if (auto found = codableUids.constFind(object.get()); found != codableUids.constEnd()) {
            if (*found < codablesInProgress.size() && codablesInProgress[*found])
                throw AppException(ExceptionNames::InvalidArgument,
                                   QStringLiteral("An object of class %1 contains itself; such an archive could not be read.")
                                       .arg(object->archiveClassName()));
            return *found;
        }
        keepAlive.push_back(object);
        const quint64 uid = append(0);
        codableUids.insert(object.get(), uid);
        if (uid >= codablesInProgress.size())
            codablesInProgress.resize(std::max<size_t>(uid + 1, codablesInProgress.size() * 2));
        codablesInProgress[uid] = true;
        writeClassed(uid, [&] { return classUidOf(*object); }, [&] { object->encodeWithCoder(*q); });
        codablesInProgress[uid] = false;
        return uid;
    }

    quint64 encodeOther(const QVariant &value)
    {
        const ArchiveRegistry::ValueCoder *coder = ArchiveRegistry::valueCoderForMetaType(value.typeId());
        if (!coder || coder->keyedClasses.isEmpty() || !coder->encodeKeyed)
            throw AppException(ExceptionNames::InvalidArgument,
                               QStringLiteral("A value of type %1 cannot be archived.").arg(typeDescription(value)));
        return encodeClassed(coder->keyedClasses, [&] { coder->encodeKeyed(*q, value); });
    }

    quint64 encodeValue(const QVariant &value)
    {
        if (!value.isValid() || value.typeId() == QMetaType::Nullptr)
            return 0;
        return nested([&] { return encodeNested(value); });
    }

    quint64 encodeNested(const QVariant &value)
    {
        switch (value.typeId()) {
        case QMetaType::QString:
            // The string held, not a copy of it: tables are mostly strings.
            return encodeString(stringOf(value));
        case QMetaType::Bool:
            return append(writer.addBool(value.toBool()));
        case QMetaType::Int:
        case QMetaType::Short:
        case QMetaType::Long:
        case QMetaType::LongLong:
        case QMetaType::Char:
        case QMetaType::SChar:
            return append(writer.addInteger(value.toLongLong()));
        case QMetaType::UInt:
        case QMetaType::UShort:
        case QMetaType::ULong:
        case QMetaType::ULongLong:
        case QMetaType::UChar:
            // Integers are read back as qint64; a larger one would come back negative.
            if (value.toULongLong() > quint64(std::numeric_limits<qint64>::max()))
                throw AppException(ExceptionNames::InvalidArgument,
                                   QStringLiteral("The integer %1 is too large to be archived.").arg(value.toULongLong()));
            return append(writer.addInteger(qint64(value.toULongLong())));
        case QMetaType::Double:
        case QMetaType::Float:
            return append(writer.addReal(value.toDouble()));
        case QMetaType::QDateTime: {
            const QDateTime date = value.toDateTime();
            return date.isValid() ? encodeDate(date) : 0;
        }
        case QMetaType::QByteArray: {
            const QByteArray bytes = value.toByteArray();
            return encodeClassed(DataClasses,
                                 [&] { q->encodeBytes(bytes, QStringLiteral("NS.data")); });
        }
        case QMetaType::QVariantList:
        case QMetaType::QStringList:
            return encodeReferences(ArrayClasses, value.toList());
        case QMetaType::QVariantMap:
            return encodeMap(value.toMap());
        default:
            break;
        }
        if (value.typeId() == qMetaTypeId<StringSet>())
            return encodeStringSet(*static_cast<const StringSet *>(value.constData()));
        if (value.typeId() == qMetaTypeId<CodableRef>())
            return encodeCodable(value.value<CodableRef>());
        if (value.typeId() == qMetaTypeId<LazyList>())
            return encodeLazyList(value.value<LazyList>());
        return encodeOther(value);
    }
};

KeyedArchiver::KeyedArchiver() : d(new Private(this))
{
}

KeyedArchiver::~KeyedArchiver()
{
    delete d;
}

// Everything but the output: the root dictionary of the archive.
Ref KeyedArchiver::Private::build(const QVariant &root)
{
    append(writer.addString(u"$null"));
    const quint64 rootUid = encodeValue(root);

    Fields top{{QStringLiteral("root"), uidRef(rootUid)}};
    const Ref objectsArray = writer.addArray(objects);
    objects.release();
    Fields archive{
        {QStringLiteral("$archiver"), writer.addString(u"NSKeyedArchiver")},
        {QStringLiteral("$objects"), objectsArray},
        {QStringLiteral("$top"), dictionary(top)},
        {QStringLiteral("$version"), writer.addInteger(100000)},
    };
    const Ref archiveRef = dictionary(archive);
    // Only the writer's objects are needed from here on.
    stringUids.release();
    uidRefs.release();
    sharedStrings = AddressMemo();
    return archiveRef;
}

QByteArray KeyedArchiver::archivedDataWithRootObject(const QVariant &root)
{
    registerPlatformCoders();
    KeyedArchiver coder;
    return coder.d->writer.finish(coder.d->build(root));
}

bool KeyedArchiver::archiveRootObject(const QVariant &root, const std::function<bool(quint64 total)> &begin,
                                      const std::function<bool(QByteArrayView piece)> &write)
{
    registerPlatformCoders();
    KeyedArchiver coder;
    return coder.d->writer.finish(coder.d->build(root), begin, write);
}

bool KeyedArchiver::archiveRootObjectToFile(const QVariant &root, const QString &path)
{
    return FileIO::writeFileAtomically(path, archivedDataWithRootObject(root));
}

void KeyedArchiver::encodeObject(const QVariant &value, const QString &key)
{
    d->frame(); // a field outside an object fails before anything is written
    const quint64 uid = d->encodeValue(value);
    d->setField(key, d->uidRef(uid));
}

void KeyedArchiver::encodeDictionary(const QList<std::pair<QString, QVariant>> &entries, const QString &key)
{
    d->frame();
    const quint64 uid = d->nested([&] { return d->encodeDictionary(entries.cbegin(), entries.cend(), entries.size()); });
    d->setField(key, d->uidRef(uid));
}

void KeyedArchiver::encodeSharedString(const QString &value, const QString &key)
{
    d->frame();
    const quint64 uid = d->nested([&] { return d->encodeString(value); });
    d->sharedStrings.remember(value, quint32(uid));
    d->setField(key, d->uidRef(uid));
}

void KeyedArchiver::encodeObject(const QVariant &value)
{
    encodeObject(value, QStringLiteral("$%1").arg(d->frame().nextUnkeyed++));
}

void KeyedArchiver::encodeBool(bool value, const QString &key)
{
    d->setField(key, d->writer.addBool(value));
}

void KeyedArchiver::encodeInt32(qint32 value, const QString &key)
{
    encodeInt64(value, key);
}

void KeyedArchiver::encodeInt64(qint64 value, const QString &key)
{
    d->setField(key, d->writer.addInteger(value));
}

void KeyedArchiver::encodeFloat(float value, const QString &key)
{
    encodeDouble(double(value), key);
}

void KeyedArchiver::encodeDouble(double value, const QString &key)
{
    d->setField(key, d->writer.addReal(value));
}

void KeyedArchiver::encodeBytes(const QByteArray &bytes, const QString &key)
{
    d->setField(key, d->writer.addData(bytes));
}
