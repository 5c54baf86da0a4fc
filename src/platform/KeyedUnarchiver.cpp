#include "KeyedUnarchiver.h"

#include "AppException.h"
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

struct PlistFree {
    void operator()(void *node) const { plist_free(node); }
};

QString stringValue(plist_t node)
{
    uint64_t length = 0;
    const char *text = plist_get_string_ptr(node, &length);
    if (!text || length > quint64(std::numeric_limits<qsizetype>::max()))
        return QStringLiteral("");
    const QString result = QString::fromUtf8(text, qsizetype(length));
    return result.isNull() ? QStringLiteral("") : result;
}

QByteArray dataValue(plist_t node)
{
    uint64_t length = 0;
    const char *bytes = plist_get_data_ptr(node, &length);
    if (!bytes || length > quint64(std::numeric_limits<qsizetype>::max()))
        return {};
    return QByteArray(bytes, qsizetype(length));
}

bool isString(plist_t node, const char *expected)
{
    return node && plist_get_node_type(node) == PLIST_STRING && std::strcmp(plist_get_string_ptr(node, nullptr), expected) == 0;
}

// A reference: a UID, or in XML the dictionary {"CF$UID": integer} that stands for one.
bool referenceValue(plist_t node, quint64 &uid)
{
    if (!node)
        return false;
    uint64_t value = 0;
    switch (plist_get_node_type(node)) {
    case PLIST_UID:
        plist_get_uid_val(node, &value);
        break;
    case PLIST_DICT: {
        plist_t inner = plist_dict_get_item(node, "CF$UID");
        if (plist_dict_get_size(node) != 1 || !inner || plist_get_node_type(inner) != PLIST_UINT)
            return false;
        plist_get_uint_val(inner, &value);
        break;
    }
    default:
        return false;
    }
    uid = value;
    return true;
}

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

} // namespace

struct KeyedUnarchiver::Private {
    struct Frame {
        plist_t fields;
        QString className;
        int nextUnkeyed = 0;
    };
    enum class State : quint8 { NotRead, Reading, Read };

    explicit Private(KeyedUnarchiver *owner) : q(owner) {}

    KeyedUnarchiver *q;
    std::unique_ptr<void, PlistFree> plist;
    plist_t objects = nullptr;
    quint64 objectCount = 0;
    std::vector<State> states;
    QHash<quint64, QVariant> decoded;
    std::vector<Frame> frames;
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

    plist_t field(const QString &key) const
    {
        return frames.empty() ? nullptr : plist_dict_get_item(frames.back().fields, key.toUtf8().constData());
    }

    QVariant run(const QByteArray &data)
    {
        if (data.isEmpty())
            return refuse(QStringLiteral("not a keyed archive: no data"));
        if (data.size() > MaxInputBytes)
            return refuse(QStringLiteral("archive larger than %1 bytes").arg(MaxInputBytes));
        const bool binary = data.startsWith("bplist00");
        const QString problem = binary ? PlistInputCheck::binaryPlistProblem(data) : PlistInputCheck::xmlNestingProblem(data);
        if (!problem.isEmpty())
            return refuse(QStringLiteral("not a keyed archive: %1").arg(problem));
        plist_t parsed = nullptr;
        if (binary)
            plist_from_bin(data.constData(), uint32_t(data.size()), &parsed);
        else
            plist_from_xml(data.constData(), uint32_t(data.size()), &parsed);
        plist.reset(parsed);
        if (!parsed)
            return refuse(QStringLiteral("not a keyed archive: not a property list"));

        quint64 rootUid = 0;
        if (plist_get_node_type(parsed) != PLIST_DICT
            || !isString(plist_dict_get_item(parsed, "$archiver"), "NSKeyedArchiver"))
            return refuse(QStringLiteral("not a keyed archive: no $archiver"));
        objects = plist_dict_get_item(parsed, "$objects");
        if (!objects || plist_get_node_type(objects) != PLIST_ARRAY || plist_array_get_size(objects) == 0
            || !isString(plist_array_get_item(objects, 0), "$null"))
            return refuse(QStringLiteral("not a keyed archive: no $objects starting with $null"));
        plist_t top = plist_dict_get_item(parsed, "$top");
        if (!top || plist_get_node_type(top) != PLIST_DICT || !referenceValue(plist_dict_get_item(top, "root"), rootUid))
            return refuse(QStringLiteral("not a keyed archive: no root in $top"));
        objectCount = plist_array_get_size(objects);
        if (objectCount > quint64(MaxObjects))
            return refuse(QStringLiteral("archive of more than %1 objects").arg(MaxObjects));
        states.assign(objectCount, State::NotRead);
        return decodeReference(rootUid);
    }

    bool checkReference(quint64 uid)
    {
        if (uid < objectCount)
            return true;
        fail(QStringLiteral("reference %1 past the archive's %2 objects").arg(uid).arg(objectCount));
        return false;
    }

    QVariant decodeReference(quint64 uid)
    {
        if (failed || !checkReference(uid) || uid == 0)
            return {};
        switch (states[uid]) {
        case State::Read:
            return decoded.value(uid);
        case State::Reading:
            return refuse(QStringLiteral("reference cycle at object %1").arg(uid));
        case State::NotRead:
            break;
        }
        if (depth >= MaxDepth)
            return refuse(QStringLiteral("objects nested deeper than %1 levels").arg(MaxDepth));
        states[uid] = State::Reading;
        ++depth;
        const QVariant value = decodeItem(uid, plist_array_get_item(objects, uint32_t(uid)));
        --depth;
        states[uid] = State::Read;
        if (failed)
            return {};
        decoded.insert(uid, value);
        return value;
    }

    QVariant decodeItem(quint64 uid, plist_t item)
    {
        switch (plist_get_node_type(item)) {
        case PLIST_STRING:
            return stringValue(item);
        case PLIST_BOOLEAN: {
            uint8_t value = 0;
            plist_get_bool_val(item, &value);
            return bool(value);
        }
        case PLIST_UINT: {
            uint64_t value = 0;
            plist_get_uint_val(item, &value);
            return qint64(value);
        }
        case PLIST_REAL: {
            double value = 0;
            plist_get_real_val(item, &value);
            return value;
        }
        case PLIST_DATA:
            return dataValue(item);
        case PLIST_DICT:
            return decodeClassed(uid, item);
        default:
            return refuse(QStringLiteral("object %1 is of a kind no keyed archive holds").arg(uid));
        }
    }

    QVariant decodeClassed(quint64 uid, plist_t dict)
    {
        quint64 classUid = 0;
        plist_t description = nullptr;
        if (referenceValue(plist_dict_get_item(dict, "$class"), classUid) && checkReference(classUid))
            description = plist_array_get_item(objects, uint32_t(classUid));
        plist_t name = description && plist_get_node_type(description) == PLIST_DICT
            ? plist_dict_get_item(description, "$classname")
            : nullptr;
        if (!name || plist_get_node_type(name) != PLIST_STRING)
            return refuse(QStringLiteral("object %1 does not name its class").arg(uid));
        // A copy: nested objects push frames and may move this one.
        const QString className = stringValue(name);
        frames.push_back({dict, className});
        struct Pop {
            std::vector<Frame> &frames;
            ~Pop() { frames.pop_back(); }
        } pop{frames};
        return decodeOfClass(className);
    }

    QVariant decodeOfClass(const QString &className)
    {
        if (className == QLatin1String("NSArray") || className == QLatin1String("NSMutableArray"))
            return decodeReferences("NS.objects");
        if (className == QLatin1String("NSDictionary") || className == QLatin1String("NSMutableDictionary"))
            return decodeMap();
        if (className == QLatin1String("NSSet") || className == QLatin1String("NSMutableSet"))
            return decodeSet();
        if (className == QLatin1String("NSDate"))
            return decodeDate();
        if (className == QLatin1String("NSData") || className == QLatin1String("NSMutableData"))
            return q->decodeBytes(QStringLiteral("NS.data"));
        if (className == QLatin1String("NSString") || className == QLatin1String("NSMutableString")) {
            plist_t text = field(QStringLiteral("NS.string"));
            return text && plist_get_node_type(text) == PLIST_STRING ? stringValue(text) : QStringLiteral("");
        }
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

    bool referencesIn(const char *key, std::vector<quint64> &uids)
    {
        plist_t array = field(QString::fromLatin1(key));
        if (!array || plist_get_node_type(array) != PLIST_ARRAY) {
            fail(QStringLiteral("%1 of object of class %2 is not an array").arg(QLatin1String(key), frames.back().className));
            return false;
        }
        const uint32_t size = plist_array_get_size(array);
        uids.resize(size);
        for (uint32_t i = 0; i < size; ++i) {
            if (!referenceValue(plist_array_get_item(array, i), uids[i])) {
                fail(QStringLiteral("%1 holds something other than references").arg(QLatin1String(key)));
                return false;
            }
        }
        return true;
    }

    QVariant decodeReferences(const char *key)
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
        if (!referencesIn("NS.keys", keys) || !referencesIn("NS.objects", values))
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

    QVariant decodeSet()
    {
        const QVariantList members = decodeReferences("NS.objects").toList();
        StringSet set;
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
        plist_t time = field(QStringLiteral("NS.time"));
        const plist_type type = time ? plist_get_node_type(time) : PLIST_NONE;
        if (type != PLIST_REAL && type != PLIST_UINT)
            return refuse(QStringLiteral("a date without NS.time"));
        const double seconds = q->decodeDouble(QStringLiteral("NS.time"));
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
    return d->field(key) != nullptr;
}

QVariant KeyedUnarchiver::decodeObject(const QString &key)
{
    quint64 uid = 0;
    if (d->failed || !referenceValue(d->field(key), uid))
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

QVariantMap KeyedUnarchiver::decodeMap(const QString &key)
{
    const QVariant value = decodeObject(key);
    return value.typeId() == QMetaType::QVariantMap ? value.toMap() : QVariantMap();
}

bool KeyedUnarchiver::decodeBool(const QString &key)
{
    plist_t node = d->field(key);
    if (node && plist_get_node_type(node) == PLIST_BOOLEAN) {
        uint8_t value = 0;
        plist_get_bool_val(node, &value);
        return value != 0;
    }
    return decodeDouble(key) != 0.0;
}

qint32 KeyedUnarchiver::decodeInt32(const QString &key)
{
    return qint32(std::clamp<qint64>(decodeInt64(key), std::numeric_limits<qint32>::min(),
                                     std::numeric_limits<qint32>::max()));
}

qint64 KeyedUnarchiver::decodeInt64(const QString &key)
{
    plist_t node = d->field(key);
    if (node && plist_get_node_type(node) == PLIST_UINT) {
        uint64_t value = 0;
        plist_get_uint_val(node, &value);
        return qint64(value);
    }
    return saturatedInt64(decodeDouble(key));
}

float KeyedUnarchiver::decodeFloat(const QString &key)
{
    return float(decodeDouble(key));
}

double KeyedUnarchiver::decodeDouble(const QString &key)
{
    plist_t node = d->field(key);
    switch (node ? plist_get_node_type(node) : PLIST_NONE) {
    case PLIST_REAL: {
        double value = 0;
        plist_get_real_val(node, &value);
        return value;
    }
    case PLIST_UINT: {
        uint64_t value = 0;
        plist_get_uint_val(node, &value);
        return double(qint64(value));
    }
    case PLIST_BOOLEAN: {
        uint8_t value = 0;
        plist_get_bool_val(node, &value);
        return value ? 1.0 : 0.0;
    }
    default:
        return 0.0;
    }
}

QByteArray KeyedUnarchiver::decodeBytes(const QString &key)
{
    plist_t node = d->field(key);
    return node && plist_get_node_type(node) == PLIST_DATA ? dataValue(node) : QByteArray();
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
