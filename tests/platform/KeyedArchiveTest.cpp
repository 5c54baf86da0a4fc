#include "AppException.h"
#include "BinaryPlistWriter.h"
#include "KeyedArchiver.h"
#include "KeyedUnarchiver.h"
#include "RichText.h"
#include "TestSupport.h"
#include "TextAttributes.h"

#include <gtest/gtest.h>
#include <plist/plist.h>

#include <QDateTime>
#include <QProcess>
#include <QPoint>
#include <QTemporaryDir>

#include <functional>
#include <limits>
#include <memory>
#include <mutex>

namespace {

// A small object of our own: keyed, scalar and unkeyed fields, and a link
// to another note so that shared identity can be seen.
class Note : public Codable {
public:
    QString title;
    qint32 count = 0;
    CodableRef link;
    QVariant first, second;

    QString archiveClassName() const override { return QStringLiteral("CorvTestNote"); }
    void encodeWithCoder(KeyedArchiver &coder) const override
    {
        coder.encodeObject(title, QStringLiteral("title"));
        coder.encodeInt32(count, QStringLiteral("count"));
        coder.encodeObject(codableVariant(link), QStringLiteral("link"));
        coder.encodeObject(first);
        coder.encodeObject(second);
    }
    static CodableRef decode(KeyedUnarchiver &coder)
    {
        auto note = std::make_shared<Note>();
        note->title = coder.decodeString(QStringLiteral("title"));
        note->count = coder.decodeInt32(QStringLiteral("count"));
        note->link = coder.decodeObject(QStringLiteral("link")).value<CodableRef>();
        note->first = coder.decodeObject();
        note->second = coder.decodeObject();
        // Refusals come after the nested reads, so that they happen with other objects already read.
        if (note->title == QLatin1String("refuse"))
            coder.failWithReason(QStringLiteral("refused by note"));
        if (note->title == QLatin1String("throw"))
            throw AppException(ExceptionNames::InvalidArgument, QStringLiteral("thrown by note"));
        return note->title.startsWith(QLatin1String("re")) ? nullptr : note;
    }
};

// Writes fields of every kind under fixed keys; the test reads them back
// with decoders of other kinds through `reader`.
struct Probe : Codable {
    static inline std::function<void(KeyedUnarchiver &)> reader;
    QString archiveClassName() const override { return QStringLiteral("CorvTestProbe"); }
    void encodeWithCoder(KeyedArchiver &coder) const override
    {
        coder.encodeDouble(3.9, QStringLiteral("real"));
        coder.encodeDouble(-3.9, QStringLiteral("negative real"));
        coder.encodeDouble(1e300, QStringLiteral("huge real"));
        coder.encodeBool(true, QStringLiteral("bool"));
        coder.encodeInt64(5'000'000'000LL, QStringLiteral("big"));
        coder.encodeInt64(-5'000'000'000LL, QStringLiteral("negative big"));
        coder.encodeObject(QStringLiteral("text"), QStringLiteral("string"));
        coder.encodeBytes(QByteArray("\x00\x01", 2), QStringLiteral("bytes"));
    }
};

void registerTestCoders()
{
    static std::once_flag once;
    std::call_once(once, [] {
        ArchiveRegistry::registerKeyedDecoder(QStringLiteral("CorvTestNote"), &Note::decode);
        ArchiveRegistry::registerKeyedDecoder(QStringLiteral("CorvTestProbe"), [](KeyedUnarchiver &coder) {
            Probe::reader(coder);
            return std::make_shared<Probe>();
        });
    });
}

QVariant roundTrip(const QVariant &value)
{
    registerTestCoders();
    QString error;
    const QVariant result = KeyedUnarchiver::unarchiveObjectWithData(KeyedArchiver::archivedDataWithRootObject(value), &error);
    EXPECT_TRUE(error.isEmpty()) << error.toStdString();
    return result;
}

// Hand-written XML archives: the objects after "$null", root at 1 unless said.
QString ref(int uid)
{
    return QStringLiteral("<dict><key>CF$UID</key><integer>%1</integer></dict>").arg(uid);
}
QString classDescription(const QString &name)
{
    return QStringLiteral("<dict><key>$classname</key><string>%1</string></dict>").arg(name);
}
QString refs(const QList<int> &uids)
{
    QString items;
    for (int uid : uids)
        items += ref(uid);
    return QStringLiteral("<array>%1</array>").arg(items);
}
QString object(int classUid, const QString &fields)
{
    return QStringLiteral("<dict><key>$class</key>%1%2</dict>").arg(ref(classUid), fields);
}
QString container(int classUid, const QList<int> &uids)
{
    return object(classUid, QStringLiteral("<key>NS.objects</key>") + refs(uids));
}
QString dictionary(int classUid, const QList<int> &keys, const QList<int> &values)
{
    return object(classUid, QStringLiteral("<key>NS.keys</key>%1<key>NS.objects</key>%2").arg(refs(keys), refs(values)));
}
QByteArray xmlArchive(const QString &objects, int root = 1)
{
    return QStringLiteral("<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<plist version=\"1.0\"><dict>"
                          "<key>$archiver</key><string>NSKeyedArchiver</string><key>$version</key><integer>100000</integer>"
                          "<key>$top</key><dict><key>root</key>%1</dict>"
                          "<key>$objects</key><array><string>$null</string>%2</array></dict></plist>")
        .arg(ref(root), objects)
        .toUtf8();
}

// Every kind of value a project file holds, as kept in
// tests/data/archives/earlier-values.bplist: written by the archiver of an
// earlier release, so that files already on users' disks keep opening.
QVariantMap earlierValues()
{
    QVariantList rows;
    for (int row = 0; row < 300; ++row) {
        QVariantMap entry{{QStringLiteral("0"), QStringLiteral("user%1@example.org").arg(row)},
                          {QStringLiteral("1"), row % 3 ? QStringLiteral("Ann") : QStringLiteral("J\u00fcrgen \U0001F600")}};
        if (row % 7 == 0)
            entry.insert(QStringLiteral("active"), false);
        if (row % 11 == 0)
            entry.insert(QStringLiteral("lastSent"), QDateTime(QDate(2020, 1, 1 + row % 28), QTime(8, 0), Qt::UTC));
        rows.append(entry);
    }
    RichText rich(QStringLiteral("Bold "), {{TextAttributeName::Font, QVariant::fromValue(FontDescriptor{QStringLiteral("Sans"), 13.5, true, false})},
                                             {TextAttributeName::Color, QVariant::fromValue(RgbaColor{1, 0, 0, 1})}});
    rich.append(RichText(QStringLiteral("link\n"), {{TextAttributeName::Link, QStringLiteral("https://example.org/")}}));
    return {
        {QStringLiteral("unicode"), QStringLiteral("Gr\u00fc\u00dfe \u4e16\u754c \U0001F600")},
        {QStringLiteral("empty"), QStringLiteral("")},
        {QStringLiteral("numbers"), QVariantList{true, false, qint64(42), std::numeric_limits<qint64>::max(),
                                                 std::numeric_limits<qint64>::min(), qint64(-1), qint64(4294967295u), 2.5, -0.0, 1e-300}},
        {QStringLiteral("dates"), QVariantList{QDateTime::fromMSecsSinceEpoch(1'700'000'000'123LL, Qt::UTC),
                                               QDateTime(QDate(1969, 7, 20), QTime(20, 17, 40, 999), Qt::UTC)}},
        {QStringLiteral("bytes"), QByteArray("a\0b", 3)},
        {QStringLiteral("long bytes"), QByteArray(70'000, 'x')},
        {QStringLiteral("long text"), QString(40'000, QChar(0x263A))},
        {QStringLiteral("nested"), QVariantList{QVariant(), QVariantMap{{QStringLiteral("k"), QVariantList{}}}, QVariantMap{}}},
        {QStringLiteral("set"), QVariant::fromValue(StringSet{QStringLiteral("b"), QStringLiteral("a")})},
        {QStringLiteral("rows"), rows},
        {QStringLiteral("rich"), QVariant::fromValue(rich)},
    };
}

} // namespace

TEST(KeyedArchive, RoundTripsEveryValueKindNested)
{
    const QDateTime date = QDateTime::fromMSecsSinceEpoch(1'700'000'000'123LL);
    const QDateTime early(QDate(1969, 7, 20), QTime(20, 17, 40, 999), Qt::UTC);
    // 1.001 s after the reference date: seconds * 1000 lands just below the whole millisecond.
    const QDateTime inexact = QDateTime::fromMSecsSinceEpoch(978'307'201'001LL);
    const QVariantMap value{
        {QStringLiteral("unicode"), QStringLiteral("Grüße \u4e16\u754c \U0001F600")},
        {QStringLiteral("empty"), QStringLiteral("")},
        {QStringLiteral("numbers"), QVariantList{true, false, 42, std::numeric_limits<qint64>::max(),
                                                 std::numeric_limits<qint64>::min(), -1, 4294967295u, 2.5, -0.0}},
        {QStringLiteral("dates"), QVariantList{date, early, inexact}},
        {QStringLiteral("bytes"), QByteArray("a\0b", 3)},
        {QStringLiteral("nested"), QVariantList{QVariant(), QVariantMap{{QStringLiteral("k"), QVariantList{}}}, QVariantMap{}}},
        {QStringLiteral("set"), QVariant::fromValue(StringSet{QStringLiteral("b"), QStringLiteral("a")})},
        {QStringLiteral("\U0001F511 key"), QStringList{QStringLiteral("x"), QStringLiteral("y")}},
    };
    const QVariantMap back = roundTrip(value).toMap();

    EXPECT_EQ(back.value(QStringLiteral("unicode")), value.value(QStringLiteral("unicode")));
    EXPECT_EQ(back.value(QStringLiteral("bytes")).toByteArray(), QByteArray("a\0b", 3));
    EXPECT_EQ(back.value(QStringLiteral("nested")), value.value(QStringLiteral("nested")));
    EXPECT_EQ(back.value(QStringLiteral("set")).value<StringSet>(), value.value(QStringLiteral("set")).value<StringSet>());
    EXPECT_EQ(back.value(QStringLiteral("\U0001F511 key")), (QVariantList{QStringLiteral("x"), QStringLiteral("y")}));
    EXPECT_FALSE(back.value(QStringLiteral("nested")).toList().first().isValid());

    const QVariantList numbers = back.value(QStringLiteral("numbers")).toList();
    const QList<int> types{QMetaType::Bool, QMetaType::Bool, QMetaType::LongLong, QMetaType::LongLong, QMetaType::LongLong,
                           QMetaType::LongLong, QMetaType::LongLong, QMetaType::Double, QMetaType::Double};
    ASSERT_EQ(numbers.size(), types.size());
    for (int i = 0; i < numbers.size(); ++i) {
        EXPECT_EQ(numbers[i].typeId(), types[i]) << i;
        EXPECT_EQ(numbers[i], value.value(QStringLiteral("numbers")).toList()[i]) << i;
    }

    const QVariantList dates = back.value(QStringLiteral("dates")).toList();
    EXPECT_EQ(dates, value.value(QStringLiteral("dates")).toList());
    EXPECT_EQ(dates.value(0).toDateTime().timeSpec(), Qt::UTC);

    // A null string is written as an empty one and read back as empty, not null.
    const QString fromNull = roundTrip(QString()).toString();
    EXPECT_TRUE(fromNull.isEmpty());
    EXPECT_FALSE(fromNull.isNull());
    EXPECT_FALSE(roundTrip(QVariant()).isValid());
}

TEST(KeyedArchive, OutputIsDeterministic)
{
    StringSet forward, backward;
    for (int i = 0; i < 50; ++i) {
        forward.insert(QString::number(i));
        backward.insert(QString::number(49 - i));
    }
    EXPECT_EQ(KeyedArchiver::archivedDataWithRootObject(QVariant::fromValue(forward)),
              KeyedArchiver::archivedDataWithRootObject(QVariant::fromValue(backward)));
    // Also when some members were written before the set (a table's rows
    // before its identifier set); the set reads back whole.
    const QVariantList written{QStringLiteral("7"), QStringLiteral("30"), QStringLiteral("elsewhere")};
    const QByteArray mixedForward =
        KeyedArchiver::archivedDataWithRootObject(QVariantList{written, QVariant::fromValue(forward)});
    EXPECT_EQ(mixedForward, KeyedArchiver::archivedDataWithRootObject(QVariantList{written, QVariant::fromValue(backward)}));
    EXPECT_EQ(KeyedUnarchiver::unarchiveObjectWithData(mixedForward).toList().value(1).value<StringSet>(), forward);

    // Members come in QString's order, whatever their lengths, shared
    // beginnings, NULs and surrogates.
    StringSet mixed{QString(), QStringLiteral("a"), QStringLiteral("ab"), QString(QChar(0)), QStringLiteral("a") + QChar(0),
                    QStringLiteral("\U0001F600"), QStringLiteral("\uFFFF"), QStringLiteral("par-123456789"),
                    QStringLiteral("par-12345678"), QStringLiteral("par-1234567890")};
    for (int i = 0; i < 3000; ++i)
        mixed.insert(QStringLiteral("par-%1x%2").arg(i % 7, 9, 10, QLatin1Char('0')).arg(i * 7919 % 3001).left(5 + i % 17));
    QStringList expected = mixed.values();
    std::sort(expected.begin(), expected.end());
    EXPECT_EQ(sortedMembers(mixed), expected);
}

TEST(KeyedArchive, CodablesKeepSharedIdentityAndUnkeyedOrder)
{
    auto shared = std::make_shared<Note>();
    shared->title = QStringLiteral("shared");
    shared->count = -7;
    shared->first = QStringLiteral("one");
    shared->second = 2;
    auto other = std::make_shared<Note>();
    other->link = shared;

    const QVariantList back = roundTrip(QVariantList{codableVariant(shared), codableVariant(other), codableVariant(shared)}).toList();
    ASSERT_EQ(back.size(), 3);
    const auto first = codableCast<Note>(back[0]);
    ASSERT_TRUE(first);
    EXPECT_EQ(first, codableCast<Note>(back[2]));
    EXPECT_EQ(first, codableCast<Note>(back[1])->link);
    EXPECT_EQ(first->title, QStringLiteral("shared"));
    EXPECT_EQ(first->count, -7);
    EXPECT_EQ(first->first, QVariant(QStringLiteral("one")));
    EXPECT_EQ(first->second, QVariant(qint64(2)));

    // An object that contains itself could not be read back.
    shared->link = shared;
    EXPECT_THROW((void)KeyedArchiver::archivedDataWithRootObject(codableVariant(shared)), AppException);
    shared->link.reset();
    EXPECT_THROW((void)KeyedArchiver::archivedDataWithRootObject(QVariant::fromValue(QPoint(1, 2))), AppException);
}

TEST(KeyedArchive, TypedReadsTolerateOtherKinds)
{
    bool ran = false;
    Probe::reader = [&](KeyedUnarchiver &coder) {
        ran = true;
        EXPECT_EQ(coder.currentClassName(), QStringLiteral("CorvTestProbe"));
        EXPECT_EQ(coder.decodeInt32(QStringLiteral("real")), 3);
        EXPECT_EQ(coder.decodeInt32(QStringLiteral("negative real")), -3);
        EXPECT_EQ(coder.decodeInt32(QStringLiteral("bool")), 1);
        EXPECT_EQ(coder.decodeInt32(QStringLiteral("big")), std::numeric_limits<qint32>::max());
        EXPECT_EQ(coder.decodeInt32(QStringLiteral("negative big")), std::numeric_limits<qint32>::min());
        EXPECT_EQ(coder.decodeInt64(QStringLiteral("huge real")), std::numeric_limits<qint64>::max());
        EXPECT_EQ(coder.decodeInt64(QStringLiteral("string")), 0);
        EXPECT_EQ(coder.decodeInt32(QStringLiteral("missing")), 0);
        EXPECT_TRUE(coder.decodeBool(QStringLiteral("real")));
        EXPECT_FALSE(coder.decodeBool(QStringLiteral("bytes")));
        EXPECT_DOUBLE_EQ(coder.decodeDouble(QStringLiteral("big")), 5e9);
        EXPECT_FLOAT_EQ(coder.decodeFloat(QStringLiteral("real")), 3.9f);
        EXPECT_EQ(coder.decodeBytes(QStringLiteral("bytes")), QByteArray("\x00\x01", 2));
        EXPECT_TRUE(coder.decodeBytes(QStringLiteral("string")).isEmpty());
        EXPECT_EQ(coder.decodeString(QStringLiteral("string")), QStringLiteral("text"));
        EXPECT_TRUE(coder.decodeString(QStringLiteral("missing")).isNull());
        EXPECT_TRUE(coder.decodeString(QStringLiteral("real")).isNull());
        EXPECT_TRUE(coder.decodeList(QStringLiteral("string")).isEmpty());
        EXPECT_TRUE(coder.decodeMap(QStringLiteral("bool")).isEmpty());
        EXPECT_TRUE(coder.containsValueForKey(QStringLiteral("bool")));
        EXPECT_FALSE(coder.containsValueForKey(QStringLiteral("missing")));
        EXPECT_FALSE(coder.hasFailed());
    };
    EXPECT_TRUE(roundTrip(codableVariant(std::make_shared<Probe>())).isValid());
    EXPECT_TRUE(ran);
}

TEST(KeyedArchive, WritesThePublicLayout)
{
    const QDateTime date = QDateTime::fromMSecsSinceEpoch(978'307'201'500LL);
    auto note = std::make_shared<Note>();
    note->count = 12;
    const QByteArray data = KeyedArchiver::archivedDataWithRootObject(QVariantList{date, date.addDays(1), codableVariant(note)});
    ASSERT_TRUE(data.startsWith("bplist00"));

    plist_t root = nullptr;
    plist_from_bin(data.constData(), uint32_t(data.size()), &root);
    ASSERT_TRUE(root);
    const std::unique_ptr<void, void (*)(plist_t)> owner(root, plist_free);
    const auto string = [](plist_t node) { return node && plist_get_node_type(node) == PLIST_STRING ? QString::fromUtf8(plist_get_string_ptr(node, nullptr)) : QString(); };
    const auto uid = [](plist_t node) {
        uint64_t value = ~0ull;
        if (node && plist_get_node_type(node) == PLIST_UID)
            plist_get_uid_val(node, &value);
        return value;
    };
    EXPECT_EQ(string(plist_dict_get_item(root, "$archiver")), QStringLiteral("NSKeyedArchiver"));
    uint64_t version = 0;
    plist_get_uint_val(plist_dict_get_item(root, "$version"), &version);
    EXPECT_EQ(version, 100000u);
    plist_t objects = plist_dict_get_item(root, "$objects");
    EXPECT_EQ(string(plist_array_get_item(objects, 0)), QStringLiteral("$null"));

    plist_t list = plist_array_get_item(objects, uint32_t(uid(plist_dict_get_item(plist_dict_get_item(root, "$top"), "root"))));
    plist_t items = plist_dict_get_item(list, "NS.objects");
    ASSERT_EQ(plist_array_get_size(items), 3u);
    plist_t first = plist_array_get_item(objects, uint32_t(uid(plist_array_get_item(items, 0))));
    plist_t second = plist_array_get_item(objects, uint32_t(uid(plist_array_get_item(items, 1))));
    double time = 0;
    plist_get_real_val(plist_dict_get_item(first, "NS.time"), &time);
    EXPECT_EQ(time, 1.5);
    // One class description per class, named with its hierarchy.
    const uint64_t dateClass = uid(plist_dict_get_item(first, "$class"));
    EXPECT_EQ(dateClass, uid(plist_dict_get_item(second, "$class")));
    plist_t description = plist_array_get_item(objects, uint32_t(dateClass));
    EXPECT_EQ(string(plist_dict_get_item(description, "$classname")), QStringLiteral("NSDate"));
    EXPECT_EQ(string(plist_array_get_item(plist_dict_get_item(description, "$classes"), 1)), QStringLiteral("NSObject"));
    // Scalar fields sit in the object itself; unkeyed ones are numbered.
    plist_t written = plist_array_get_item(objects, uint32_t(uid(plist_array_get_item(items, 2))));
    EXPECT_EQ(plist_get_node_type(plist_dict_get_item(written, "count")), PLIST_UINT);
    EXPECT_EQ(uid(plist_dict_get_item(written, "$1")), 0u);

    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("archive"));
    ASSERT_TRUE(KeyedArchiver::archiveRootObjectToFile(date, path));
    EXPECT_EQ(KeyedUnarchiver::unarchiveObjectWithFile(path).toDateTime(), date);
}

TEST(KeyedArchive, ReadsTheXmlForm)
{
    // The same finished string is referred to twice.
    const QByteArray xml = xmlArchive(dictionary(3, {4}, {2}) + container(5, {6, 6}) + classDescription(QStringLiteral("NSDictionary")) + QStringLiteral("<string>k</string>")
                                      + classDescription(QStringLiteral("NSArray")) + QStringLiteral("<string>caf\u00e9</string>"));
    QString error;
    const QVariant value = KeyedUnarchiver::unarchiveObjectWithData(xml, &error);
    EXPECT_TRUE(error.isEmpty()) << error.toStdString();
    EXPECT_EQ(value, (QVariantMap{{QStringLiteral("k"), QVariantList{QStringLiteral("caf\u00e9"), QStringLiteral("caf\u00e9")}}}));
}

TEST(KeyedArchive, RefusesHostileInput)
{
    registerTestCoders();
    const QString array = classDescription(QStringLiteral("NSArray"));
    const QString dictionaryClass = classDescription(QStringLiteral("NSDictionary"));
    QString deep;
    for (int i = 1; i <= 300; ++i)
        deep += container(301, i < 300 ? QList<int>{i + 1} : QList<int>{});
    deep += array;
    const QByteArray valid = KeyedArchiver::archivedDataWithRootObject(QVariantList{QStringLiteral("some text"), 1});
    // Twenty thousand objects that are all one array of twenty thousand
    // references: some four hundred million values once read.
    QByteArray shared;
    {
        constexpr int count = 20'000;
        BinaryPlistWriter writer(KeyedUnarchiver::MaxInputBytes);
        const auto classed = [&](quint64 classUid, BinaryPlistWriter::Ref items) {
            const BinaryPlistWriter::Ref keys[] = {writer.addString(u"$class"), writer.addString(u"NS.objects")};
            const BinaryPlistWriter::Ref values[] = {writer.addUid(classUid), items};
            return writer.addDictionary(keys, values);
        };
        std::vector<BinaryPlistWriter::Ref> members, repeated(count, writer.addUid(count + 2));
        for (int i = 0; i < count; ++i)
            members.push_back(writer.addUid(quint64(i) + 2));
        const BinaryPlistWriter::Ref one = classed(count + 3, writer.addArray(repeated));
        std::vector<BinaryPlistWriter::Ref> objects{writer.addString(u"$null"), classed(count + 3, writer.addArray(members))};
        objects.insert(objects.end(), count, one);
        objects.push_back(writer.addString(u"x"));
        const BinaryPlistWriter::Ref nameKeys[] = {writer.addString(u"$classname")};
        const BinaryPlistWriter::Ref nameValues[] = {writer.addString(u"NSArray")};
        objects.push_back(writer.addDictionary(nameKeys, nameValues));
        const BinaryPlistWriter::Ref rootKeys[] = {writer.addString(u"root")};
        const BinaryPlistWriter::Ref rootValues[] = {writer.addUid(1)};
        const BinaryPlistWriter::Ref topKeys[] = {writer.addString(u"$archiver"), writer.addString(u"$objects"), writer.addString(u"$top")};
        const BinaryPlistWriter::Ref topValues[] = {writer.addString(u"NSKeyedArchiver"), writer.addArray(objects),
                                                    writer.addDictionary(rootKeys, rootValues)};
        shared = writer.finish(writer.addDictionary(topKeys, topValues));
    }
    const QString note = object(2, QStringLiteral("<key>title</key>%1<key>link</key>%2").arg(ref(3), ref(4)))
        + classDescription(QStringLiteral("CorvTestNote"));
    const QString linked = object(2, QString());

    const struct {
        const char *name;
        QByteArray data;
        const char *reason;
    } cases[] = {
        {"empty", {}, "no data"},
        {"random bytes", QByteArray("\x93\xff\x01 garbage\x00 bytes", 18), "not a keyed archive"},
        {"truncated", valid.left(valid.size() / 2), "not a keyed archive"},
        {"one container shared by every object", shared, "shared or cyclic"},
        {"deep XML", QByteArray("<plist>") + QByteArray("<array>").repeated(100'000), "nested too deeply"},
        {"not a dictionary", "<plist><array/></plist>", "not a keyed archive"},
        {"no $null", xmlArchive(QString()).replace("$null", "null"), "$null"},
        {"root out of range", xmlArchive(QString(), 7), "reference 7"},
        {"self-referencing array", xmlArchive(container(2, {1}) + array), "reference cycle"},
        {"nesting beyond the bound", xmlArchive(deep), "nested deeper"},
        {"$class names a string", xmlArchive(container(2, {}) + QStringLiteral("<string>NSArray</string>")), "class"},
        {"NS.objects not references", xmlArchive(object(2, QStringLiteral("<key>NS.objects</key><array><string>x</string></array>")) + array), "references"},
        {"keys and objects differ", xmlArchive(dictionary(2, {3, 3}, {3}) + dictionaryClass + QStringLiteral("<string>k</string>")), "differ in length"},
        {"non-string key", xmlArchive(dictionary(2, {3}, {3}) + dictionaryClass + QStringLiteral("<integer>5</integer>")), "not a string"},
        {"unknown class", xmlArchive(container(2, {}) + classDescription(QStringLiteral("Evil\x01" "Class"))), "unknown class \"EvilClass\""},
        {"date out of range", xmlArchive(object(2, QStringLiteral("<key>NS.time</key><real>1e300</real>")) + classDescription(QStringLiteral("NSDate"))), "out of range"},
        {"decoder refuses", xmlArchive(note + QStringLiteral("<string>refuse</string>") + linked), "refused by note"},
        {"decoder gives nothing", xmlArchive(note + QStringLiteral("<string>rejected</string>") + linked), "class CorvTestNote is unusable"},
        {"decoder throws", xmlArchive(note + QStringLiteral("<string>throw</string>") + linked), "thrown by note"},
    };
    for (const auto &row : cases) {
        QString error;
        EXPECT_FALSE(KeyedUnarchiver::unarchiveObjectWithData(row.data, &error).isValid()) << row.name;
        EXPECT_TRUE(error.contains(QLatin1String(row.reason))) << row.name << ": " << error.toStdString();
    }
}

// Archives written before keep opening, and what is written now says the
// same: Python's plistlib, an outside reader of the format, finds the
// public layout and the very objects the earlier archiver wrote.
TEST(KeyedArchive, EarlierArchivesReadAsTheyWereAndOthersReadWhatIsWritten)
{
    const QString earlierPath = testDataPath(QStringLiteral("archives/earlier-values.bplist"));
    QString error;
    const QVariant read = KeyedUnarchiver::unarchiveObjectWithFile(earlierPath, &error);
    EXPECT_TRUE(error.isEmpty()) << error.toStdString();
    EXPECT_EQ(read.toMap(), earlierValues());

    QTemporaryDir dir;
    const QString written = dir.filePath(QStringLiteral("written.bplist"));
    ASSERT_TRUE(KeyedArchiver::archiveRootObjectToFile(earlierValues(), written));
    EXPECT_EQ(KeyedUnarchiver::unarchiveObjectWithFile(written).toMap(), earlierValues());

    QProcess python;
    python.start(QStringLiteral("python3"), {QStringLiteral("-c"), QStringLiteral(R"(
import plistlib, sys
new = plistlib.load(open(sys.argv[1], 'rb'))
old = plistlib.load(open(sys.argv[2], 'rb'))
assert new['$archiver'] == 'NSKeyedArchiver' and new['$version'] == 100000, 'header'
assert isinstance(new['$top']['root'], plistlib.UID), 'root'
assert new['$objects'][0] == '$null', 'objects'
root = new['$objects'][new['$top']['root'].data]
assert 'NS.keys' in root and 'NS.objects' in root, 'root dictionary'
assert new == old, 'differs from the earlier archive'
print('ok')
)"), written, earlierPath});
    ASSERT_TRUE(python.waitForFinished(60'000));
    EXPECT_EQ(python.readAllStandardOutput().trimmed(), "ok") << python.readAllStandardError().toStdString();
}

// What would be too large to read back is refused while it is written, so a
// save fails with a reason before it replaces anything.
TEST(KeyedArchive, WriterRefusesWhatCouldNotBeReadBack)
{
    constexpr qint64 bound = 400;
    bool refused = false, fitted = false;
    for (int count = 1; count < 60 && !refused; ++count) {
        BinaryPlistWriter writer(bound);
        try {
            std::vector<BinaryPlistWriter::Ref> items;
            for (int i = 0; i < count; ++i)
                items.push_back(writer.addString(QStringLiteral("item %1").arg(i)));
            const QByteArray data = writer.finish(writer.addArray(items));
            EXPECT_LE(data.size(), bound);
            fitted = true;
        } catch (const AppException &e) {
            EXPECT_TRUE(e.reason().contains(QLatin1String("too large"))) << e.reason().toStdString();
            refused = true;
        }
    }
    EXPECT_TRUE(fitted);
    EXPECT_TRUE(refused);
    BinaryPlistWriter writer(bound);
    EXPECT_THROW((void)writer.addData(QByteArray(bound, 'x')), AppException);
}
