#include "RecipientSort.h"

#include "CollectionUtils.h"
#include "Values.h"

#include <algorithm>
#include <vector>

namespace RecipientSort {

namespace {

bool isAsciiDigit(char16_t c)
{
    return c >= u'0' && c <= u'9';
}

// The ranks of compareValues: missing, numbers, texts, then dates and the rest.
enum Rank { Missing = 0, Number = 1, Text = 2, Later = 3 };

struct Key {
    int rank = Missing;
    QString natural;
    // The exact text, for ties: in the entry, which the sort does not
    // change, or in `owned`. Keys stay where they were made.
    const QString *text = nullptr;
    QString owned;
    QVariant value;
};

int compareKeys(const Key &a, const Key &b)
{
    if (a.rank != b.rank)
        return a.rank < b.rank ? -1 : 1;
    switch (a.rank) {
    case Missing:
        return 0;
    case Text:
        if (const int order = a.natural.compare(b.natural))
            return order;
        return a.text->compare(*b.text);
    default:
        return CollectionUtils::compareValues(a.value, b.value);
    }
}

} // namespace

QString naturalKey(const QString &text)
{
    QString key;
    key.reserve(text.size() + 8);
    const auto *units = reinterpret_cast<const char16_t *>(text.constData());
    const qsizetype size = text.size();
    for (qsizetype i = 0; i < size;) {
        if (isAsciiDigit(units[i])) {
            qsizetype end = i;
            while (end < size && isAsciiDigit(units[end]))
                ++end;
            qsizetype start = i;
            while (start < end && units[start] == u'0')
                ++start;
            // Any digit against any other character compares as '0' does:
            // no other character lies between the digits.
            const qsizetype length = end - start;
            key.append(QChar(u'0'));
            key.append(QChar(char16_t(length >> 16)));
            key.append(QChar(char16_t(length & 0xFFFF)));
            key.append(QStringView(units + start, length));
            i = end;
            continue;
        }
        // Folded as a case-insensitive comparison folds: one code point at a time.
        char32_t c = units[i];
        qsizetype length = 1;
        if (QChar::isHighSurrogate(c) && i + 1 < size && QChar::isLowSurrogate(units[i + 1])) {
            c = QChar::surrogateToUcs4(units[i], units[i + 1]);
            length = 2;
        }
        const char32_t folded = QChar::toCaseFolded(c);
        if (QChar::requiresSurrogates(folded)) {
            key.append(QChar(QChar::highSurrogate(folded)));
            key.append(QChar(QChar::lowSurrogate(folded)));
        } else {
            key.append(QChar(char16_t(folded)));
        }
        i += length;
    }
    return key;
}

Database::EntryList sortedEntries(const Database &database, const QString &columnID)
{
    const Database::EntryList &entries = database.entryArray();
    const int slot = Database::columnIndexFromIdentifier(columnID);
    const bool isSlot = slot >= 0 && Database::columnIdentifier(slot) == columnID && slot < Database::MaxColumnCount;
    if (!isSlot && columnID != Database::ActiveKey && columnID != Database::LastSentKey)
        return entries;

    std::vector<Key> keys(entries.size());
    for (qsizetype i = 0; i < entries.size(); ++i) {
        const Database::Entry &entry = *entries.at(i);
        Key &key = keys[i];
        if (isSlot) {
            if (const QString *text = entry.slotText(slot)) {
                key.rank = Text;
                key.natural = naturalKey(*text);
                key.text = text;
                continue;
            }
        }
        const QVariant value = entry.value(columnID);
        if (!value.isValid() || value.typeId() == QMetaType::Nullptr)
            continue;
        // A text outside the slot part (under "active", say) sorts as texts do.
        if (isStringValue(value)) {
            key.owned = value.toString();
            if (key.owned.isNull())
                continue;
            key.rank = Text;
            key.natural = naturalKey(key.owned);
            key.text = &key.owned;
            continue;
        }
        key.rank = isNumberValue(value) ? Number : Later;
        key.value = value;
    }
    std::vector<int> order(entries.size());
    for (int i = 0; i < int(order.size()); ++i)
        order[i] = i;
    std::stable_sort(order.begin(), order.end(), [&keys](int a, int b) { return compareKeys(keys[a], keys[b]) < 0; });

    Database::EntryList sorted;
    sorted.reserve(entries.size());
    for (int index : order)
        sorted.append(entries.at(index));
    return sorted;
}

} // namespace RecipientSort
