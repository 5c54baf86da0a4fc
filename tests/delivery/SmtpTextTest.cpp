// Envelope addresses and the DATA text as they go on the wire.
#include "SmtpText.h"

#include <gtest/gtest.h>

using SmtpText::envelopeAddress;

TEST(SmtpText, EnvelopeAddressIsTheTextInsideTheBrackets)
{
    struct Row {
        QByteArray input;
        const char *envelope; // nullptr: refused
    };
    const Row rows[] = {
        {"ann@example.org", "ann@example.org"},
        {"  ann@example.org\t", "ann@example.org"},
        {"Ann Example <ann@example.org>", "ann@example.org"},
        {"\"Doe, <John>\" <j@x.org>", "j@x.org"},
        {"< j@x.org >", "j@x.org"},
        {"<\"odd>local\"@x.org>", "\"odd>local\"@x.org"},
        {QString("Jörg <jörg@exämple.de>").toUtf8(), "j\xC3\xB6rg@ex\xC3\xA4mple.de"},
        // Anything that could end the command early or add to it.
        {"a@b.org\r\nRCPT TO:<evil@x.org>", nullptr},
        {"a@b.org\n", nullptr},
        {"a@b.org\r", nullptr},
        {QByteArray("a@b.org\0x", 9), nullptr},
        {"Name\r\n <a@b.org>", nullptr},
        {"a\tb@c.org", nullptr},
        {"<a@b.org> SIZE=999999999", nullptr},
        {"<a@b.org>>", nullptr},
        {"a@b.org>", nullptr},
        {"Name <a@b.org", nullptr},
        {"<a<b@c.org>", nullptr},
        {"", nullptr},
        {"<>", nullptr},
    };
    for (const Row &row : rows) {
        const auto result = envelopeAddress(row.input, false);
        if (row.envelope)
            EXPECT_EQ(result, QByteArray(row.envelope)) << row.input.toStdString();
        else
            EXPECT_FALSE(result.has_value()) << row.input.toStdString();
    }
    // The null reverse-path is a valid sender.
    EXPECT_EQ(envelopeAddress("<>", true), QByteArray(""));

    const QByteArray local(494, 'a');
    EXPECT_TRUE(envelopeAddress(local + "@b.org", false).has_value()); // 500 bytes
    EXPECT_FALSE(envelopeAddress(local + "@bc.org", false).has_value());
    EXPECT_TRUE(envelopeAddress("A very long display name " + QByteArray(600, 'n') + " <a@b.org>", false));
}

TEST(SmtpText, AddressListsSplitOutsideQuotesAndBrackets)
{
    EXPECT_EQ(SmtpText::splitAddressList("a@x.org, b@y.org"), QStringList({"a@x.org", "b@y.org"}));
    EXPECT_EQ(SmtpText::splitAddressList(" ,a@x.org,, ,b@y.org , "), QStringList({"a@x.org", "b@y.org"}));
    EXPECT_EQ(SmtpText::splitAddressList("\"Doe, John\" <j@x.org>, \"A \\\", B\" <ab@y.org>"),
              QStringList({"\"Doe, John\" <j@x.org>", "\"A \\\", B\" <ab@y.org>"}));
    EXPECT_EQ(SmtpText::splitAddressList("<a,b@x.org>"), QStringList({"<a,b@x.org>"}));
    EXPECT_TRUE(SmtpText::splitAddressList(" , ").isEmpty());
    EXPECT_EQ(SmtpText::splitAddressList("a@x.org\r, b@y.org"), QStringList({"a@x.org\r", "b@y.org"}));
}

TEST(SmtpText, DataTextIsDotStuffedWithCrLfLineEnds)
{
    struct Row {
        QByteArray text;
        QByteArray wire; // what the writer gets; it adds one CR LF, then "." CR LF follows
    };
    const Row rows[] = {
        {"Hello", "Hello"},
        {"Hello\r\n", "Hello"},
        {"Hello\r\n\r\n", "Hello\r\n"},
        {".", ".."},
        {".\r\n", ".."},
        {"a\r\n.\r\nb", "a\r\n..\r\nb"},
        {"a\n.b\r..c\r\n...", "a\r\n..b\r\n...c\r\n...."},
        {"bare\rCR and\nLF\r\n\r\nx.y", "bare\r\nCR and\r\nLF\r\n\r\nx.y"},
        {"\n\r", "\r\n"},
        {"", ""},
    };
    for (const Row &row : rows)
        EXPECT_EQ(SmtpText::dataText(row.text), row.wire) << row.text.toStdString();
}
