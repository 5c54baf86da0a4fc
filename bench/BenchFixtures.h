#pragma once

// What the benchmarks share: the reference message (formatted text with
// field tags, two condition tags and an image tag), its subject, the
// generated recipient table and the process's peak memory.

#include "AttributedTagString.h"
#include "ConditionTag.h"
#include "ImageTag.h"
#include "SimpleTag.h"

#include "Database.h"

#include "TextFixtures.h"
#include "BenchProcess.h"

#include <QFile>

#include <ctime>

namespace BenchFixtures {

using BenchProcess::cpuSeconds;
using BenchProcess::peakRssKiB;

using namespace TextFixtures;

inline const QStringList FieldNames = {"FirstName", "LastName", "Title",   "Company", "Street",
                                "Zip",       "City",     "Country", "Email",   "Phone"};

class Builder {
public:
    void text(const QString &characters, const TextAttributes &attributes)
    {
        m_text.append(RichText(characters, attributes));
    }
    void tag(const SimpleTagRef &tag, const TextAttributes &attributes)
    {
        tag->setAttributes(attributes);
        DoInsertTagInAttributedString(tag, m_text, m_text.length());
    }
    void field(const QString &name, const TextAttributes &attributes)
    {
        tag(std::make_shared<SimpleTag>(name), attributes);
    }
    [[nodiscard]] const RichText &result() const { return m_text; }

private:
    RichText m_text;
};

// The two conditions become the fields "Greeting" and "Region" with
// conditionsAsFields, for a template that other programs fill in.
inline RichText referenceBody(const QString &imagePath, bool conditionsAsFields = false)
{
    const TextAttributes body = aligned(font("Helvetica", 12), 4);
    const TextAttributes bold = aligned(font("Helvetica", 12, true), 4);
    const TextAttributes italic = aligned(colored(font("Helvetica", 12, false, true), {0.2f, 0.2f, 0.6f}), 4);
    const TextAttributes heading = aligned(colored(font("Georgia", 20, true), {0.1f, 0.3f, 0.5f}), 2);
    const TextAttributes small = aligned(colored(font("Verdana", 9), {0.4f, 0.4f, 0.4f}), 0);
    const TextAttributes code = aligned(font("Courier", 11), 4);
    const TextAttributes link
        = with(with(body, TextAttributeName::Link, QStringLiteral("https://example.com/offer?id=42&src=mail")),
            TextAttributeName::Underline, 1);
    const TextAttributes bullet = aligned(font("Helvetica", 12), 4, QStringLiteral("{disc}"));

    RichText greetingResult(QStringLiteral("Dear colleague "));
    DoInsertTagInAttributedString(std::make_shared<SimpleTag>("LastName"), greetingResult, greetingResult.length());
    const auto greeting = std::make_shared<ConditionTag>(
        QStringLiteral("Greeting"),
        QList<ConditionRule>{rule("Title", ConditionRule::Equals, "Dr.", RichText("Dear Doctor")),
                             rule("Title", ConditionRule::Contains, "Prof", RichText("Dear Professor")),
                             rule("Title", ConditionRule::DoesNotEqual, "", greetingResult)});
    const auto region = std::make_shared<ConditionTag>(QStringLiteral("Region"),
        QList<ConditionRule>{rule("Country", ConditionRule::Equals, "Germany", RichText("our Berlin office")),
            rule("Country", ConditionRule::DoesNotContain, "Germany", RichText("our partners abroad"))});

    Builder b;
    b.text("Spring news from Example Trading\n", heading);
    if (conditionsAsFields)
        b.field("Greeting", bold);
    else
        b.tag(greeting, bold);
    b.text(" ", body);
    b.field("FirstName", bold);
    b.text(",\n", body);
    b.text("thank you for the orders you placed with us over the last year. As a customer of ", body);
    b.field("Company", italic);
    b.text(" in ", body);
    b.field("City", body);
    b.text(" you are among the first to hear about our new range. This season brings ", body);
    b.text("lighter packaging", bold);
    b.text(", shorter delivery times and a ", body);
    b.text("service desk that answers within the hour", italic);
    b.text(". Orders will be handled by ", body);
    if (conditionsAsFields)
        b.field("Region", bold);
    else
        b.tag(region, bold);
    b.text(".\n", body);
    b.text("What is new:\n", bold);
    b.text("\t\u2022\tRecycled cartons for every shipment, at no extra cost & no minimum order\n", bullet);
    b.text("\t\u2022\tNext-day delivery to ", bullet);
    b.field("Zip", bullet);
    b.text(" and the surrounding area\n", bullet);
    b.text("\t\u2022\tA personal contact for accounts with more than 10 orders <per year>\n", bullet);
    b.text("Our warehouse in the north has been rebuilt over the winter. It now holds twice the stock it held a "
           "year ago, so that ", body);
    b.text("most items ship on the day you order them", bold);
    b.text(", and the new sorting line lets us pack mixed orders without splitting them into several parcels. "
           "Returns are handled there as well: send them back in the original carton with the printed label, and "
           "the credit note reaches you within three working days.\n", body);
    b.text("Prices for the coming season stay where they were for everything in the standard range. Only the "
           "special finishes rise by a small amount, which we explain in detail in the price list attached to "
           "our next letter. Customers with a framework agreement keep their conditions until it ends.\n", body);
    b.text("If you would like to see the new range before you order, our representatives visit customers in "
           "your region every month and bring samples of every finish.\n", body);
    b.text("Your customer record shows the following address:\n", body);
    b.field("Street", code);
    b.text(", ", code);
    b.field("Zip", code);
    b.text(" ", code);
    b.field("City", code);
    b.text(", ", code);
    b.field("Country", code);
    b.text("\n", code);
    b.text("Please check it and tell us if anything has changed. Full details of the new range are on our ", body);
    b.text("offer page", link);
    b.text(", where you can also order samples free of charge.\n", body);
    b.tag(std::make_shared<ImageTag>(imagePath), aligned({}, 2));
    b.text("\nWe look forward to hearing from you.\n", aligned(font("Helvetica", 12), 2));
    b.text("Kind regards,\nThe Example Trading team\n", aligned(font("Helvetica", 12, false, true), 2));
    b.text("This message was sent to ", small);
    b.field("Email", small);
    b.text(". Phone enquiries: ", small);
    b.field("Phone", small);
    b.text(". If you no longer want our news, reply with \"unsubscribe\" and we will remove you from the list at "
           "once; your data is never passed on to third parties.",
           small);
    return b.result();
}

inline RichText referenceSubject()
{
    Builder b;
    b.text("News for ", {});
    b.field("FirstName", {});
    b.text(" at ", {});
    b.field("Company", {});
    return b.result();
}

// The values of one generated row, in FieldNames order.
inline QStringList rowValues(int row)
{
    static const char *const titles[] = {"Dr.", "Prof. Dr.", "Mr", "Ms", ""};
    static const char *const countries[] = {"Germany", "Austria", "France", "Germany"};
    const QString n = QString::number(row);
    return {"First" + n,
            "Last" + n,
            QLatin1String(titles[row % 5]),
            "Company " + n + " & Sons",
            n + " Main Street",
            QString::number(10000 + row % 90000),
            "City" + QString::number(row % 500),
            QLatin1String(countries[row % 4]),
            "person" + n + "@example.com",
            "+49 30 " + n};
}

inline void fillTable(Database &table, int rows)
{
    for (const QString &name : FieldNames)
        table.addField(name);
    QStringList columns;
    for (const QString &name : FieldNames)
        columns.append(table.fieldNameColumnIDMapping().value(name));
    // Row by row, as an import does: a list of all rows in their stored
    // form would double the peak.
    for (int row = 0; row < rows; ++row) {
        const QStringList values = rowValues(row);
        QVariantMap entry;
        for (int k = 0; k < values.size(); ++k)
            entry.insert(columns.at(k), values.at(k));
        table.addEntryWithDict(-1, entry);
    }
}

} // namespace BenchFixtures
