#include "KeyedArchiver.h"

#include "AppException.h"
#include "FileIO.h"
#include "KeyedUnarchiver.h"

#include <QDateTime>
#include <QSet>

#include <plist/plist.h>

#include <algorithm>
#include <functional>
#include <limits>
#include <map>
#include <memory>
#include <vector>

namespace {

struct PlistFree {
    void operator()(void *node) const { plist_free(node); }
};
// Nodes not yet handed to a parent; an encoder that throws half-way must not leak them.
using Node = std::unique_ptr<void, PlistFree>;

Node stringNode(const QString &text)
{
    return Node(plist_new_string(text.toUtf8().constData()));
}

Node uidNode(quint64 uid)
{
    return Node(plist_new_uid(uid));
}

QString typeDescription(const QVariant &value)
{
    return QString::fromLatin1(value.typeName() ? value.typeName() : "unknown type");
}

} // namespace

struct KeyedArchiver::Private {
    // The fields of the object being written, sorted so that equal input
    // gives equal bytes whatever order an encoder wrote its fields in.
    struct Frame {
        std::map<QByteArray, Node> fields;
        int nextUnkeyed = 0;
    };

    explicit Private(KeyedArchiver *owner) : q(owner) {}

    KeyedArchiver *q;
    std::vector<Node> objects; // index = UID; null while an object is still being written
    QHash<QString, quint64> stringUids;
    QHash<QString, quint64> classUids;
    QHash<const Codable *, quint64> codableUids;
    QSet<const Codable *> codablesInProgress;
    // Identity is by address, so every object written stays alive until the
    // end: a temporary freed half-way could otherwise lend its address to
    // an unrelated object that would then be written as a reference to it.
    std::vector<CodableRef> keepAlive;
    std::vector<Frame *> frames;
    int depth = 0;

    quint64 append(Node node)
    {
        objects.push_back(std::move(node));
        return objects.size() - 1;
    }

    Frame &frame()
    {
        if (frames.empty())
            throw AppException(ExceptionNames::InternalInconsistency,
                               QStringLiteral("A keyed archiver field was written outside an object."));
        return *frames.back();
    }

    void setField(const QString &key, Node node) { frame().fields[key.toUtf8()] = std::move(node); }

    static Node dictionary(std::map<QByteArray, Node> &fields)
    {
        Node dict(plist_new_dict());
        for (auto &[key, value] : fields)
            plist_dict_set_item(dict.get(), key.constData(), value.release());
        return dict;
    }

    quint64 classUid(const QStringList &classes)
    {
        const QString &name = classes.first();
        if (auto found = classUids.constFind(name); found != classUids.constEnd())
            return *found;
        Node hierarchy(plist_new_array());
        for (const QString &className : classes)
            plist_array_append_item(hierarchy.get(), stringNode(className).release());
        std::map<QByteArray, Node> fields;
        fields["$classes"] = std::move(hierarchy);
        fields["$classname"] = stringNode(name);
        const quint64 uid = append(dictionary(fields));
        classUids.insert(name, uid);
        return uid;
    }

    // The UID is taken before the fields are written, so that an object
    // precedes the objects it refers to.
    quint64 encodeClassed(const QStringList &classes, const std::function<void()> &writeFields)
    {
        const quint64 uid = append(nullptr);
        writeClassed(uid, classes, writeFields);
        return uid;
    }

    void writeClassed(quint64 uid, const QStringList &classes, const std::function<void()> &writeFields)
    {
        Frame frame;
        frames.push_back(&frame);
        struct Pop {
            std::vector<Frame *> &frames;
            ~Pop() { frames.pop_back(); }
        } pop{frames};
        writeFields();
        frame.fields["$class"] = uidNode(classUid(classes));
        objects[uid] = dictionary(frame.fields);
    }

    quint64 encodeReferences(const QStringList &classes, const QVariantList &values)
    {
        return encodeClassed(classes, [&] {
            Node refs(plist_new_array());
            for (const QVariant &value : values)
                plist_array_append_item(refs.get(), plist_new_uid(encodeValue(value)));
            setField(QStringLiteral("NS.objects"), std::move(refs));
        });
    }

    quint64 encodeString(const QString &text)
    {
        if (auto found = stringUids.constFind(text); found != stringUids.constEnd())
            return *found;
        const quint64 uid = append(stringNode(text));
        stringUids.insert(text, uid);
        return uid;
    }

    quint64 encodeDate(const QDateTime &date)
    {
        const qint64 msecs = date.toMSecsSinceEpoch() - ReferenceDateMsecs;
        if (msecs > MaxDateMsecs || msecs < -MaxDateMsecs)
            throw AppException(ExceptionNames::InvalidArgument,
                               QStringLiteral("The date %1 is too far out to be archived.")
                                   .arg(date.toString(Qt::ISODate)));
        return encodeClassed({QStringLiteral("NSDate"), QStringLiteral("NSObject")}, [&] {
            setField(QStringLiteral("NS.time"), Node(plist_new_real(double(msecs) / 1000.0)));
        });
    }

    quint64 encodeMap(const QVariantMap &map)
    {
        return encodeClassed({QStringLiteral("NSMutableDictionary"), QStringLiteral("NSDictionary"),
                              QStringLiteral("NSObject")},
                             [&] {
                                 Node keys(plist_new_array());
                                 Node values(plist_new_array());
                                 for (auto it = map.constBegin(); it != map.constEnd(); ++it) {
                                     plist_array_append_item(keys.get(), plist_new_uid(encodeValue(it.key())));
                                     plist_array_append_item(values.get(), plist_new_uid(encodeValue(it.value())));
                                 }
                                 setField(QStringLiteral("NS.keys"), std::move(keys));
                                 setField(QStringLiteral("NS.objects"), std::move(values));
                             });
    }

    quint64 encodeCodable(const CodableRef &object)
    {
        if (!object)
            return 0;
        if (auto found = codableUids.constFind(object.get()); found != codableUids.constEnd()) {
            if (codablesInProgress.contains(object.get()))
                throw AppException(ExceptionNames::InvalidArgument,
                                   QStringLiteral("An object of class %1 contains itself; such an archive could not be read.")
                                       .arg(object->archiveClassName()));
            return *found;
        }
        keepAlive.push_back(object);
        QStringList classes = object->archiveClassHierarchy();
        if (classes.isEmpty())
            classes = {object->archiveClassName()};
        const quint64 uid = append(nullptr);
        codableUids.insert(object.get(), uid);
        codablesInProgress.insert(object.get());
        writeClassed(uid, classes, [&] { object->encodeWithCoder(*q); });
        codablesInProgress.remove(object.get());
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
        // The reader refuses deeper nesting; better to say so now than to
        // write an archive nobody can open.
        if (depth >= KeyedUnarchiver::MaxDepth)
            throw AppException(ExceptionNames::InvalidArgument,
                               QStringLiteral("Values nested deeper than %1 levels cannot be archived.")
                                   .arg(KeyedUnarchiver::MaxDepth));
        ++depth;
        struct Leave {
            int &depth;
            ~Leave() { --depth; }
        } leave{depth};

        switch (value.typeId()) {
        case QMetaType::QString:
            return encodeString(value.toString());
        case QMetaType::Bool:
            return append(Node(plist_new_bool(value.toBool())));
        case QMetaType::Int:
        case QMetaType::Short:
        case QMetaType::Long:
        case QMetaType::LongLong:
        case QMetaType::Char:
        case QMetaType::SChar:
            return append(Node(plist_new_uint(quint64(value.toLongLong()))));
        case QMetaType::UInt:
        case QMetaType::UShort:
        case QMetaType::ULong:
        case QMetaType::ULongLong:
        case QMetaType::UChar:
            // Integers are read back as qint64; a larger one would come back negative.
            if (value.toULongLong() > quint64(std::numeric_limits<qint64>::max()))
                throw AppException(ExceptionNames::InvalidArgument,
                                   QStringLiteral("The integer %1 is too large to be archived.").arg(value.toULongLong()));
            return append(Node(plist_new_uint(value.toULongLong())));
        case QMetaType::Double:
        case QMetaType::Float:
            return append(Node(plist_new_real(value.toDouble())));
        case QMetaType::QDateTime: {
            const QDateTime date = value.toDateTime();
            return date.isValid() ? encodeDate(date) : 0;
        }
        case QMetaType::QByteArray: {
            const QByteArray bytes = value.toByteArray();
            return encodeClassed({QStringLiteral("NSMutableData"), QStringLiteral("NSData"), QStringLiteral("NSObject")},
                                 [&] { q->encodeBytes(bytes, QStringLiteral("NS.data")); });
        }
        case QMetaType::QVariantList:
        case QMetaType::QStringList:
            return encodeReferences({QStringLiteral("NSMutableArray"), QStringLiteral("NSArray"), QStringLiteral("NSObject")},
                                    value.toList());
        case QMetaType::QVariantMap:
            return encodeMap(value.toMap());
        default:
            break;
        }
        if (value.typeId() == qMetaTypeId<StringSet>()) {
            QStringList sorted = value.value<StringSet>().values();
            std::sort(sorted.begin(), sorted.end());
            return encodeReferences({QStringLiteral("NSMutableSet"), QStringLiteral("NSSet"), QStringLiteral("NSObject")},
                                    QVariantList(sorted.cbegin(), sorted.cend()));
        }
        if (value.typeId() == qMetaTypeId<CodableRef>())
            return encodeCodable(value.value<CodableRef>());
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

QByteArray KeyedArchiver::archivedDataWithRootObject(const QVariant &root)
{
    registerPlatformCoders();
    KeyedArchiver coder;
    coder.d->append(stringNode(QStringLiteral("$null")));
    const quint64 rootUid = coder.d->encodeValue(root);

    Node objects(plist_new_array());
    for (Node &object : coder.d->objects)
        plist_array_append_item(objects.get(), object.release());
    std::map<QByteArray, Node> top;
    top["root"] = uidNode(rootUid);
    std::map<QByteArray, Node> archive;
    archive["$archiver"] = stringNode(QStringLiteral("NSKeyedArchiver"));
    archive["$objects"] = std::move(objects);
    archive["$top"] = Private::dictionary(top);
    archive["$version"] = Node(plist_new_uint(100000));
    const Node plist = Private::dictionary(archive);

    char *bytes = nullptr;
    uint32_t length = 0;
    plist_to_bin(plist.get(), &bytes, &length);
    if (!bytes)
        throw AppException(ExceptionNames::InternalInconsistency,
                           QStringLiteral("The archive could not be written as a property list."));
    const QByteArray data(bytes, qsizetype(length));
    plist_to_bin_free(bytes);
    return data;
}

bool KeyedArchiver::archiveRootObjectToFile(const QVariant &root, const QString &path)
{
    return FileIO::writeFileAtomically(path, archivedDataWithRootObject(root));
}

void KeyedArchiver::encodeObject(const QVariant &value, const QString &key)
{
    d->frame(); // a field outside an object fails before anything is written
    const quint64 uid = d->encodeValue(value);
    d->setField(key, uidNode(uid));
}

void KeyedArchiver::encodeObject(const QVariant &value)
{
    encodeObject(value, QStringLiteral("$%1").arg(d->frame().nextUnkeyed++));
}

void KeyedArchiver::encodeBool(bool value, const QString &key)
{
    d->setField(key, Node(plist_new_bool(value)));
}

void KeyedArchiver::encodeInt32(qint32 value, const QString &key)
{
    encodeInt64(value, key);
}

void KeyedArchiver::encodeInt64(qint64 value, const QString &key)
{
    d->setField(key, Node(plist_new_uint(quint64(value))));
}

void KeyedArchiver::encodeFloat(float value, const QString &key)
{
    encodeDouble(double(value), key);
}

void KeyedArchiver::encodeDouble(double value, const QString &key)
{
    d->setField(key, Node(plist_new_real(value)));
}

void KeyedArchiver::encodeBytes(const QByteArray &bytes, const QString &key)
{
    d->setField(key, Node(plist_new_data(bytes.constData(), quint64(bytes.size()))));
}
