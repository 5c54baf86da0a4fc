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
    QString natural;
    // The exact text, for ties.
    const QString *text = nullptr;
    int rank = Missing;
    int index = 0;
    // Into the texts or values kept beside the keys.
    int other = -1;
};

} // namespace

void writeNaturalKey(QStringView text, QString &key)
{
    // A unit becomes at most two (a folded character outside the first
    // plane); a digit run gains three.
    key.resize(text.size() * 3 + 3);
    char16_t *out = reinterpret_cast<char16_t *>(key.data());
    char16_t *const begin = out;
    const char16_t *units = text.utf16();
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
            *out++ = u'0';
            *out++ = char16_t(length >> 16);
            *out++ = char16_t(length & 0xFFFF);
            for (qsizetype k = start; k < end; ++k)
                *out++ = units[k];
            i = end;
            continue;
        }
        const char16_t unit = units[i];
        if (unit < 0x80) {
            *out++ = unit >= u'A' && unit <= u'Z' ? char16_t(unit + 32) : unit;
            ++i;
            continue;
        }
        // Folded as a case-insensitive comparison folds: one code point at a time.
        char32_t c = unit;
        qsizetype length = 1;
        if (QChar::isHighSurrogate(c) && i + 1 < size && QChar::isLowSurrogate(units[i + 1])) {
            c = QChar::surrogateToUcs4(unit, units[i + 1]);
            length = 2;
        }
        const char32_t folded = QChar::toCaseFolded(c);
        if (QChar::requiresSurrogates(folded)) {
            *out++ = QChar::highSurrogate(folded);
            *out++ = QChar::lowSurrogate(folded);
        } else {
            *out++ = char16_t(folded);
        }
        i += length;
    }
    key.resize(out - begin);
}

QString naturalKey(const QString &text)
{
    QString key;
    writeNaturalKey(text, key);
    return key;
}

Database::EntryList sortedEntries(const Database &database, const QString &columnID)
{
    const Database::EntryList &entries = database.entryArray();
    const int slot = Database::columnIndexFromIdentifier(columnID);
    const bool isSlot = slot >= 0 && Database::columnIdentifier(slot) == columnID && slot < Database::MaxColumnCount;
    if (!isSlot && columnID != Database::ActiveKey && columnID != Database::LastSentKey)
        return entries;

    // Sorted themselves rather than through indexes, for locality; values
    // other than texts, rare, wait beside them.
    std::vector<Key> keys(entries.size());
    // Keys are written here and copied at their size: written in place they
    // would keep room for three times their length.
    QString scratch;
    QList<QString> ownTexts;
    QList<QVariant> values;
    for (qsizetype i = 0; i < entries.size(); ++i) {
        const Database::Entry &entry = *entries.at(i);
        Key &key = keys[i];
        key.index = int(i);
        if (isSlot) {
            if (const QString *text = entry.slotText(slot)) {
                key.rank = Text;
                writeNaturalKey(*text, scratch);
                key.natural = QString(scratch.constData(), scratch.size());
                key.text = text;
                continue;
            }
        }
        const QVariant value = entry.value(columnID);
        if (!value.isValid() || value.typeId() == QMetaType::Nullptr)
            continue;
        // A text outside the slot part (under "active", say) sorts as texts do.
        if (isStringValue(value) && !value.toString().isNull()) {
            key.rank = Text;
            key.natural = naturalKey(value.toString());
            key.other = int(ownTexts.size());
            ownTexts.append(value.toString());
            continue;
        }
        key.rank = isNumberValue(value) ? Number : Later;
        key.other = int(values.size());
        values.append(value);
    }
    // The texts kept here stay where they are from now on.
    for (Key &key : keys) {
        if (key.rank == Text && !key.text)
            key.text = &ownTexts.at(key.other);
    }
    std::stable_sort(keys.begin(), keys.end(), [&values](const Key &a, const Key &b) {
        if (a.rank != b.rank)
            return a.rank < b.rank;
        switch (a.rank) {
        case Missing:
            return false;
        case Text:
            if (const int order = QStringView(a.natural).compare(QStringView(b.natural)))
                return order < 0;
            return QStringView(*a.text).compare(QStringView(*b.text)) < 0;
        default:
            return CollectionUtils::compareValues(values.at(a.other), values.at(b.other)) < 0;
        }
    });

    Database::EntryList sorted;
    sorted.reserve(entries.size());
    for (const Key &key : keys)
        sorted.append(entries.at(key.index));
    return sorted;
}

} // namespace RecipientSort
