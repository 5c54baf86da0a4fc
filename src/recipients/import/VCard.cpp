#include "VCard.h"

#include "VCardLineReader.h"
#include "VCardProperty.h"

#include <QHash>
#include <QSet>
#include <QStringDecoder>

#include <climits>
#include <vector>

namespace {

bool isLine(QByteArrayView line, QByteArrayView marker)
{
    while (!line.isEmpty() && (line.back() == ' ' || line.back() == '\t'))
        line.chop(1);
    return line.compare(marker, Qt::CaseInsensitive) == 0;
}

VCardVersion versionFrom(QByteArrayView value, VCardVersion current)
{
    value = value.trimmed();
    if (value == "2.1" || value == "2.0")
        return VCardVersion::V21;
    if (value == "3.0")
        return VCardVersion::V30;
    if (value == "4.0")
        return VCardVersion::V40;
    return current;
}

// UTF-16 and UTF-32 files (with a byte-order mark, or UTF-16 told by its
// zero bytes) become UTF-8, so the line reader sees ASCII structure; a UTF-8
// mark is dropped. True in *converted when the bytes are no longer those
// of the file, so CHARSET no longer describes plain values.
QByteArray normalizedInput(const QByteArray &data, bool *converted)
{
    *converted = false;
    const auto at = [&](qsizetype i) { return i < data.size() ? static_cast<unsigned char>(data[i]) : 0x100; };
    if (at(0) == 0xEF && at(1) == 0xBB && at(2) == 0xBF)
        return data.sliced(3);
    std::optional<QStringConverter::Encoding> encoding;
    if (at(0) == 0xFF && at(1) == 0xFE && at(2) == 0 && at(3) == 0)
        encoding = QStringConverter::Utf32LE;
    else if (at(0) == 0 && at(1) == 0 && at(2) == 0xFE && at(3) == 0xFF)
        encoding = QStringConverter::Utf32BE;
    else if ((at(0) == 0xFF && at(1) == 0xFE) || (at(0) > 0 && at(0) < 0x80 && at(1) == 0 && at(2) > 0 && at(3) == 0))
        encoding = QStringConverter::Utf16LE;
    else if ((at(0) == 0xFE && at(1) == 0xFF) || (at(0) == 0 && at(1) > 0 && at(1) < 0x80 && at(2) == 0))
        encoding = QStringConverter::Utf16BE;
    if (!encoding)
        return data;
    *converted = true;
    QStringDecoder decoder(*encoding);
    return QString(decoder.decode(data)).toUtf8();
}

// Apple writes its own labels as "_$!<Work>!$_" and the user's as typed.
QString labelFrom(const QString &written)
{
    if (written.startsWith(QLatin1String("_$!<")) && written.endsWith(QLatin1String(">!$_")) && written.size() > 8)
        return written.sliced(4, written.size() - 8).toLower();
    return written;
}

// TYPE lists mix kinds ("work,cell,voice,video,text", "VOICE,MSG,WORK"):
// the label is the most telling well-known type, the kind of device before
// the place, else the first type that says more than "pref", "internet" or
// "voice".
QString labelFromTypes(const QList<QByteArray> &types)
{
    static constexpr QByteArrayView Ranked[] = {"cell", "fax", "pager", "home", "work", "main", "other"};
    for (const QByteArrayView known : Ranked) {
        if (types.contains(known))
            return QString::fromLatin1(known);
    }
    for (const QByteArray &type : types) {
        if (type != "pref" && type != "internet" && type != "voice")
            return QString::fromUtf8(type);
    }
    return {};
}

// Collects one card's properties into a person. Labels and the primary
// value are settled at the end: an "item1.X-ABLabel" line may come after
// the value it names.
class CardBuilder {
public:
    CardBuilder(VCardReadResult &result, bool plainBytesInCharset)
        : m_result(result), m_plainBytesInCharset(plainBytesInCharset)
    {
    }

    VCardVersion version = VCardVersion::V30;
    bool pastCardLimit = false;

    void add(const VCardProperty &property, bool tooLong);
    void finish();

private:
    struct Pending {
        Person::Property property;
        QByteArray group;
        QList<QByteArray> types;
        int prefRank;
        Person::Value value;
    };

    // The text of a property we keep; nothing when it is binary or was cut.
    std::optional<QString> textOf(const VCardProperty &property, bool tooLong);
    QString unescaped(QStringView text) const { return VCardProperty::unescape(text, version); }
    // A list value ("a,b") unescaped and joined for a table cell.
    QString joinedList(QStringView text, const QString &glue) const;
    void setOnce(Person::Property property, const QString &value);
    void addPending(Person::Property property, const VCardProperty &line, Person::Value value);
    void addName(const QString &text);
    void addOrganization(const QString &text);
    void addAddress(const VCardProperty &line, const QString &text);

    VCardReadResult &m_result;
    bool m_plainBytesInCharset;
    Person m_person;
    int m_propertyCount = 0;
    QList<Pending> m_pending;
    QHash<QByteArray, QString> m_groupLabels;
    QSet<QString> m_categories;
};

std::optional<QString> CardBuilder::textOf(const VCardProperty &property, bool tooLong)
{
    if (tooLong) {
        ++m_result.droppedValues;
        return std::nullopt;
    }
    return property.text(m_plainBytesInCharset);
}

QString CardBuilder::joinedList(QStringView text, const QString &glue) const
{
    // 2.1 knows no lists inside a component: its commas are text.
    if (version == VCardVersion::V21)
        return unescaped(text).trimmed();
    QStringList items;
    for (const QString &item : VCardProperty::splitEscaped(text, u',')) {
        const QString value = unescaped(item).trimmed();
        if (!value.isEmpty())
            items.append(value);
    }
    return items.join(glue);
}

void CardBuilder::setOnce(Person::Property property, const QString &value)
{
    if (m_person.value(property).isEmpty() && !value.isEmpty())
        m_person.setValue(property, value);
}

void CardBuilder::addPending(Person::Property property, const VCardProperty &line, Person::Value value)
{
    // PREF=1 is the most preferred (RFC 6350 5.3); 3.0's TYPE=pref means the same.
    int rank = line.pref > 0 ? line.pref : line.types.contains("pref") ? 1 : 101;
    m_pending.append({property, line.group, line.types, rank, std::move(value)});
}

void CardBuilder::addName(const QString &text)
{
    // Family; Given; Additional; Prefixes; Suffixes (RFC 6350 6.2.2).
    static constexpr Person::Property Parts[] = {Person::Last, Person::First, Person::Middle, Person::Prefix,
                                                 Person::Suffix};
    const QStringList components = VCardProperty::splitEscaped(text, u';');
    for (qsizetype i = 0; i < components.size() && i < qsizetype(std::size(Parts)); ++i) {
        const QString glue = Parts[i] == Person::Suffix ? QStringLiteral(", ") : QStringLiteral(" ");
        setOnce(Parts[i], joinedList(components.at(i), glue));
    }
}

void CardBuilder::addOrganization(const QString &text)
{
    const QStringList components = VCardProperty::splitEscaped(text, u';');
    setOnce(Person::Organization, unescaped(components.first()).trimmed());
    QStringList units;
    for (qsizetype i = 1; i < components.size(); ++i) {
        const QString unit = unescaped(components.at(i)).trimmed();
        if (!unit.isEmpty())
            units.append(unit);
    }
    setOnce(Person::Department, units.join(QStringLiteral(", ")));
}

void CardBuilder::addAddress(const VCardProperty &line, const QString &text)
{
    // PO box; extended; street; locality; region; postal code; country.
    QStringList components = VCardProperty::splitEscaped(text, u';');
    components.resize(7);
    QStringList street;
    for (int i = 0; i < 3; ++i) {
        const QString part = joinedList(components.at(i), QStringLiteral(", "));
        if (!part.isEmpty())
            street.append(part);
    }
    const std::pair<QString, QString> keyed[] = {
        {Person::StreetKey, street.join(QStringLiteral(", "))},
        {Person::CityKey, joinedList(components.at(3), QStringLiteral(", "))},
        {Person::StateKey, joinedList(components.at(4), QStringLiteral(", "))},
        {Person::ZipKey, joinedList(components.at(5), QStringLiteral(", "))},
        {Person::CountryKey, joinedList(components.at(6), QStringLiteral(", "))},
    };
    Person::Value value;
    for (const auto &pair : keyed) {
        if (!pair.second.isEmpty())
            value.dictionary.append(pair);
    }
    if (!value.dictionary.isEmpty())
        addPending(Person::Address, line, std::move(value));
}

void CardBuilder::add(const VCardProperty &property, bool tooLong)
{
    if (++m_propertyCount > VCard::MaxPropertiesPerCard) {
        ++m_result.droppedValues;
        return;
    }
    const QByteArray &name = property.name;
    const auto text = [&]() { return textOf(property, tooLong); };

    if (name == "EMAIL" || name == "TEL" || name == "URL") {
        const std::optional<QString> value = text();
        if (!value)
            return;
        QString single = unescaped(*value).trimmed();
        const Person::Property target = name == "EMAIL" ? Person::Email : name == "TEL" ? Person::Phone : Person::URLs;
        // 4.0 may write a number as a URI (RFC 6350 6.4.1).
        if (target == Person::Phone && single.startsWith(QLatin1String("tel:"), Qt::CaseInsensitive))
            single.remove(0, 4);
        if (!single.isEmpty())
            addPending(target, property, Person::Value{QString(), single, {}});
    } else if (name == "N") {
        if (const std::optional<QString> value = text())
            addName(*value);
    } else if (name == "ORG") {
        if (const std::optional<QString> value = text())
            addOrganization(*value);
    } else if (name == "ADR") {
        if (const std::optional<QString> value = text())
            addAddress(property, *value);
    } else if (name == "NICKNAME") {
        if (const std::optional<QString> value = text())
            setOnce(Person::Nickname, joinedList(*value, QStringLiteral(", ")));
    } else if (name == "TITLE" || name == "NOTE") {
        if (const std::optional<QString> value = text())
            setOnce(name == "TITLE" ? Person::JobTitle : Person::Note, unescaped(*value).trimmed());
    } else if (name == "X-ABLABEL") {
        if (const std::optional<QString> value = text(); value && !property.group.isEmpty())
            m_groupLabels.insert(property.group, labelFrom(unescaped(*value).trimmed()));
    } else if (name == "FN") {
        if (const std::optional<QString> value = text(); value && m_person.formattedName().isEmpty())
            m_person.setFormattedName(unescaped(*value).trimmed());
    } else if (name == "UID") {
        if (const std::optional<QString> value = text(); value && m_person.uid().isEmpty())
            m_person.setUid(unescaped(*value).trimmed());
    } else if (name == "KIND") {
        if (const std::optional<QString> value = text(); value && value->trimmed().compare(u"group", Qt::CaseInsensitive) == 0)
            m_person.setKind(Person::Kind::Group);
    } else if (name == "MEMBER") {
        if (const std::optional<QString> value = text()) {
            const QString member = unescaped(*value).trimmed();
            if (!member.isEmpty())
                m_person.addMember(member);
        }
    } else if (name == "CATEGORIES") {
        if (const std::optional<QString> value = text()) {
            for (const QString &item : VCardProperty::splitEscaped(*value, u',')) {
                const QString category = unescaped(item).trimmed();
                if (category.isEmpty() || m_categories.contains(category))
                    continue;
                if (m_categories.size() >= VCard::MaxCategoriesPerCard) {
                    ++m_result.droppedValues;
                    break;
                }
                m_categories.insert(category);
                m_person.addCategory(category);
            }
        }
    }
}

void CardBuilder::finish()
{
    std::array<int, Person::PropertyCount> bestRank;
    bestRank.fill(INT_MAX);
    for (Pending &pending : m_pending) {
        QString label = pending.group.isEmpty() ? QString() : m_groupLabels.value(pending.group);
        if (label.isEmpty())
            label = labelFromTypes(pending.types);
        pending.value.label = label.isEmpty() ? Person::OtherLabel : label;
        Person::MultiValue &multi = m_person.multiValue(pending.property);
        if (pending.prefRank < bestRank[pending.property]) {
            bestRank[pending.property] = pending.prefRank;
            multi.primaryIndex = multi.values.size();
        }
        multi.values.append(std::move(pending.value));
    }

    if (pastCardLimit || m_person.isEmpty())
        ++m_result.skippedCards;
    else if (m_person.isGroup())
        m_result.groups.append(std::move(m_person));
    else
        m_result.persons.append(std::move(m_person));
}

} // namespace

VCardReadResult VCard::personsFromVCard(const QByteArray &data)
{
    VCardReadResult result;
    if (data.size() > MaxInputBytes) {
        result.tooLarge = true;
        return result;
    }
    bool converted = false;
    const QByteArray text = normalizedInput(data, &converted);
    VCardLineReader reader(text);

    std::optional<CardBuilder> card;
    int cardCount = 0;
    // Versions of the AGENT cards we are inside, innermost last; their lines are read over.
    std::vector<VCardVersion> nested;
    // AGENT cards inside those, past MaxNesting: read over as well, their
    // versions not followed.
    int tooDeep = 0;
    // The previous line was "AGENT:" with no value: 2.1 writes the agent's card on the following lines.
    bool agentFollows = false;

    const auto currentVersion = [&] { return nested.empty() ? card->version : nested.back(); };
    const auto startCard = [&] {
        card.emplace(result, !converted);
        card->pastCardLimit = ++cardCount > MaxCards;
        nested.clear();
        tooDeep = 0;
        reader.setKeepFoldBlank(false);
    };
    const auto enterAgent = [&] {
        if (nested.size() + 1 < MaxNesting)
            nested.push_back(VCardVersion::V30);
        else
            ++tooDeep;
        reader.setKeepFoldBlank(false);
    };

    VCardLineReader::Line line;
    while (reader.next(line)) {
        if (isLine(line.text, "BEGIN:VCARD")) {
            if (card && agentFollows) {
                enterAgent();
            } else {
                // A card still open here was cut short; the new one starts fresh.
                if (card)
                    ++result.skippedCards;
                startCard();
            }
            agentFollows = false;
            continue;
        }
        agentFollows = false;
        if (!card)
            continue; // Text between cards, or a stray "END:VCARD".
        if (isLine(line.text, "END:VCARD")) {
            if (tooDeep > 0) {
                --tooDeep;
                reader.setKeepFoldBlank(tooDeep == 0 && currentVersion() == VCardVersion::V21);
            } else if (nested.empty()) {
                card->finish();
                card.reset();
            } else {
                nested.pop_back();
                reader.setKeepFoldBlank(currentVersion() == VCardVersion::V21);
            }
            continue;
        }

        const std::optional<VCardProperty> property = VCardProperty::parse(line.text);
        if (!property)
            continue; // 2.1 base64 lines written without indentation, and other debris.
        if (property->name == "AGENT") {
            const QByteArrayView value = property->rawValue.trimmed();
            if (value.isEmpty())
                agentFollows = true;
            else if (value.compare("BEGIN:VCARD", Qt::CaseInsensitive) == 0)
                enterAgent();
            continue;
        }
        if (property->name == "VERSION") {
            if (tooDeep > 0)
                continue;
            const VCardVersion version = versionFrom(property->rawValue, currentVersion());
            if (nested.empty())
                card->version = version;
            else
                nested.back() = version;
            reader.setKeepFoldBlank(version == VCardVersion::V21);
            continue;
        }
        if (nested.empty())
            card->add(*property, line.tooLong);
    }
    if (card)
        ++result.skippedCards; // The data ended inside a card.
    return result;
}
