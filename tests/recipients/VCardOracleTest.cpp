// Python's vobject as an outside reader: it writes cards (escaping, folding,
// type lists) and reads them back; our reader must find the same values.
// vobject reads 3.0 only as the RFC writes it (it stops at 2.1's soft line
// breaks), so the other versions are tested against hand-written results.
#include "VCard.h"

#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QTemporaryDir>

#include <gtest/gtest.h>

namespace {

const QString Oracle = QStringLiteral(CORV_SOURCE_DIR "/tests/recipients/vcard_oracle.py");

// Debian's python3-vobject belongs to the system's interpreter, which a
// python3 earlier on PATH may not see.
QString python()
{
    return QFile::exists(QStringLiteral("/usr/bin/python3")) ? QStringLiteral("/usr/bin/python3")
                                                              : QStringLiteral("python3");
}

QByteArray runOracle(const QStringList &arguments)
{
    QProcess process;
    process.start(python(), QStringList{Oracle} + arguments);
    if (!process.waitForFinished(120000) || process.exitCode() != 0) {
        ADD_FAILURE() << "vcard_oracle.py " << arguments.join(u' ').toStdString() << " failed: "
                      << process.readAllStandardError().toStdString();
        return {};
    }
    return process.readAllStandardOutput();
}

QJsonArray strings(const Person::MultiValue &multi)
{
    QJsonArray list;
    for (const Person::Value &value : multi.values)
        list.append(value.text);
    return list;
}

// Our person in the oracle's shape.
QJsonObject shape(const Person &person)
{
    QJsonObject object;
    const std::pair<const char *, Person::Property> strings_[] = {
        {"last", Person::Last},         {"first", Person::First},       {"middle", Person::Middle},
        {"prefix", Person::Prefix},     {"suffix", Person::Suffix},     {"organization", Person::Organization},
        {"department", Person::Department}, {"title", Person::JobTitle}, {"note", Person::Note}};
    for (const auto &[key, property] : strings_)
        object.insert(QLatin1String(key), person.value(property));
    object.insert(QStringLiteral("emails"), strings(person.multiValue(Person::Email)));
    object.insert(QStringLiteral("phones"), strings(person.multiValue(Person::Phone)));
    QJsonArray addresses;
    for (const Person::Value &value : person.multiValue(Person::Address).values) {
        QJsonArray parts;
        for (const QString &key : {Person::StreetKey, Person::CityKey, Person::StateKey, Person::ZipKey, Person::CountryKey}) {
            QString part;
            for (const auto &[k, v] : value.dictionary) {
                if (k == key)
                    part = v;
            }
            parts.append(part);
        }
        addresses.append(parts);
    }
    object.insert(QStringLiteral("addresses"), addresses);
    object.insert(QStringLiteral("categories"), QJsonArray::fromStringList(person.categories()));
    return object;
}

// The oracle leaves out what a card does not have; we answer empty.
QJsonObject completed(QJsonObject object, const QJsonObject &like)
{
    for (auto it = like.constBegin(); it != like.constEnd(); ++it) {
        if (!object.contains(it.key()))
            object.insert(it.key(), QString());
    }
    return object;
}

void compareWithOracle(const QString &path, const char *what)
{
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    const VCardReadResult ours = VCard::personsFromVCard(file.readAll());
    const QJsonArray theirs = QJsonDocument::fromJson(runOracle({QStringLiteral("describe"), path})).array();
    ASSERT_EQ(ours.persons.size(), theirs.size()) << what;
    EXPECT_EQ(ours.skippedCards, 0) << what;
    for (qsizetype i = 0; i < theirs.size(); ++i) {
        const QJsonObject mine = shape(ours.persons.at(i));
        const QJsonObject expected = completed(theirs.at(i).toObject(), mine);
        EXPECT_EQ(QJsonDocument(mine).toJson().toStdString(), QJsonDocument(expected).toJson().toStdString())
            << what << ", card " << i;
    }
}

} // namespace

TEST(VCardOracle, CardsWrittenByVobjectReadAlike)
{
    QTemporaryDir dir;
    for (const int seed : {1, 2, 3}) {
        const QString path = dir.filePath(QStringLiteral("generated-%1.vcf").arg(seed));
        runOracle({QStringLiteral("generate"), path, QStringLiteral("200"), QString::number(seed)});
        compareWithOracle(path, "generated");
    }
}

TEST(VCardOracle, PublishedThreeZeroCardsReadAlike)
{
    // RFC 2426 section 7, and the same shapes with names, lists and escapes.
    const QByteArray data =
        "BEGIN:vCard\r\nVERSION:3.0\r\nFN:Frank Dawson\r\nORG:Lotus Development Corporation\r\n"
        "ADR;TYPE=WORK,POSTAL,PARCEL:;;6544 Battleford Drive\r\n ;Raleigh;NC;27613-3502;U.S.A.\r\n"
        "TEL;TYPE=VOICE,MSG,WORK:+1-919-676-9515\r\nTEL;TYPE=FAX,WORK:+1-919-676-9564\r\n"
        "EMAIL;TYPE=INTERNET,PREF:Frank_Dawson@Lotus.com\r\nEMAIL;TYPE=INTERNET:fdawson@earthlink.net\r\n"
        "URL:http://home.earthlink.net/~fdawson\r\nEND:vCard\r\n\r\n\r\n"
        "BEGIN:vCard\r\nVERSION:3.0\r\nFN:Tim Howes\r\nORG:Netscape Communications Corp.\r\n"
        "ADR;TYPE=WORK:;;501 E. Middlefield Rd.;Mountain View;\r\n CA; 94043;U.S.A.\r\n"
        "TEL;TYPE=VOICE,MSG,WORK:+1-415-937-3419\r\nTEL;TYPE=FAX,WORK:+1-415-528-4164\r\n"
        "EMAIL;TYPE=INTERNET:howes@netscape.com\r\nEND:vCard\r\n"
        "BEGIN:VCARD\r\nVERSION:3.0\r\nN:Stevenson;John;Philip,Paul;Dr.;Jr.,M.D.,A.C.P.\r\nFN:John Stevenson\r\n"
        "ORG:ABC\\, Inc.;North American Division;Marketing\r\nTITLE:Director\\, Research and Development\r\n"
        "NOTE:This fax number is operational 0800 to 1715\\n EST\\, Mon-Fri.\r\nCATEGORIES:TRAVEL AGENT\r\n"
        "CATEGORIES:INTERNET,IETF,INDUSTRY,INFORMATION TECHNOLOGY\r\nEND:VCARD\r\n";
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("published.vcf"));
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly) && file.write(data) == data.size());
    file.close();
    compareWithOracle(path, "published");
}
