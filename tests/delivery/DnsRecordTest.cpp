// The answer parser and the exchanger choice on hand-made responses: well
// formed ones, and the hostile kinds a name server or a forger can send.
#include <gtest/gtest.h>

#include "DNSRecord.h"
#include "MailExchangers.h"

#include <QByteArray>
#include <QStringList>

#include <cstring>
#include <stdexcept>

namespace {

// Builds a DNS message byte by byte.
class Packet {
public:
    Packet &u8(int v)
    {
        bytes.append(char(v));
        return *this;
    }
    Packet &u16(int v) { return u8(v >> 8).u8(v & 0xFF); }
    Packet &u32(quint32 v) { return u16(int(v >> 16)).u16(int(v & 0xFFFF)); }
    Packet &header(int questions, int answers, int id = 0x1234)
    {
        return u16(id).u16(0x8180).u16(questions).u16(answers).u16(0).u16(0);
    }
    // Labels of a dotted name, ending in the root unless a pointer follows.
    Packet &labels(const QByteArray &dotted)
    {
        for (const QByteArray &label : dotted.split('.')) {
            if (!label.isEmpty())
                u8(int(label.size())).raw(label);
        }
        return *this;
    }
    Packet &name(const QByteArray &dotted) { return labels(dotted).u8(0); }
    Packet &pointer(int offset) { return u16(0xC000 | offset); }
    Packet &raw(const QByteArray &b)
    {
        bytes.append(b);
        return *this;
    }
    Packet &question(const QByteArray &dotted, int type = 15) { return name(dotted).u16(type).u16(1); }
    // Type, class, TTL and data length of a record whose owner is already written.
    Packet &fixed(int type, int dataLength) { return u16(type).u16(1).u32(3600).u16(dataLength); }
    static int wireSize(const QByteArray &dotted) { return dotted.isEmpty() ? 1 : int(dotted.size()) + 2; }
    Packet &mx(int preference, const QByteArray &exchange)
    {
        return fixed(15, 2 + wireSize(exchange)).u16(preference).name(exchange);
    }
    Packet &cname(const QByteArray &target) { return fixed(5, wireSize(target)).name(target); }
    [[nodiscard]] DNSRecord record() const
    {
        return DNSRecord(reinterpret_cast<const unsigned char *>(bytes.constData()), int(bytes.size()));
    }
    QByteArray bytes;
};

QStringList hosts(const QList<MailExchanger> &exchangers)
{
    QStringList out;
    for (const MailExchanger &e : exchangers)
        out << e.host;
    return out;
}

// alpha.test with MX 20 mx2 and 10 mx1, owners compressed to the question name.
Packet alphaAnswer()
{
    Packet p;
    p.header(1, 2).question("alpha.test");
    p.pointer(12).mx(20, "mx2.alpha.test");
    p.pointer(12).mx(10, "mx1.alpha.test");
    return p;
}

} // namespace

TEST(DnsRecord, ParsesHeaderAndAnswersInOrder)
{
    Packet p;
    p.header(1, 5, 0xBEEF).question("alpha.test");
    p.pointer(12).mx(20, "mx2.alpha.test");
    p.pointer(12).fixed(16, 6).u8(5).raw("hello"); // TXT: skipped
    p.pointer(12).fixed(1, 4).u8(192).u8(0).u8(2).u8(7);
    p.pointer(12).fixed(5, 2).pointer(12); // CNAME to the question name
    p.pointer(12).mx(10, "mx1.alpha.test");
    const DNSRecord r = p.record();

    EXPECT_EQ(r.header().packetID, 0xBEEF);
    EXPECT_EQ(r.dnsAnswerLength(), p.bytes.size());
    ASSERT_EQ(r.entries().size(), 5u);
    EXPECT_EQ(r.entries()[0].name(), "alpha.test");
    EXPECT_EQ(r.entries()[0].answer().rrTTL, 3600u);
    EXPECT_EQ(r.entries()[0].answer().preference, 20u);
    EXPECT_EQ(r.entries()[1].type(), DNSEntry::OtherKind);
    EXPECT_EQ(r.entries()[1].rdataAsAddress(), "");
    EXPECT_EQ(r.entries()[2].rdataAsAddress(), "192.0.2.7");
    EXPECT_EQ(r.entries()[3].type(), DNSEntry::CNAMEKind);
    EXPECT_EQ(r.entries()[3].rdataAsAddress(), "alpha.test");
    // entryOfType keeps answer order; the preference is the choice's business.
    ASSERT_NE(r.entryOfType(DNSEntry::MXKind), nullptr);
    EXPECT_EQ(r.entryOfType(DNSEntry::MXKind)->rdataAsAddress(), "mx2.alpha.test");
    EXPECT_EQ(r.entryOfType(DNSEntry::NSKind), nullptr);

    // Parsing again gives the same entries, not twice as many.
    DNSRecord again = r;
    again.parseAnswer();
    EXPECT_EQ(again.entries().size(), 5u);

    // The root name is the empty text (a null MX).
    Packet root;
    root.header(0, 1).name("nullmx.test").mx(0, "");
    ASSERT_EQ(root.record().entries().size(), 1u);
    EXPECT_EQ(root.record().entries()[0].rdataAsAddress(), "");
}

TEST(DnsRecord, ExchangersByPreferenceOwnerAndCase)
{
    EXPECT_EQ(hosts(mailExchangersForDomain(alphaAnswer().record(), "alpha.test")),
              QStringList({"mx1.alpha.test", "mx2.alpha.test"}));
    // Names are compared without case: the server may echo the query's case or not.
    EXPECT_EQ(hosts(mailExchangersForDomain(alphaAnswer().record(), "ALPHA.Test")).size(), 2);

    // Equal preferences keep answer order; records of other names are not ours.
    Packet p;
    p.header(1, 5).question("Alias.TEST");
    p.pointer(12).cname("real.test");
    p.name("REAL.test").mx(5, "b.real.test");
    p.name("real.test").mx(5, "a.real.test");
    p.name("other.test").mx(1, "evil.other.test");
    p.name("real.test").mx(1, "first.real.test");
    EXPECT_EQ(hosts(mailExchangersForDomain(p.record(), "alias.test")),
              QStringList({"first.real.test", "b.real.test", "a.real.test"}));
    EXPECT_TRUE(mailExchangersForDomain(p.record(), "elsewhere.test").isEmpty());

    // A CNAME loop ends.
    Packet loop;
    loop.header(0, 3).name("a.test").cname("b.test");
    loop.name("b.test").cname("a.test");
    loop.name("a.test").mx(1, "mx.a.test");
    EXPECT_EQ(hosts(mailExchangersForDomain(loop.record(), "b.test")), QStringList({"mx.a.test"}));
}

TEST(DnsRecord, EveryTruncationKeepsOnlyWholeRecords)
{
    const Packet full = alphaAnswer();
    const DNSRecord whole = full.record();
    ASSERT_EQ(whole.entries().size(), 2u);
    for (int cut = 0; cut < full.bytes.size(); ++cut) {
        // An exact-size heap copy, so a read past the cut is caught under the address checker.
        const DNSRecord r(reinterpret_cast<const unsigned char *>(full.bytes.constData()), cut);
        ASSERT_LE(r.entries().size(), 1u) << cut;
        if (cut < 12) {
            EXPECT_EQ(r.header().answerCount, 0) << cut;
        }
        for (size_t i = 0; i < r.entries().size(); ++i)
            EXPECT_EQ(r.entries()[i].rdataAsAddress(), whole.entries()[i].rdataAsAddress()) << cut;
    }
    EXPECT_EQ(DNSRecord(nullptr, 40).entries().size(), 0u);
    EXPECT_EQ(DNSRecord(reinterpret_cast<const unsigned char *>("x"), -5).dnsAnswerLength(), 0);
}

TEST(DnsRecord, HostileAnswersAreRefused)
{
    struct Case {
        const char *what;
        Packet packet;
        size_t entries;
    };
    const QByteArray label63(63, 'a');
    const QByteArray name253 = label63 + '.' + label63 + '.' + label63 + '.' + QByteArray(61, 'b');
    std::vector<Case> cases;
    const auto add = [&](const char *what, size_t entries, const Packet &packet) {
        cases.push_back({what, packet, entries});
    };
    add("owner points at itself", 0, Packet().header(0, 1).pointer(12).mx(1, "mx.test"));
    add("owner points at its own start", 0, Packet().header(0, 1).u8(1).raw("a").pointer(12).mx(1, "mx.test"));
    add("owner points forwards", 1,
        Packet().header(0, 2).name("a.test").mx(1, "mx.test").u8(1).raw("b").pointer(50).mx(1, "mx.test"));
    add("exchange points past the end", 0, Packet().header(0, 1).name("a.test").fixed(15, 4).u16(1).pointer(0x3FFF));
    add("more answers claimed than sent", 1, Packet().header(0, 65535).name("a.test").mx(1, "mx.a.test"));
    add("more questions claimed than sent", 0, Packet().header(65535, 1).question("a.test"));
    add("data length past the end", 0, Packet().header(0, 1).name("a.test").fixed(15, 200).u16(1).name("mx.a.test"));
    add("exchange longer than its data length", 1,
        Packet().header(0, 2).name("a.test").fixed(15, 5).u16(1).u8(5).raw("mx").name("a.test").mx(1, "mx.a.test"));
    add("MX without an exchange", 1,
        Packet().header(0, 2).name("a.test").fixed(15, 2).u16(1).name("a.test").mx(1, "mx.a.test"));
    add("short A record", 1, Packet().header(0, 1).name("a.test").fixed(1, 3).u8(1).u8(2).u8(3));
    add("owner of 255 bytes is kept", 1, Packet().header(0, 1).labels(name253).u8(0).mx(1, "mx.test"));
    add("owner of 256 bytes", 0, Packet().header(0, 1).labels(name253 + "b").u8(0).mx(1, "mx.test"));
    add("exchange too long", 0,
        Packet().header(0, 1).name("a.test").fixed(15, 2 + 64 + 254 + 1).u16(1).labels(QByteArray(63, 'x'))
            .labels(name253).u8(0));
    {
        Packet p;
        // Each name adds a label before the previous one: the last is too long
        // only once its pointers are followed.
        p.header(0, 5).name(label63).fixed(16, 0);
        int previous = 12;
        for (int i = 0; i < 4; ++i) {
            const int here = int(p.bytes.size());
            p.labels(label63).pointer(previous).fixed(16, 0);
            previous = here;
        }
        add("name grown through pointers", 3, p);
    }
    add("extended label kind", 0, Packet().header(0, 1).u8(0x41).u8(0).mx(1, "mx.test"));
    add("control bytes in a host name skip the record only", 1,
        Packet()
            .header(0, 3).name("a.test").fixed(15, 13).u16(1).u8(4).raw(QByteArray("mx\0a", 4)).labels("test").u8(0)
            .name("a.test").fixed(15, 13).u16(1).u8(4).raw("mx\r\n").labels("test").u8(0)
            .name("a.test").mx(7, "ok.a.test"));
    add("dot inside a label", 1,
        Packet().header(0, 2).u8(3).raw("a.b").u8(0).mx(1, "mx.test").name("b").mx(1, "mx.test"));

    const auto find = [&](const std::string &what) -> const Packet & {
        for (const Case &c : cases) {
            if (what == c.what)
                return c.packet;
        }
        throw std::logic_error(what);
    };
    for (const Case &c : cases) {
        const DNSRecord r = c.packet.record();
        EXPECT_EQ(r.entries().size(), c.entries) << c.what;
        for (const DNSEntry &e : r.entries()) {
            EXPECT_LT(std::strlen(e.answer().name), 254u) << c.what;
            EXPECT_FALSE(e.rdataAsAddress().contains(QLatin1Char('\n'))) << c.what;
        }
    }
    EXPECT_EQ(find("name grown through pointers").record().entries().back().name().size(), 63 * 3 + 2);
    const DNSRecord skipped = find("control bytes in a host name skip the record only").record();
    ASSERT_EQ(skipped.entries().size(), 1u);
    EXPECT_EQ(skipped.entries()[0].rdataAsAddress(), "ok.a.test");
}
