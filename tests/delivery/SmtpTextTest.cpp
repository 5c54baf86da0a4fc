// Envelope addresses and the DATA text as they go on the wire.
#include "SmtpText.h"

#include <gtest/gtest.h>

using SmtpText::envelopeAddress;

TEST(SmtpText, EnvelopeAddressIsTheTextInsideTheBrackets)
{
    struct Row {
        QByteArray input;
        const char *envelope; // nullptr: refused
        const char *reason = nullptr; // part of the refusal's text
    };
    const Row rows[] = {
        {"ann@example.org", "ann@example.org"},
        {"  ann@example.org\t", "ann@example.org"},
        {"Ann Example <ann@example.org>", "ann@example.org"},
        {"\"Doe, <John>\" <j@x.org>", "j@x.org"},
        {"< j@x.org >", "j@x.org"},
        {"<\"odd>local\"@x.org>", "\"odd>local\"@x.org"},
        // The domain goes in its ASCII form; a server without SMTPUTF8 takes no other.
        {QString("Jörg <joerg@exämple.de>").toUtf8(), "joerg@xn--exmple-cua.de"},
        {QString("o@пример.рф").toUtf8(), "o@xn--e1afmkfd.xn--p1ai"},
        {QString("jörg@example.de").toUtf8(), nullptr, "non-ASCII characters before"},
        {QString("a@ex\u00e4mple..de").toUtf8(), nullptr, "cannot be written in ASCII"},
        // A name is no part of the envelope, whatever it holds.
        {"Name\r\n <a@b.org>", "a@b.org"},
        {"\"Ann\r\nBcc: x@y.z\" <a@b.org>", "a@b.org"},
        // Anything that could end the command early or add to it.
        {"<a@b.org\r\nRCPT TO:evil@x.org>", nullptr, "control character"},
        {"a@b.org\r\nRCPT TO:evil@x.org", nullptr, "control character"},
        {"a@b.org\n", nullptr, "control character"},
        {"a@b.org\r", nullptr, "control character"},
        {QByteArray("a@b.org\0x", 9), nullptr, "control character"},
        {"Name <a@b.\norg>", nullptr, "control character"},
        {"a\tb@c.org", nullptr, "control character"},
        {"<a@b.org> SIZE=999999999", nullptr, "not of the form"},
        {"<a@b.org>>", nullptr, "not of the form"},
        {"a@b.org>", nullptr, "not of the form"},
        {"Name <a@b.org", nullptr, "not of the form"},
        {"<a<b@c.org>", nullptr, "not of the form"},
        {"", nullptr, "No mail address"},
        {"<>", nullptr, "No mail address"},
    };
    for (const Row &row : rows) {
        QString why;
        const auto result = envelopeAddress(row.input, false, &why);
        if (row.envelope) {
            EXPECT_EQ(result, QByteArray(row.envelope)) << row.input.toStdString() << ": " << why.toStdString();
        } else {
            EXPECT_FALSE(result.has_value()) << row.input.toStdString();
            EXPECT_TRUE(why.contains(row.reason)) << row.input.toStdString() << ": " << why.toStdString();
            EXPECT_FALSE(why.contains(u'\r') || why.contains(u'\n')) << why.toStdString();
        }
    }
    // The null reverse-path is a valid sender.
    EXPECT_EQ(envelopeAddress("<>", true), QByteArray(""));

    const QByteArray local(494, 'a');
    EXPECT_TRUE(envelopeAddress(local + "@b.org", false).has_value()); // 500 bytes
    QString why;
    EXPECT_FALSE(envelopeAddress(local + "@bc.org", false, &why).has_value());
    EXPECT_TRUE(why.contains("longer than 500")) << why.toStdString();
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
