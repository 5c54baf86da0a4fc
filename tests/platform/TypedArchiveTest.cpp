#include "AppException.h"
#include "TypedArchiver.h"
#include "TypedUnarchiver.h"

#include <gtest/gtest.h>

#include <QDateTime>
#include <QTemporaryDir>
#include <QtEndian>

#include <bit>
#include <functional>
#include <limits>
#include <memory>
#include <stdexcept>

namespace {

// A Codable whose stored form is whatever the test writes; decoded copies
// record the version and the values their decoder read.
class Probe : public Codable {
public:
    using Writer = std::function<void(TypedArchiver &)>;
    Probe(QString className, int version, Writer write = {})
        : m_className(std::move(className)), m_version(version), m_write(std::move(write))
    {
    }
    QString archiveClassName() const override { return m_className; }
    int archiveClassVersion() const override { return m_version; }
    void encodeWithCoder(TypedArchiver &coder) const override
    {
        if (m_write)
            m_write(coder);
    }
    QVariantList read;

private:
    QString m_className;
    int m_version;
    Writer m_write;
};

QVariant probe(const QString &className, int version, Probe::Writer write = {})
{
    return codableVariant(std::make_shared<Probe>(className, version, std::move(write)));
}

Probe::Writer writing(const QVariantList &values)
{
    return [values](TypedArchiver &coder) {
        for (const QVariant &value : values)
            coder.encodeObject(value);
    };
}

void registerTestDecoders()
{
    static const bool registered = [] {
        using Read = std::function<void(TypedUnarchiver &, QVariantList &)>;
        const auto add = [](const QString &name, Read read) {
            ArchiveRegistry::registerTypedDecoder(name, [name, read](TypedUnarchiver &u, int version) {
                auto result = std::make_shared<Probe>(name, version);
                result->read << version;
                read(u, result->read);
                return result;
            });
        };
        add("TypedTest.All", [](TypedUnarchiver &u, QVariantList &out) {
            while (!u.atEndOfObject())
                out << u.decodeObject();
        });
        add("TypedTest.First", [](TypedUnarchiver &u, QVariantList &out) { out << u.decodeObject(); });
        add("TypedTest.Int32", [](TypedUnarchiver &u, QVariantList &out) { out << u.decodeInt32(); });
        add("TypedTest.Scalars", [](TypedUnarchiver &u, QVariantList &out) {
            out << u.decodeBool() << u.decodeInt32() << QVariant(qlonglong(u.decodeInt64())) << u.decodeFloat()
                << u.decodeDouble() << u.decodeBytes();
        });
        // Version 1 stored only the path; version 2 a map with path and margin.
        add("TypedTest.Shape", [](TypedUnarchiver &u, QVariantList &out) {
            const QVariant next = u.decodeObject();
            if (next.typeId() == QMetaType::QString)
                out << next << 0;
            else if (next.typeId() == QMetaType::QVariantMap)
                out << next.toMap().value("path") << next.toMap().value("margin", 0);
            else
                u.failWithReason("shape: neither a path nor a map");
        });
        add("TypedTest.Throws", [](TypedUnarchiver &, QVariantList &) {
            throw AppException(ExceptionNames::InternalInconsistency, "app boom");
        });
        add("TypedTest.ThrowsStd", [](TypedUnarchiver &, QVariantList &) { throw std::runtime_error("std boom"); });
        add("TypedTest.Fails", [](TypedUnarchiver &u, QVariantList &) { u.failWithReason("decoder says no"); });
        ArchiveRegistry::registerTypedDecoder("TypedTest.Refuses", [](TypedUnarchiver &, int) { return nullptr; });
        return true;
    }();
    (void)registered;
}

// Type and value of everything, so int32 vs int64 and null vs empty count.
std::string describe(const QVariant &value)
{
    switch (value.typeId()) {
    case QMetaType::UnknownType: return "nil";
    case QMetaType::Bool: return value.toBool() ? "true" : "false";
    case QMetaType::Int: return "i32:" + std::to_string(value.toInt());
    case QMetaType::LongLong: return "i64:" + std::to_string(value.toLongLong());
    case QMetaType::Float: return "f:" + std::to_string(std::bit_cast<quint32>(value.toFloat()));
    case QMetaType::Double: return "d:" + std::to_string(std::bit_cast<quint64>(value.toDouble()));
    case QMetaType::QByteArray: return "b:" + value.toByteArray().toHex().toStdString();
    case QMetaType::QDateTime: return "date:" + std::to_string(value.toDateTime().toMSecsSinceEpoch());
    case QMetaType::QString: {
        const QString text = value.toString();
        if (text.isNull())
            return "null-string";
        std::string units = "s[";
        for (QChar c : text)
            units += QString::number(c.unicode(), 16).toStdString() + ' ';
        return units + ']';
    }
    case QMetaType::QVariantList: {
        std::string out = "[";
        for (const QVariant &element : value.toList())
            out += describe(element) + ", ";
        return out + ']';
    }
    case QMetaType::QVariantMap: {
        std::string out = "{";
        const QVariantMap map = value.toMap();
        for (auto it = map.cbegin(); it != map.cend(); ++it)
            out += it.key().toStdString() + ": " + describe(it.value()) + ", ";
        return out + '}';
    }
    }
    if (value.typeId() == qMetaTypeId<StringSet>()) {
        QStringList sorted = value.value<StringSet>().values();
        sorted.sort();
        return "set(" + sorted.join('|').toStdString() + ')';
    }
    if (auto object = codableCast<Probe>(value))
        return object->archiveClassName().toStdString() + describe(object->read);
    return std::string("other:") + value.typeName();
}

struct NoCoder {
    int x = 0;
};

QVariant roundTrip(const QVariant &value, QString *error)
{
    registerTestDecoders();
    return TypedUnarchiver::unarchiveObjectWithData(TypedArchiver::archivedDataWithRootObject(value), error);
}

QVariant everyKind()
{
    const QString nonBmp = QString::fromUcs4(U"gr\u00fcn \U0001F600 \u4e2d");
    QVariantMap map{{"int32", qint32(-2147483647 - 1)},
                    {"int64", qint64(1) << 40},
                    {"small int64", qint64(3)},
                    {"float", 1.25f},
                    {"double", -0.1},
                    {"bools", QVariantList{true, false}},
                    {"null string", QString()},
                    {"empty string", QString("")},
                    {"unicode", nonBmp},
                    {"lone surrogate", QString(QChar(0xD800))},
                    {"bytes", QByteArray("\0\x01\xff", 3)},
                    {"date", QDateTime::fromMSecsSinceEpoch(-1234567890123, Qt::UTC)},
                    {"nil", QVariant()},
                    {"empty list", QVariantList{}},
                    {"empty map", QVariantMap{}}};
    map.insert("set", QVariant::fromValue(StringSet{"b", "a", nonBmp}));
    return QVariantList{map, QVariantList{QVariantList{qint32(1)}, QVariantMap{{"", qint64(-1)}}}};
}

} // namespace

TEST(TypedArchive, RoundTripKeepsEveryKindWithExactTypes)
{
    QString error = "untouched";
    const QVariant original = everyKind();
    EXPECT_EQ(describe(roundTrip(original, &error)), describe(original));
    EXPECT_TRUE(error.isEmpty()) << error.toStdString();

    // A root nil is a valid archive, not a failure.
    EXPECT_FALSE(roundTrip(QVariant(), &error).isValid());
    EXPECT_TRUE(error.isEmpty());
}

TEST(TypedArchive, ScalarCodersAndVersionReachTheDecoder)
{
    const QVariant original = probe("TypedTest.Scalars", 7, [](TypedArchiver &c) {
        c.encodeBool(true);
        c.encodeInt32(-5);
        c.encodeInt64(std::numeric_limits<qint64>::min());
        c.encodeFloat(-0.0f);
        c.encodeDouble(1e300);
        c.encodeBytes("xy");
    });
    const QVariantList expected{7, true, -5, std::numeric_limits<qint64>::min(), -0.0f, 1e300, QByteArray("xy")};
    QString error;
    EXPECT_EQ(describe(roundTrip(original, &error)), "TypedTest.Scalars" + describe(expected)) << error.toStdString();
}

TEST(TypedArchive, OutputIsDeterministic)
{
    StringSet forward, backward;
    for (int i = 0; i < 50; ++i) {
        forward.insert(QString::number(i));
        backward.insert(QString::number(49 - i));
    }
    EXPECT_EQ(TypedArchiver::archivedDataWithRootObject(QVariant::fromValue(forward)),
              TypedArchiver::archivedDataWithRootObject(QVariant::fromValue(backward)));
    EXPECT_EQ(TypedArchiver::archivedDataWithRootObject(everyKind()),
              TypedArchiver::archivedDataWithRootObject(everyKind()));
}

TEST(TypedArchive, SharedObjectsStaySharedWhileValuesAreCopied)
{
    const QVariant shared = probe("TypedTest.All", 3, writing({"x"}));
    const QVariant holder = probe("TypedTest.All", 1, writing({shared, QVariantList{shared}}));
    QString error;
    const QVariantList list = roundTrip(QVariantList{shared, holder, shared}, &error).toList();
    ASSERT_EQ(list.size(), 3) << error.toStdString();
    const auto first = codableCast<Probe>(list[0]);
    const auto inner = codableCast<Probe>(list[1]);
    ASSERT_TRUE(first && inner);
    EXPECT_EQ(first->read, (QVariantList{3, "x"}));
    EXPECT_EQ(codableCast<Probe>(list[2]), first);
    EXPECT_EQ(codableCast<Probe>(inner->read[1]), first);
    EXPECT_EQ(codableCast<Probe>(inner->read[2].toList().value(0)), first);
}

TEST(TypedArchive, ValuesADecoderLeavesUnreadAreSkipped)
{
    // The unread part defines the class "TypedTest.All" and an object; the
    // value after it must still find that class by its index.
    const QVariant newer = probe("TypedTest.First", 2,
                                 writing({"kept", probe("TypedTest.All", 0, writing({QVariantMap{{"k", 1}}})), 42}));
    const QVariant after = probe("TypedTest.All", 0, writing({"after"}));
    QString error;
    const QVariantList list = roundTrip(QVariantList{newer, after, "end"}, &error).toList();
    ASSERT_EQ(list.size(), 3) << error.toStdString();
    EXPECT_EQ(codableCast<Probe>(list[0])->read, (QVariantList{2, "kept"}));
    EXPECT_EQ(codableCast<Probe>(list[1])->read, (QVariantList{0, "after"}));
    EXPECT_EQ(list[2], "end");
}

TEST(TypedArchive, OlderFormIsToldApartByTheTypeOfTheNextValue)
{
    const QVariant older = probe("TypedTest.Shape", 1, writing({"/a.png"}));
    const QVariant newer =
        probe("TypedTest.Shape", 2, writing({QVariantMap{{"path", "/b.png"}, {"margin", qint32(4)}}}));
    // One archive holds one version of a class, so each form gets its own.
    QString error;
    const auto olderRead = codableCast<Probe>(roundTrip(older, &error));
    const auto newerRead = codableCast<Probe>(roundTrip(newer, &error));
    ASSERT_TRUE(olderRead && newerRead) << error.toStdString();
    EXPECT_EQ(olderRead->read, (QVariantList{1, "/a.png", 0}));
    EXPECT_EQ(newerRead->read, (QVariantList{2, "/b.png", 4}));
}

TEST(TypedArchive, WritingRefusesWhatNoReaderCouldRead)
{
    auto self = std::make_shared<std::weak_ptr<Codable>>();
    auto loop = std::make_shared<Probe>("TypedTest.All", 0, [self](TypedArchiver &c) {
        c.encodeObject(codableVariant(self->lock()));
    });
    *self = loop;
    QVariant deep;
    for (int i = 0; i <= TypedUnarchiver::MaxDepth; ++i)
        deep = QVariantList{deep};
    const QVariant refused[] = {QVariant::fromValue(NoCoder{}), QVariantList{1, QVariant::fromValue(NoCoder{})},
                                QDateTime(), codableVariant(loop), deep};
    for (const QVariant &value : refused) {
        try {
            (void)TypedArchiver::archivedDataWithRootObject(value);
            ADD_FAILURE() << "archived " << describe(value);
        } catch (const AppException &e) {
            EXPECT_EQ(e.name(), ExceptionNames::InvalidArgument);
        }
    }
}

TEST(TypedArchive, FileRoundTripAndMissingFile)
{
    QTemporaryDir dir;
    const QString path = dir.filePath("a.archive");
    ASSERT_TRUE(TypedArchiver::archiveRootObjectToFile(everyKind(), path));
    QString error;
    EXPECT_EQ(describe(TypedUnarchiver::unarchiveObjectWithFile(path, &error)), describe(everyKind()));
    EXPECT_FALSE(TypedUnarchiver::unarchiveObjectWithFile(dir.filePath("missing"), &error).isValid());
    EXPECT_FALSE(error.isEmpty());
}

namespace {

QByteArray be32(quint32 value)
{
    QByteArray out(4, '\0');
    qToBigEndian(value, out.data());
    return out;
}

QByteArray text(const QString &value)
{
    QByteArray out = be32(quint32(value.size() * 2));
    for (QChar c : value)
        out += char(c.unicode() >> 8), out += char(c.unicode() & 0xff);
    return out;
}

const QByteArray Header("CVTA\x01", 5);

// An object whose class appears for the first time as class number `index`.
QByteArray newObject(quint32 index, const QString &className, const QByteArray &body)
{
    return '\x0e' + be32(index) + text(className) + be32(0) + be32(quint32(body.size())) + body;
}

QByteArray archived(const QVariant &value)
{
    return TypedArchiver::archivedDataWithRootObject(value);
}

} // namespace

TEST(TypedArchive, HostileInputFailsWithAReason)
{
    registerTestDecoders();
    const QByteArray fiveNils(5, '\0');
    QByteArray depthBomb = Header;
    for (int i = 0; i < 100'000; ++i)
        depthBomb += '\x0b' + be32(1);
    depthBomb += '\0';
    const QByteArray twoObjects = '\x0b' + be32(2) + newObject(0, "TypedTest.All", {});
    const struct {
        const char *name;
        QByteArray data;
        const char *reason;
    } cases[] = {
        {"empty", {}, "not a typed archive"},
        {"wrong magic", "CVTB\x01", "not a typed archive"},
        {"future version", "CVTA\x02", "version 2"},
        {"header only", Header, "unexpected end of data"},
        {"huge list count", Header + '\x0b' + be32(0x80000000u) + QByteArray(10, '\0'),
         "list of 2147483648 values does not fit in the 10 bytes left"},
        {"huge map count", Header + '\x0c' + be32(0xffffffffu) + fiveNils, "map of 4294967295 entries"},
        {"huge set count", Header + '\x0d' + be32(2) + be32(0), "string set of 2 strings"},
        {"huge string", Header + '\x08' + be32(0x7ffffffe) + "ab", "string of 2147483646 bytes does not fit"},
        {"huge byte array", Header + '\x09' + be32(6) + "ab", "byte array of 6 bytes"},
        {"odd string length", Header + '\x08' + be32(3) + "abc", "odd byte length 3"},
        {"date out of range", Header + '\x0a' + QByteArray(8, '\x7f'), "date out of range"},
        {"unknown tag", Header + '\x7f', "unknown value tag 0x7f at byte 5"},
        {"trailing garbage", Header + '\0' + "x", "1 bytes of trailing garbage"},
        {"reference before any object", Header + '\x0f' + be32(0), "back-reference to object 0 of 0"},
        {"reference out of range", Header + twoObjects + '\x0f' + be32(5), "back-reference to object 5 of 1"},
        {"self cycle", Header + newObject(0, "TypedTest.All", '\x0f' + be32(0)), "(a cycle)"},
        {"class index out of range", Header + '\x0e' + be32(3), "class index 3 refers to no class"},
        {"object body past the end", Header + newObject(0, "TypedTest.All", {}).chopped(4) + be32(9),
         "object body of 9 bytes"},
        {"value crossing the object's end", Header + newObject(0, "TypedTest.All", QByteArray("\x03\0\0", 3)) + "\0",
         "unexpected end of object"},
        {"depth bomb", depthBomb, "nested more than 256 levels"},
        {"unknown class", Header + newObject(0, "Nope\n", {}), "unknown class \"Nope?\""},
        {"type mismatch", archived(probe("TypedTest.Int32", 0, writing({"7"}))), "expected int32, found string"},
        {"read past the object", archived(probe("TypedTest.Int32", 0)), "expected int32, found the end of the object"},
        {"decoder throws", archived(probe("TypedTest.Throws", 0)), "TypedTest.Throws failed: app boom"},
        {"decoder throws std", archived(probe("TypedTest.ThrowsStd", 0)), "std boom"},
        {"decoder fails", archived(QVariantList{probe("TypedTest.Fails", 0), 1}), "decoder says no"},
        {"decoder refuses", archived(probe("TypedTest.Refuses", 0)), "TypedTest.Refuses refused its data"},
        {"reference to a skipped object",
         archived(QVariantList{probe("TypedTest.First", 0, writing({1, probe("TypedTest.All", 0)})), 2})
                 .chopped(5) + '\x0f' + be32(1),
         "object 1, which was skipped"},
    };
    for (const auto &c : cases) {
        QString error;
        EXPECT_FALSE(TypedUnarchiver::unarchiveObjectWithData(c.data, &error).isValid()) << c.name;
        EXPECT_TRUE(error.contains(QLatin1String(c.reason))) << c.name << ": " << error.toStdString();
    }
}

TEST(TypedArchive, EveryTruncationFails)
{
    registerTestDecoders();
    const QVariant shared = probe("TypedTest.All", 1, writing({everyKind()}));
    const QByteArray data = archived(QVariantList{shared, probe("TypedTest.Scalars", 0, [](TypedArchiver &c) {
        c.encodeBool(false), c.encodeInt32(1), c.encodeInt64(2), c.encodeFloat(3), c.encodeDouble(4), c.encodeBytes("5");
    }), shared});
    QString error;
    ASSERT_TRUE(TypedUnarchiver::unarchiveObjectWithData(data, &error).isValid()) << error.toStdString();
    for (qsizetype size = 0; size < data.size(); ++size) {
        error.clear();
        EXPECT_FALSE(TypedUnarchiver::unarchiveObjectWithData(data.left(size), &error).isValid()) << size;
        EXPECT_FALSE(error.isEmpty()) << size;
    }
}
