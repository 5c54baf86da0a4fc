#include "KeyedUnarchiver.h"

#include "AppException.h"
#include "BinaryPlistReader.h"
#include "BinaryPlistWriter.h"
#include "FileIO.h"
#include "KeyedArchiver.h"
#include "PlistInputCheck.h"

#include <QDateTime>
#include <QHash>

#include <plist/plist.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <limits>
#include <memory>
#include <vector>

namespace {

using Reader = BinaryPlistReader;
using Object = BinaryPlistReader::Object;
using Kind = BinaryPlistReader::Kind;

struct PlistFree {
    void operator()(void *node) const { plist_free(node); }
};

// Class names come from the input; keep them readable and short in reasons.
QString printable(const QString &text)
{
    QString result;
    for (QChar c : text) {
        if (result.size() >= 80) {
            result += QChar(0x2026);
            break;
        }
        if (c.isPrint())
            result += c;
    }
    return result;
}

qint64 saturatedInt64(double value)
{
    if (std::isnan(value))
        return 0;
    if (value >= 0x1p63)
        return std::numeric_limits<qint64>::max();
    if (value < -0x1p63)
        return std::numeric_limits<qint64>::min();
    return qint64(value);
}

// XML archives are rare (hand-made or from other tools): libplist parses
// them, and the tree is written out in the binary form so that one reader
// serves both. Its arrays and dictionaries are walked with iterators, which
// are linear where indexed access is not.
BinaryPlistWriter::Ref binaryFromTree(BinaryPlistWriter &writer, plist_t node)
{
    switch (plist_get_node_type(node)) {
    case PLIST_BOOLEAN: {
        uint8_t value = 0;
        plist_get_bool_val(node, &value);
        return writer.addBool(value != 0);
    }
    case PLIST_UINT: {
        uint64_t value = 0;
        plist_get_uint_val(node, &value);
        return writer.addInteger(qint64(value));
    }
    case PLIST_REAL: {
        double value = 0;
        plist_get_real_val(node, &value);
        return writer.addReal(value);
    }
    case PLIST_DATE: {
        int32_t seconds = 0, microseconds = 0;
        plist_get_date_val(node, &seconds, &microseconds);
        return writer.addDate(double(seconds) + double(microseconds) / 1e6);
    }
    case PLIST_STRING: {
        uint64_t length = 0;
        const char *text = plist_get_string_ptr(node, &length);
        return writer.addString(text ? QString::fromUtf8(text, qsizetype(length)) : QString());
    }
    case PLIST_DATA: {
        uint64_t length = 0;
        const char *bytes = plist_get_data_ptr(node, &length);
        return writer.addData(QByteArrayView(bytes, bytes ? qsizetype(length) : 0));
    }
    case PLIST_UID: {
        uint64_t value = 0;
        plist_get_uid_val(node, &value);
        return writer.addUid(value);
    }
    case PLIST_ARRAY: {
        std::vector<BinaryPlistWriter::Ref> items;
        plist_array_iter iter = nullptr;
        plist_array_new_iter(node, &iter);
        for (plist_t item = nullptr;; items.push_back(binaryFromTree(writer, item))) {
            plist_array_next_item(node, iter, &item);
            if (!item)
                break;
        }
        free(iter);
        return writer.addArray(items);
    }
    case PLIST_DICT: {
        std::vector<BinaryPlistWriter::Ref> keys, values;
        plist_dict_iter iter = nullptr;
        plist_dict_new_iter(node, &iter);
        for (;;) {
            char *key = nullptr;
            plist_t value = nullptr;
            plist_dict_next_item(node, iter, &key, &value);
            if (!key || !value) {
                free(key);
                break;
            }
            const std::unique_ptr<char, decltype(&free)> owned(key, &free);
            // A reference in XML is the dictionary {"CF$UID": n}.
            if (std::strcmp(key, "CF$UID") == 0 && plist_dict_get_size(node) == 1 && plist_get_node_type(value) == PLIST_UINT) {
                free(iter);
                uint64_t uid = 0;
                plist_get_uint_val(value, &uid);
                return writer.addUid(uid);
            }
            keys.push_back(writer.addString(QString::fromUtf8(key)));
            values.push_back(binaryFromTree(writer, value));
        }
        free(iter);
        return writer.addDictionary(keys, values);
    }
    default:
        throw AppException(ExceptionNames::InvalidArgument, QStringLiteral("not a keyed archive: an XML value of an unknown kind"));
    }
}

} // namespace

struct KeyedUnarchiver::Private {
    struct Frame {
        Object fields;
        QString className;
        int nextUnkeyed = 0;
        // Built on first use for an object with many fields, so that a
        // decoder's lookups stay cheap whatever the object holds.
        std::shared_ptr<QHash<QString, quint64>> index;
    };
    enum class State : quint8 { NotRead, Reading, Read };
    // Decoded objects, so that one referred to many times is read once.
    // Allocated a chunk at a time as objects are read.
    static constexpr quint64 ChunkSize = 4096;
    // Dictionaries up to this size are searched in place.
    static constexpr quint64 SmallDictionary = 16;

    explicit Private(KeyedUnarchiver *owner) : q(owner) {}

    KeyedUnarchiver *q;
    QByteArray converted; // an XML archive in the binary form
    Reader reader;
    Object objects;
    quint64 objectCount = 0;
    std::vector<State> states;
    std::vector<std::unique_ptr<QVariant[]>> decoded;
    QHash<quint64, QString> classNames;
    std::vector<Frame> frames;
    // Entries of containers that may still be visited: a container written
    // once may be referred to by many objects of a crafted archive, which
    // would make the work grow with the square of its size.
    qint64 budget = 0;
    int depth = 0;
    bool failed = false;
    QString reason;

    void fail(const QString &why)
    {
        if (!failed) {
            failed = true;
            reason = why;
        }
    }

    QVariant refuse(const QString &why)
    {
        fail(why);
        return {};
    }

    bool spend(quint64 entries)
    {
        if (failed)
            return false;
        if (entries > quint64(budget)) {
            fail(QStringLiteral("the archive refers to shared or cyclic containers over and over"));
            return false;
        }
        budget -= qint64(entries);
        return true;
    }

    QVariant &slot(quint64 uid)
    {
        std::unique_ptr<QVariant[]> &chunk = decoded[uid / ChunkSize];
        if (!chunk)
            chunk = std::make_unique<QVariant[]>(ChunkSize);
        return chunk[uid % ChunkSize];
    }

    Object valueAt(const Object &dict, quint64 i) const { return reader.object(reader.reference(dict, dict.count + i)); }

    // The value of a key in a dictionary; Invalid when absent.
    Object dictionaryValue(const Object &dict, QStringView key)
    {
        if (dict.kind != Kind::Dictionary || (dict.count > SmallDictionary && !spend(dict.count)))
            return {};
        for (quint64 i = 0; i < dict.count; ++i) {
            if (Reader::stringEquals(reader.object(reader.reference(dict, i)), key))
                return valueAt(dict, i);
        }
        return {};
    }

    Object field(QStringView key)
    {
        if (frames.empty())
            return {};
        Frame &frame = frames.back();
        if (frame.fields.count <= SmallDictionary)
            return dictionaryValue(frame.fields, key);
        if (!frame.index) {
            if (!spend(frame.fields.count))
                return {};
            frame.index = std::make_shared<QHash<QString, quint64>>();
            for (quint64 i = frame.fields.count; i-- > 0;) // the first of equal keys wins
                frame.index->insert(Reader::stringValue(reader.object(reader.reference(frame.fields, i))), i);
        }
        const auto found = frame.index->constFind(key.toString());
        return found == frame.index->constEnd() ? Object() : valueAt(frame.fields, *found);
    }

    // A reference: a UID, or the dictionary {"CF$UID": integer} that stands for one.
    bool referenceValue(const Object &node, quint64 &uid)
    {
        if (node.kind == Kind::Uid) {
            uid = Reader::uidValue(node);
            return true;
        }
        if (node.kind != Kind::Dictionary || node.count != 1)
            return false;
        const Object inner = dictionaryValue(node, u"CF$UID");
        if (inner.kind != Kind::Integer)
            return false;
        uid = quint64(Reader::integerValue(inner));
        return true;
    }

    QVariant run(const QByteArray &data)
    {
        if (data.isEmpty())
            return refuse(QStringLiteral("not a keyed archive: no data"));
        if (data.size() > MaxInputBytes)
            return refuse(QStringLiteral("archive larger than %1 bytes").arg(MaxInputBytes));
        QByteArrayView bytes(data);
        if (!data.startsWith("bplist00")) {
            const QString problem = PlistInputCheck::xmlNestingProblem(data);
            if (!problem.isEmpty())
                return refuse(QStringLiteral("not a keyed archive: %1").arg(problem));
            plist_t parsed = nullptr;
            plist_from_xml(data.constData(), uint32_t(data.size()), &parsed);
            const std::unique_ptr<void, PlistFree> tree(parsed);
            if (!parsed)
                return refuse(QStringLiteral("not a keyed archive: not a property list"));
            BinaryPlistWriter writer(MaxInputBytes);
            const BinaryPlistWriter::Ref top = binaryFromTree(writer, parsed);
            converted = writer.finish(top);
            bytes = converted;
        }
        QString problem;
        if (!reader.open(bytes, &problem))
            return refuse(QStringLiteral("not a keyed archive: %1").arg(problem));
        budget = 4 * qint64(bytes.size()) + 65536;

        const Object top = reader.object(reader.topObject());
        if (top.kind != Kind::Dictionary || !Reader::stringEquals(dictionaryValue(top, u"$archiver"), u"NSKeyedArchiver"))
            return refuse(QStringLiteral("not a keyed archive: no $archiver"));
        objects = dictionaryValue(top, u"$objects");
        if (objects.kind != Kind::Array || objects.count == 0 || !Reader::stringEquals(reader.object(reader.reference(objects, 0)), u"$null"))
            return refuse(QStringLiteral("not a keyed archive: no $objects starting with $null"));
        quint64 rootUid = 0;
        const Object roots = dictionaryValue(top, u"$top");
        if (roots.kind != Kind::Dictionary || !referenceValue(dictionaryValue(roots, u"root"), rootUid))
            return refuse(QStringLiteral("not a keyed archive: no root in $top"));
        objectCount = objects.count;
        states.assign(objectCount, State::NotRead);
        decoded.resize((objectCount + ChunkSize - 1) / ChunkSize);
        return decodeReference(rootUid);
    }

    bool checkReference(quint64 uid)
    {
        if (uid < objectCount)
            return true;
        fail(QStringLiteral("reference %1 past the archive's %2 objects").arg(uid).arg(objectCount));
        return false;
    }

    Object objectAt(quint64 uid) const { return reader.object(reader.reference(objects, uid)); }

    QVariant decodeReference(quint64 uid)
    {
        if (failed || !checkReference(uid) || uid == 0)
            return {};
        if (states[uid] == State::Read)
            return slot(uid);
        if (!mayEnter(uid))
            return {};
        states[uid] = State::Reading;
        ++depth;
        QVariant value = decodeItem(uid, objectAt(uid));
        --depth;
        states[uid] = State::Read;
        if (failed)
            return {};
        slot(uid) = value;
        return value;
    }

    // An object not read yet may be read unless it is being read (a cycle)
    // or lies too deep.
    bool mayEnter(quint64 uid)
    {
        if (states[uid] == State::Reading) {
            fail(QStringLiteral("reference cycle at object %1").arg(uid));
            return false;
        }
        if (depth >= MaxDepth) {
            fail(QStringLiteral("objects nested deeper than %1 levels").arg(MaxDepth));
            return false;
        }
        return true;
    }

    QVariant decodeItem(quint64 uid, const Object &item)
    {
        switch (item.kind) {
        case Kind::String:
            return Reader::stringValue(item);
        case Kind::Bool:
            return item.boolValue;
        case Kind::Integer:
            return Reader::integerValue(item);
        case Kind::Real:
            return Reader::realValue(item);
        case Kind::Data:
            return Reader::dataValue(item);
        case Kind::Dictionary:
            return decodeClassed(uid, item);
        case Kind::Invalid:
            return refuse(QStringLiteral("object %1 is damaged").arg(uid));
        default:
            return refuse(QStringLiteral("object %1 is of a kind no keyed archive holds").arg(uid));
        }
    }

    QString classNameOf(const Object &dict)
    {
        quint64 classUid = 0;
        if (!referenceValue(dictionaryValue(dict, u"$class"), classUid) || !checkReference(classUid))
            return {};
        if (const auto found = classNames.constFind(classUid); found != classNames.constEnd())
            return *found;
        const Object name = dictionaryValue(objectAt(classUid), u"$classname");
        if (name.kind != Kind::String)
            return {};
        return *classNames.insert(classUid, Reader::stringValue(name));
    }

    QVariant decodeClassed(quint64 uid, const Object &dict)
    {
        // A copy: nested objects push frames and may move this one.
        const QString className = classNameOf(dict);
        if (className.isNull())
            return refuse(QStringLiteral("object %1 does not name its class").arg(uid));
        frames.push_back({dict, className, 0, nullptr});
        struct Pop {
            std::vector<Frame> &frames;
            ~Pop() { frames.pop_back(); }
        } pop{frames};
        return decodeOfClass(className);
    }

    QVariant decodeOfClass(const QString &className)
    {
        if (className == QLatin1String("NSArray") || className == QLatin1String("NSMutableArray"))
            return decodeReferences(u"NS.objects");
        if (className == QLatin1String("NSDictionary") || className == QLatin1String("NSMutableDictionary"))
            return decodeMap();
        if (className == QLatin1String("NSSet") || className == QLatin1String("NSMutableSet"))
            return decodeSet();
        if (className == QLatin1String("NSDate"))
            return decodeDate();
        if (className == QLatin1String("NSData") || className == QLatin1String("NSMutableData"))
            return q->decodeBytes(QStringLiteral("NS.data"));
        if (className == QLatin1String("NSString") || className == QLatin1String("NSMutableString"))
            return Reader::stringValue(field(u"NS.string"));
        if (const ArchiveRegistry::KeyedDecoder decoder = ArchiveRegistry::keyedDecoder(className)) {
            CodableRef object = decoder(*q);
            if (!object)
                fail(QStringLiteral("the data of an object of class %1 is unusable").arg(printable(className)));
            return failed ? QVariant() : codableVariant(std::move(object));
        }
        if (const ArchiveRegistry::ValueCoder *coder = ArchiveRegistry::valueCoderForKeyedClass(className);
            coder && coder->decodeKeyed) {
            QVariant value = coder->decodeKeyed(*q);
            if (!value.isValid())
                fail(QStringLiteral("the data of a value of class %1 is unusable").arg(printable(className)));
            return failed ? QVariant() : value;
        }
        return refuse(QStringLiteral("unknown class \"%1\"").arg(printable(className)));
    }

    bool referencesIn(QStringView key, std::vector<quint64> &uids)
    {
        const Object array = field(key);
        if (array.kind != Kind::Array) {
            fail(QStringLiteral("%1 of object of class %2 is not an array").arg(key, frames.back().className));
            return false;
        }
        if (!spend(array.count))
            return false;
        uids.resize(array.count);
        for (quint64 i = 0; i < array.count; ++i) {
            if (!referenceValue(reader.object(reader.reference(array, i)), uids[i])) {
                fail(QStringLiteral("%1 holds something other than references").arg(key));
                return false;
            }
        }
        return true;
    }

    QVariant decodeReferences(QStringView key)
    {
        std::vector<quint64> uids;
        if (!referencesIn(key, uids))
            return {};
        QVariantList list;
        list.reserve(qsizetype(uids.size()));
        for (quint64 uid : uids)
            list.append(decodeReference(uid));
        return failed ? QVariant() : QVariant(list);
    }

    QVariant decodeMap()
    {
        std::vector<quint64> keys, values;
        if (!referencesIn(u"NS.keys", keys) || !referencesIn(u"NS.objects", values))
            return {};
        if (keys.size() != values.size())
            return refuse(QStringLiteral("NS.keys and NS.objects of a dictionary differ in length"));
        QVariantMap map;
        for (size_t i = 0; i < keys.size() && !failed; ++i) {
            const QVariant key = decodeReference(keys[i]);
            if (!failed && key.typeId() != QMetaType::QString)
                fail(QStringLiteral("a dictionary key is not a string"));
            const QVariant value = decodeReference(values[i]);
            if (!failed)
                map.insert(key.toString(), value);
        }
        return failed ? QVariant() : QVariant(map);
    }

    // The dictionary object `uid` as pairs in key order, the last of equal
    // keys winning as in a QVariantMap; not kept, so a table's rows are not
    // held once as maps and again as rows. False when the object is not a
    // dictionary.
    bool dictionaryEntries(quint64 uid, QList<std::pair<QString, QVariant>> *out)
    {
        if (failed || !checkReference(uid))
            return false;
        if (states[uid] == State::Read) {
            const QVariant &value = slot(uid);
            if (value.typeId() != QMetaType::QVariantMap)
                return false;
            const QVariantMap map = value.toMap();
            for (auto it = map.constBegin(); it != map.constEnd(); ++it)
                out->append({it.key(), it.value()});
            return true;
        }
        if (!mayEnter(uid))
            return false;
        const Object dict = objectAt(uid);
        if (dict.kind != Kind::Dictionary)
            return false;
        const QString className = classNameOf(dict);
        if (className != QLatin1String("NSDictionary") && className != QLatin1String("NSMutableDictionary"))
            return false;
        states[uid] = State::Reading;
        ++depth;
        frames.push_back({dict, className, 0, nullptr});
        struct Leave {
            Private &d;
            quint64 uid;
            ~Leave()
            {
                d.frames.pop_back();
                --d.depth;
                // Not kept: another reference reads it again, paid from the budget.
                d.states[uid] = State::NotRead;
            }
        } leave{*this, uid};
        std::vector<quint64> keys, values;
        if (!referencesIn(u"NS.keys", keys) || !referencesIn(u"NS.objects", values))
            return false;
        if (keys.size() != values.size()) {
            fail(QStringLiteral("NS.keys and NS.objects of a dictionary differ in length"));
            return false;
        }
        out->reserve(qsizetype(keys.size()));
        for (size_t i = 0; i < keys.size() && !failed; ++i) {
            const QVariant key = decodeReference(keys[i]);
            if (!failed && key.typeId() != QMetaType::QString)
                fail(QStringLiteral("a dictionary key is not a string"));
            QVariant value = decodeReference(values[i]);
            if (!failed)
                out->append({key.toString(), std::move(value)});
        }
        if (failed)
            return false;
        const auto byKey = [](const auto &a, const auto &b) { return a.first < b.first; };
        if (!std::is_sorted(out->cbegin(), out->cend(), byKey)) {
            std::stable_sort(out->begin(), out->end(), byKey);
        }
        // Equal keys: the last one stays.
        qsizetype kept = 0;
        for (qsizetype i = 0; i < out->size(); ++i) {
            if (i + 1 < out->size() && (*out)[i].first == (*out)[i + 1].first)
                continue;
            if (kept != i)
                (*out)[kept] = std::move((*out)[i]);
            ++kept;
        }
        out->resize(kept);
        return true;
    }

    QVariant decodeSet()
    {
        const QVariantList members = decodeReferences(u"NS.objects").toList();
        StringSet set;
        set.reserve(members.size()); // a table's identifiers: a million of them
        for (const QVariant &member : members) {
            if (member.typeId() != QMetaType::QString) {
                fail(QStringLiteral("a set holds something other than strings"));
                break;
            }
            set.insert(member.toString());
        }
        return failed ? QVariant() : QVariant::fromValue(set);
    }

    QVariant decodeDate()
    {
        const Object time = field(u"NS.time");
        if (time.kind != Kind::Real && time.kind != Kind::Integer)
            return refuse(QStringLiteral("a date without NS.time"));
        const double seconds = time.kind == Kind::Real ? Reader::realValue(time) : double(Reader::integerValue(time));
        if (!(std::fabs(seconds) <= double(KeyedArchiver::MaxDateMsecs) / 1000.0))
            return refuse(QStringLiteral("a date out of range"));
        const qint64 msecs = std::llround(seconds * 1000.0) + KeyedArchiver::ReferenceDateMsecs;
        return QDateTime::fromMSecsSinceEpoch(msecs, Qt::UTC);
    }
};

KeyedUnarchiver::KeyedUnarchiver() : d(new Private(this))
{
}

KeyedUnarchiver::~KeyedUnarchiver()
{
    delete d;
}

QVariant KeyedUnarchiver::unarchiveObjectWithData(const QByteArray &data, QString *error)
{
    registerPlatformCoders();
    KeyedUnarchiver coder;
    QVariant result;
    try {
        result = coder.d->run(data);
    } catch (const AppException &e) {
        coder.failWithReason(e.reason());
    } catch (const std::exception &e) {
        coder.failWithReason(QString::fromLocal8Bit(e.what()));
    } catch (...) {
        coder.failWithReason(QStringLiteral("a decoder failed"));
    }
    if (coder.hasFailed()) {
        if (error)
            *error = coder.d->reason;
        return {};
    }
    if (error)
        error->clear();
    return result;
}

QVariant KeyedUnarchiver::unarchiveObjectWithFile(const QString &path, QString *error)
{
    const std::optional<QByteArray> data = FileIO::readFileLimited(path, MaxInputBytes, error);
    return data ? unarchiveObjectWithData(*data, error) : QVariant();
}

bool KeyedUnarchiver::containsValueForKey(const QString &key) const
{
    return d->field(key).kind != Kind::Invalid;
}

QVariant KeyedUnarchiver::decodeObject(const QString &key)
{
    quint64 uid = 0;
    if (d->failed || !d->referenceValue(d->field(key), uid))
        return {};
    return d->decodeReference(uid);
}

QVariant KeyedUnarchiver::decodeObject()
{
    if (d->frames.empty())
        return {};
    return decodeObject(QStringLiteral("$%1").arg(d->frames.back().nextUnkeyed++));
}

QString KeyedUnarchiver::decodeString(const QString &key)
{
    const QVariant value = decodeObject(key);
    return value.typeId() == QMetaType::QString ? value.toString() : QString();
}

QVariantList KeyedUnarchiver::decodeList(const QString &key)
{
    const QVariant value = decodeObject(key);
    return value.typeId() == QMetaType::QVariantList ? value.toList() : QVariantList();
}

bool KeyedUnarchiver::decodeDictionaryEntries(const QString &key, QList<std::pair<QString, QVariant>> *entries)
{
    entries->clear();
    quint64 uid = 0;
    if (d->failed)
        return false;
    // Absent, nil or not a reference reads as no entries, as decodeObject
    // reads them as nothing.
    if (!d->referenceValue(d->field(key), uid) || uid == 0)
        return true;
    return d->dictionaryEntries(uid, entries);
}

QVariantMap KeyedUnarchiver::decodeMap(const QString &key)
{
    const QVariant value = decodeObject(key);
    return value.typeId() == QMetaType::QVariantMap ? value.toMap() : QVariantMap();
}

bool KeyedUnarchiver::decodeBool(const QString &key)
{
    const Object node = d->field(key);
    if (node.kind == Kind::Bool)
        return node.boolValue;
    return decodeDouble(key) != 0.0;
}

qint32 KeyedUnarchiver::decodeInt32(const QString &key)
{
    return qint32(std::clamp<qint64>(decodeInt64(key), std::numeric_limits<qint32>::min(),
                                     std::numeric_limits<qint32>::max()));
}

qint64 KeyedUnarchiver::decodeInt64(const QString &key)
{
    const Object node = d->field(key);
    if (node.kind == Kind::Integer)
        return Reader::integerValue(node);
    return saturatedInt64(decodeDouble(key));
}

float KeyedUnarchiver::decodeFloat(const QString &key)
{
    return float(decodeDouble(key));
}

double KeyedUnarchiver::decodeDouble(const QString &key)
{
    const Object node = d->field(key);
    switch (node.kind) {
    case Kind::Real:
        return Reader::realValue(node);
    case Kind::Integer:
        return double(Reader::integerValue(node));
    case Kind::Bool:
        return node.boolValue ? 1.0 : 0.0;
    default:
        return 0.0;
    }
}

QByteArray KeyedUnarchiver::decodeBytes(const QString &key)
{
    const Object node = d->field(key);
    return node.kind == Kind::Data ? Reader::dataValue(node) : QByteArray();
}

QString KeyedUnarchiver::currentClassName() const
{
    return d->frames.empty() ? QString() : d->frames.back().className;
}

void KeyedUnarchiver::failWithReason(const QString &reason)
{
    d->fail(reason);
}

bool KeyedUnarchiver::hasFailed() const
{
    return d->failed;
}
