#include "VCard.h"
#include "VCardLineReader.h"

#include <QStringDecoder>

#include <gtest/gtest.h>

namespace {

// One line per value in property order: "First=Jo", "Email(work)*=a@b"
// (the star marks the primary value), "Address(home)=Street:x|City:y".
QStringList describe(const Person &person)
{
    QStringList lines;
    for (int p = 0; p < Person::PropertyCount; ++p) {
        const auto property = Person::Property(p);
        const QString id = Person::propertyIdentifier(property);
        if (Person::propertyType(property) == Person::PropertyType::String) {
            if (!person.value(property).isEmpty())
                lines.append(id + u'=' + person.value(property));
            continue;
        }
        const Person::MultiValue &multi = person.multiValue(property);
        for (qsizetype i = 0; i < multi.values.size(); ++i) {
            const Person::Value &value = multi.values.at(i);
            QString text = value.text;
            for (const auto &[key, part] : value.dictionary)
                text += (text.isEmpty() ? QString() : QStringLiteral("|")) + key + u':' + part;
            lines.append(QStringLiteral("%1(%2)%3=%4").arg(id, value.label, i == multi.primaryIndex ? "*" : "", text));
        }
    }
    return lines;
}

QList<QStringList> describeAll(const VCardReadResult &result)
{
    QList<QStringList> all;
    for (const Person &person : result.persons)
        all.append(describe(person));
    return all;
}

QByteArray crlf(QByteArray text)
{
    return text.replace("\n", "\r\n");
}

std::string show(const QList<QStringList> &people)
{
    std::string out;
    for (const QStringList &person : people)
        out += person.join(QStringLiteral(" / ")).toStdString() + "\n";
    return out;
}

} // namespace

// Published examples and the shapes real programs export.
TEST(VCard, ExamplesAndExports)
{
    struct Case {
        const char *name;
        QByteArray data;
        QList<QStringList> persons;
    };
    const Case cases[] = {
        {"RFC 6350 section 8, folded between components",
         crlf("BEGIN:VCARD\nVERSION:4.0\nFN:Simon Perreault\nN:Perreault;Simon;;;ing. jr,M.Sc.\nBDAY:--0203\n"
              "ANNIVERSARY:20090808T1430-0500\nGENDER:M\nLANG;PREF=1:fr\nLANG;PREF=2:en\nORG;TYPE=work:Viagenie\n"
              "ADR;TYPE=work:;Suite D2-630;2875 Laurier;\n Quebec;QC;G1V 2M2;Canada\n"
              "TEL;VALUE=uri;TYPE=\"work,voice\";PREF=1:tel:+1-418-656-9254;ext=102\n"
              "TEL;VALUE=uri;TYPE=\"work,cell,voice,video,text\":tel:+1-418-262-6501\n"
              "EMAIL;TYPE=work:simon.perreault@viagenie.ca\nGEO;TYPE=work:geo:46.772673,-71.282945\n"
              "KEY;TYPE=work;VALUE=uri:\n http://www.viagenie.ca/simon.perreault/simon.asc\nTZ:-0500\n"
              "URL;TYPE=home:http://nomis80.org\nEND:VCARD\n"),
         {{"Email(work)*=simon.perreault@viagenie.ca", "First=Simon", "Last=Perreault", "Suffix=ing. jr, M.Sc.",
           "Organization=Viagenie", "Phone(work)*=+1-418-656-9254;ext=102", "Phone(cell)=+1-418-262-6501",
           "Address(work)*=Street:Suite D2-630, 2875 Laurier|City:Quebec|State:QC|ZIP:G1V 2M2|Country:Canada",
           "URLs(home)*=http://nomis80.org"}}},
        {"RFC 2426 section 7, two cards and mixed-case markers",
         crlf("BEGIN:vCard\nVERSION:3.0\nFN:Frank Dawson\nORG:Lotus Development Corporation\n"
              "ADR;TYPE=WORK,POSTAL,PARCEL:;;6544 Battleford Drive\n ;Raleigh;NC;27613-3502;U.S.A.\n"
              "TEL;TYPE=VOICE,MSG,WORK:+1-919-676-9515\nTEL;TYPE=FAX,WORK:+1-919-676-9564\n"
              "EMAIL;TYPE=INTERNET,PREF:Frank_Dawson@Lotus.com\nEMAIL;TYPE=INTERNET:fdawson@earthlink.net\n"
              "URL:http://home.earthlink.net/~fdawson\nEND:vCard\n\n\n"
              "BEGIN:vCard\nVERSION:3.0\nFN:Tim Howes\nORG:Netscape Communications Corp.\n"
              "ADR;TYPE=WORK:;;501 E. Middlefield Rd.;Mountain View;\n CA; 94043;U.S.A.\n"
              "TEL;TYPE=VOICE,MSG,WORK:+1-415-937-3419\nTEL;TYPE=FAX,WORK:+1-415-528-4164\n"
              "EMAIL;TYPE=INTERNET:howes@netscape.com\nEND:vCard\n"),
         {{"Email(other)*=Frank_Dawson@Lotus.com", "Email(other)=fdawson@earthlink.net",
           "Organization=Lotus Development Corporation", "Phone(work)*=+1-919-676-9515", "Phone(fax)=+1-919-676-9564",
           "Address(work)*=Street:6544 Battleford Drive|City:Raleigh|State:NC|ZIP:27613-3502|Country:U.S.A.",
           "URLs(other)*=http://home.earthlink.net/~fdawson"},
          {"Email(other)*=howes@netscape.com", "Organization=Netscape Communications Corp.",
           "Phone(work)*=+1-415-937-3419", "Phone(fax)=+1-415-528-4164",
           "Address(work)*=Street:501 E. Middlefield Rd.|City:Mountain View|State:CA|ZIP:94043|Country:U.S.A."}}},
        {"2.1 with bare parameters, a nested AGENT card and a folded line that keeps its blank",
         crlf("BEGIN:VCARD\nVERSION:2.1\nN:Smith;John;M.;Mr.;Esq.\nTEL;WORK;VOICE;MSG:+1 (919) 555-1234\n"
              "TEL;CELL:+1 (919) 554-6758\nAGENT:\nBEGIN:VCARD\nVERSION:2.1\nN:Friday;Fred\n"
              "EMAIL;INTERNET:fred@example.com\nEND:VCARD\nEMAIL;INTERNET;PREF:john@example.com\n"
              "NOTE:a note written\n in two lines\nEND:VCARD\n"),
         {{"Email(other)*=john@example.com", "First=John", "Last=Smith", "Middle=M.", "Prefix=Mr.", "Suffix=Esq.",
           "Phone(work)*=+1 (919) 555-1234", "Phone(cell)=+1 (919) 554-6758", "Note=a note written in two lines"}}},
        {"2.1 has no lists: a comma in N, NICKNAME and ADR is text",
         crlf("BEGIN:VCARD\nVERSION:2.1\nN:Smith, Jr.;John;;Dr.,Prof.\nNICKNAME:Jo,the kid\n"
              "ADR;HOME:;;1 Main St,Apt 2;Springfield;;;\nEMAIL:js@example.com\nEND:VCARD\n"),
         {{"Email(other)*=js@example.com", "First=John", "Last=Smith, Jr.", "Prefix=Dr.,Prof.",
           "Nickname=Jo,the kid", "Address(home)*=Street:1 Main St,Apt 2|City:Springfield"}}},
        {"Android 2.1: quoted-printable UTF-8, soft breaks not indented, END:VCARD inside the note",
         crlf("BEGIN:VCARD\nVERSION:2.1\nN;CHARSET=UTF-8;ENCODING=QUOTED-PRINTABLE:M=C3=BCller;J=C3=BCrgen;;;\n"
              "FN;CHARSET=UTF-8;ENCODING=QUOTED-PRINTABLE:J=C3=BCrgen M=C3=BCller\nTEL;CELL:+49 170 1234567\n"
              "EMAIL;HOME:juergen@example.de\n"
              "NOTE;CHARSET=UTF-8;ENCODING=QUOTED-PRINTABLE:Erste Zeile=0D=0AZweite Zeile, die =\n"
              "umgebrochen wird=0D=0A=\nEND:VCARD steht hier nur als Text\nEND:VCARD\n"),
         {{"Email(home)*=juergen@example.de", "First=Jürgen", "Last=Müller", "Phone(cell)*=+49 170 1234567",
           "Note=Erste Zeile\nZweite Zeile, die umgebrochen wird\nEND:VCARD steht hier nur als Text"}}},
        {"Outlook 2.1 in Windows-1252, plain and quoted-printable",
         crlf("BEGIN:VCARD\nVERSION:2.1\nN;LANGUAGE=de;CHARSET=Windows-1252:Gr\xf6\xdf" "e;Ren\xe9" "e\n"
              "ORG;CHARSET=Windows-1252:Caf\xe9 Ltd;Vertrieb;Nord\nTITLE:Leiterin\n"
              "NOTE;ENCODING=QUOTED-PRINTABLE;CHARSET=Windows-1252:Preis: 5 =80 =84gut=93=0D=0A=\nZweite Zeile\n"
              "EMAIL;PREF;INTERNET:renee@example.com\nX-MS-OL-DEFAULT-POSTAL-ADDRESS:2\nEND:VCARD\n"),
         {{"Email(other)*=renee@example.com", "First=Renée", "Last=Größe", "Organization=Café Ltd",
           "Department=Vertrieb, Nord", "JobTitle=Leiterin", "Note=Preis: 5 € „gut“\nZweite Zeile"}}},
        {"Apple 3.0 with item labels, its own and typed ones",
         crlf("BEGIN:VCARD\nVERSION:3.0\nPRODID:-//Apple Inc.//macOS 13.0//EN\nN:Appleseed;Johnny;;;\n"
              "FN:Johnny Appleseed\nitem1.EMAIL;type=INTERNET:johnny@example.com\nitem1.X-ABLabel:Private\n"
              "item2.EMAIL;type=INTERNET;type=pref:j.appleseed@work.example\nitem2.X-ABLabel:_$!<Work>!$_\n"
              "TEL;type=CELL;type=VOICE;type=pref:+1 555 0100\n"
              "item3.ADR;type=HOME;type=pref:;;1 Infinite Loop;Cupertino;CA;95014;USA\nitem3.X-ABADR:us\n"
              "item4.URL:http://example.com/j\nitem4.X-ABLabel:_$!<HomePage>!$_\nEND:VCARD\n"),
         {{"Email(Private)=johnny@example.com", "Email(work)*=j.appleseed@work.example", "First=Johnny",
           "Last=Appleseed", "Phone(cell)*=+1 555 0100",
           "Address(home)*=Street:1 Infinite Loop|City:Cupertino|State:CA|ZIP:95014|Country:USA",
           "URLs(homepage)*=http://example.com/j"}}},
    };
    for (const Case &c : cases) {
        const VCardReadResult result = VCard::personsFromVCard(c.data);
        EXPECT_EQ(show(describeAll(result)), show(c.persons)) << c.name;
        EXPECT_EQ(result.skippedCards, 0) << c.name;
        EXPECT_EQ(result.droppedValues, 0) << c.name;
    }
}

// Lines, folds and escapes, each in a card of its own: the note it yields.
TEST(VCard, UnfoldingDecodingAndEscapes)
{
    struct Case {
        const char *name;
        QByteArray lines;
        QString note;
    };
    const Case cases[] = {
        {"3.0 fold inside a two-byte character", "VERSION:3.0\r\nNOTE:gr\xc3\r\n \xbc\xc3\x9f" "e", "grüße"},
        {"4.0 fold inside a four-byte character, tab as the fold blank", "VERSION:4.0\nNOTE:x\xf0\x9f\n\t\x98\x80y",
         "x\U0001F600y"},
        {"2.1 fold keeps its blank", "VERSION:2.1\rNOTE:one\r two", "one two"},
        {"3.0 fold drops one blank only", "VERSION:3.0\nNOTE:one\n  two", "one two"},
        {"3.0 escapes", "VERSION:3.0\nNOTE:a\\nb\\Nc\\,d\\;e\\\\f\\xg", "a\nb\nc,d;e\\f\\xg"},
        {"2.1 keeps backslashes that escape nothing", "VERSION:2.1\nNOTE:C:\\temp\\new\\; ok", "C:\\temp\\new; ok"},
        {"escaped END:VCARD stays in the note", "VERSION:3.0\nNOTE:before\\nEND:VCARD\\nafter", "before\nEND:VCARD\nafter"},
        {"folded END:VCARD stays in the note", "VERSION:3.0\nNOTE:before\n END:VCARD", "beforeEND:VCARD"},
        {"quoted-printable END:VCARD", "VERSION:2.1\nNOTE;QUOTED-PRINTABLE:a=0D=0AEND:VCARD=0D=0Ab", "a\nEND:VCARD\nb"},
        {"quoted-printable lower-case hex and a stray equals sign", "VERSION:2.1\nNOTE;ENCODING=QUOTED-PRINTABLE:=c3=a4 1=2",
         "ä 1=2"},
        {"charset named wrongly falls back to UTF-8", "VERSION:3.0\nNOTE;CHARSET=ISO-8859-2x:\xc3\xa9t\xc3\xa9", "été"},
        {"Shift JIS, whose second bytes may be a backslash", "VERSION:2.1\nNOTE;CHARSET=SHIFT_JIS:\x93\xfa\x96\x7b\x95\x5c",
         "日本表"},
        {"undeclared 8-bit text that is not UTF-8 is Windows-1252", "VERSION:2.1\nNOTE:caf\xe9 \x80\x81", "café €\u0081"},
        {"quoted parameter holding separators", "VERSION:4.0\nNOTE;X-A=\"a;b:c,d\";LANGUAGE=en:fine", "fine"},
    };
    for (const Case &c : cases) {
        const QByteArray data = "BEGIN:VCARD\r\n" + c.lines + "\r\nEND:VCARD\r\n";
        const VCardReadResult result = VCard::personsFromVCard(data);
        ASSERT_EQ(result.persons.size(), 1) << c.name;
        EXPECT_EQ(result.persons.first().value(Person::Note), c.note) << c.name;
    }
}

// Where cards begin and end, and what is counted when they do not.
TEST(VCard, CardBoundariesAndSkippedCards)
{
    const auto names = [](const VCardReadResult &result) {
        QStringList list;
        for (const Person &person : result.persons)
            list.append(person.value(Person::Last));
        return list;
    };
    struct Case {
        const char *name;
        QByteArray data;
        QStringList persons;
        int skipped;
    };
    // Agents inside agents, deeper than the reader follows, in both ways 2.1 writes them.
    QByteArray deep = "BEGIN:VCARD\nVERSION:2.1\nN:Outer\n";
    for (int level = 0; level < VCard::MaxNesting + 2; ++level)
        deep += level % 2 ? "AGENT:BEGIN:VCARD\nN:Agent\n" : "AGENT:\nBEGIN:VCARD\nVERSION:2.1\nN:Agent\n";
    for (int level = 0; level < VCard::MaxNesting + 2; ++level)
        deep += "EMAIL:agent@x.org\nEND:VCARD\n";
    deep += "EMAIL:outer@x.org\nEND:VCARD\nBEGIN:VCARD\nN:Next\nEND:VCARD\n";
    const Case cases[] = {
        {"agents nested past the limit are read over, never the person", deep, {"Outer", "Next"}, 0},
        {"END before BEGIN and text between cards", "END:VCARD\nnoise\nBEGIN:VCARD\nN:A\nEND:VCARD\nEND:VCARD\nx\n",
         {"A"}, 0},
        {"lower case, trailing blanks, CR-only lines", "begin:vcard  \rn:A\rend:vcard\t\r", {"A"}, 0},
        {"a card cut short by the next", "BEGIN:VCARD\nN:A\nBEGIN:VCARD\nN:B\nEND:VCARD\n", {"B"}, 1},
        {"the data ends inside a card", "BEGIN:VCARD\nN:A\nEND:VCARD\nBEGIN:VCARD\nN:B\nEMAIL:b@x", {"A"}, 1},
        {"an empty card and one with a UID only", "BEGIN:VCARD\nEND:VCARD\nBEGIN:VCARD\nUID:1\nEND:VCARD\n", {}, 2},
        {"AGENT on one line opens a nested card",
         "BEGIN:VCARD\nVERSION:2.1\nAGENT:BEGIN:VCARD\nN:Inner\nEND:VCARD\nN:Outer\nEND:VCARD\n", {"Outer"}, 0},
        {"a nested card in 2.1 folds like 2.1, the outer card like 3.0",
         "BEGIN:VCARD\nVERSION:3.0\nAGENT:\nBEGIN:VCARD\nVERSION:2.1\nN:In\nEND:VCARD\nN:Out\n er\nEND:VCARD\n",
         {"Outer"}, 0},
        {"a lone BEGIN line between cards is no card", "BEGIN:VCARD\nN:A\nEND:VCARD\nBEGIN:VCARD", {"A"}, 1},
        {"no card at all", "hello\nworld\n", {}, 0},
        {"a soft break before END:VCARD makes it part of the note",
         "BEGIN:VCARD\nN:A\nNOTE;QUOTED-PRINTABLE:x=\nEND:VCARD\n", {}, 1},
    };
    for (const Case &c : cases) {
        const VCardReadResult result = VCard::personsFromVCard(c.data);
        EXPECT_EQ(names(result), c.persons) << c.name;
        EXPECT_EQ(result.skippedCards, c.skipped) << c.name;
    }
}

// The same cards in UTF-16 or UTF-32, with or without a byte-order mark, read as in UTF-8.
TEST(VCard, UnicodeFileEncodings)
{
    const QString text = QStringLiteral("BEGIN:VCARD\r\nVERSION:3.0\r\nN:Müller;Zoë\r\nEMAIL:z@example.org\r\n"
                                        "NOTE:€ \U0001F600\r\nEND:VCARD\r\n");
    const QList<QStringList> expected = describeAll(VCard::personsFromVCard(text.toUtf8()));
    ASSERT_EQ(expected.size(), 1);
    for (const auto encoding : {QStringConverter::Utf8, QStringConverter::Utf16LE, QStringConverter::Utf16BE,
                                QStringConverter::Utf32LE, QStringConverter::Utf32BE}) {
        for (const bool bom : {true, false}) {
            if (!bom && (encoding == QStringConverter::Utf32LE || encoding == QStringConverter::Utf32BE))
                continue;
            QStringEncoder encoder(encoding, bom ? QStringConverter::Flag::WriteBom : QStringConverter::Flag::Default);
            const QByteArray data = encoder.encode(text);
            EXPECT_EQ(describeAll(VCard::personsFromVCard(data)), expected) << int(encoding) << bom;
        }
    }
}

TEST(VCard, PrimaryValuesGroupsAndCategories)
{
    const QByteArray data = crlf(
        "BEGIN:VCARD\nVERSION:4.0\nUID:urn:uuid:a1\nN:A;;;;\nEMAIL;PREF=2:second@x\nEMAIL:plain@x\nEMAIL;PREF=1:first@x\n"
        "CATEGORIES:Friends,Club\\, Chess , Friends\nCATEGORIES:Work\nEND:VCARD\n"
        "BEGIN:VCARD\nVERSION:4.0\nKIND:group\nFN:Team\nMEMBER:urn:uuid:a1\nMEMBER:urn:uuid:b2\nEND:VCARD\n"
        "BEGIN:VCARD\nVERSION:3.0\nN:B;;;;\nEMAIL:x@x\nEMAIL;TYPE=work,pref:y@x\nEND:VCARD\n");
    const VCardReadResult result = VCard::personsFromVCard(data);
    ASSERT_EQ(result.persons.size(), 2);
    ASSERT_EQ(result.groups.size(), 1);
    const Person &a = result.persons.at(0);
    EXPECT_EQ(a.uid(), "urn:uuid:a1");
    EXPECT_EQ(a.multiValue(Person::Email).primary()->text, "first@x");
    EXPECT_EQ(a.categories(), QStringList({"Friends", "Club, Chess", "Work"}));
    EXPECT_EQ(result.persons.at(1).multiValue(Person::Email).primary()->text, "y@x");
    const Person &team = result.groups.first();
    EXPECT_TRUE(team.isGroup());
    EXPECT_EQ(team.formattedName(), "Team");
    EXPECT_EQ(team.members(), QStringList({"urn:uuid:a1", "urn:uuid:b2"}));
}

// Pictures are read over without decoding; values past a bound are counted.
TEST(VCard, LargeValuesAndBounds)
{
    const QByteArray base64 = QByteArray(5 << 20, 'A').toBase64();
    QByteArray folded;
    for (qsizetype i = 0; i < base64.size(); i += 74)
        folded += (i ? "\r\n " : "") + base64.mid(i, 74);
    QByteArray picture21 = "PHOTO;ENCODING=BASE64;TYPE=JPEG:\r\n";
    for (qsizetype i = 0; i < base64.size(); i += 76)
        picture21 += base64.mid(i, 76) + "\r\n"; // 2.1 writers that do not indent
    const QByteArray card = "N:Pic;;;;\r\nEMAIL:p@x\r\n";

    struct Case {
        const char *name;
        QByteArray data;
        int dropped;
    };
    const Case cases[] = {
        {"3.0 folded picture", "BEGIN:VCARD\r\nVERSION:3.0\r\n" + card + "PHOTO;ENCODING=b:" + folded + "\r\nEND:VCARD\r\n", 0},
        {"4.0 picture on one line", "BEGIN:VCARD\r\nVERSION:4.0\r\n" + card + "PHOTO:data:image/jpeg;base64," + base64 +
                                        "\r\nEND:VCARD\r\n", 0},
        {"2.1 picture ended by a blank line", "BEGIN:VCARD\r\nVERSION:2.1\r\n" + card + picture21 + "\r\nEND:VCARD\r\n", 0},
        {"a five megabyte note", "BEGIN:VCARD\r\nVERSION:3.0\r\n" + card + "NOTE:" + base64 + "\r\nEND:VCARD\r\n", 1},
    };
    for (const Case &c : cases) {
        const VCardReadResult result = VCard::personsFromVCard(c.data);
        ASSERT_EQ(result.persons.size(), 1) << c.name;
        EXPECT_EQ(describe(result.persons.first()), QStringList({"Email(other)*=p@x", "Last=Pic"})) << c.name;
        EXPECT_EQ(result.droppedValues, c.dropped) << c.name;
    }

    QByteArray many = "BEGIN:VCARD\nN:Many;;;;\nCATEGORIES:";
    for (int i = 0; i < VCard::MaxCategoriesPerCard + 5; ++i)
        many += "c" + QByteArray::number(i) + ",";
    many += "\n";
    for (int i = 0; i < VCard::MaxPropertiesPerCard + 10; ++i)
        many += "TEL:" + QByteArray::number(i) + "\n";
    many += "END:VCARD\n";
    const VCardReadResult bounded = VCard::personsFromVCard(many);
    ASSERT_EQ(bounded.persons.size(), 1);
    EXPECT_EQ(bounded.persons.first().categories().size(), VCard::MaxCategoriesPerCard);
    EXPECT_EQ(bounded.persons.first().multiValue(Person::Phone).values.size(), VCard::MaxPropertiesPerCard - 2);
    EXPECT_EQ(bounded.droppedValues, 1 + 12);
}

TEST(VCard, LineReaderKeepsOnlyTheStartOfAnOverlongLine)
{
    const QByteArray data = "NOTE:" + QByteArray(300, 'x') + "\r\n " + QByteArray(300, 'y') + "\r\nN:A";
    VCardLineReader reader(data, 100);
    VCardLineReader::Line line;
    ASSERT_TRUE(reader.next(line));
    EXPECT_TRUE(line.tooLong);
    EXPECT_EQ(line.text, "NOTE:" + QByteArray(95, 'x'));
    ASSERT_TRUE(reader.next(line));
    EXPECT_FALSE(line.tooLong);
    EXPECT_EQ(line.text, "N:A");
    EXPECT_FALSE(reader.next(line));
}
