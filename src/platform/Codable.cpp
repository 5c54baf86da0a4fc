#include "Codable.h"

#include "RichTextCoding.h"

#include <QHash>
#include <QReadWriteLock>

#include <algorithm>
#include <mutex>
#include <vector>

QStringList Codable::archiveClassHierarchy() const
{
    return {archiveClassName(), QStringLiteral("NSObject")};
}

void Codable::encodeWithCoder(KeyedArchiver &) const
{
}

void Codable::encodeWithCoder(TypedArchiver &) const
{
}

namespace {

struct Registry {
    QReadWriteLock lock;
    QHash<QString, ArchiveRegistry::KeyedDecoder> keyed;
    QHash<QString, ArchiveRegistry::TypedDecoder> typed;
    // Value coders live as long as the process; the lookups hand out pointers.
    QList<ArchiveRegistry::ValueCoder *> values;
    QHash<int, ArchiveRegistry::ValueCoder *> valuesByMetaType;
    QHash<QString, ArchiveRegistry::ValueCoder *> valuesByKeyedClass;
    QHash<QString, ArchiveRegistry::ValueCoder *> valuesByTypedClass;
};

Registry &registry()
{
    static Registry *r = new Registry;
    return *r;
}

} // namespace

void ArchiveRegistry::registerKeyedDecoder(const QString &className, KeyedDecoder decoder)
{
    QWriteLocker lock(&registry().lock);
    registry().keyed.insert(className, std::move(decoder));
}

void ArchiveRegistry::registerTypedDecoder(const QString &className, TypedDecoder decoder)
{
    QWriteLocker lock(&registry().lock);
    registry().typed.insert(className, std::move(decoder));
}

ArchiveRegistry::KeyedDecoder ArchiveRegistry::keyedDecoder(const QString &className)
{
    QReadLocker lock(&registry().lock);
    return registry().keyed.value(className);
}

ArchiveRegistry::TypedDecoder ArchiveRegistry::typedDecoder(const QString &className)
{
    QReadLocker lock(&registry().lock);
    return registry().typed.value(className);
}

void ArchiveRegistry::registerValueCoder(const ValueCoder &coder)
{
    QWriteLocker lock(&registry().lock);
    Registry &r = registry();
    auto *stored = new ValueCoder(coder);
    r.values.append(stored);
    r.valuesByMetaType.insert(coder.metaTypeId, stored);
    if (!coder.keyedClasses.isEmpty())
        r.valuesByKeyedClass.insert(coder.keyedClasses.first(), stored);
    for (const QString &alias : coder.keyedAliases)
        r.valuesByKeyedClass.insert(alias, stored);
    if (!coder.typedClassName.isEmpty())
        r.valuesByTypedClass.insert(coder.typedClassName, stored);
}

const ArchiveRegistry::ValueCoder *ArchiveRegistry::valueCoderForMetaType(int metaTypeId)
{
    QReadLocker lock(&registry().lock);
    return registry().valuesByMetaType.value(metaTypeId);
}

const ArchiveRegistry::ValueCoder *ArchiveRegistry::valueCoderForKeyedClass(const QString &className)
{
    QReadLocker lock(&registry().lock);
    return registry().valuesByKeyedClass.value(className);
}

const ArchiveRegistry::ValueCoder *ArchiveRegistry::valueCoderForTypedClass(const QString &className)
{
    QReadLocker lock(&registry().lock);
    return registry().valuesByTypedClass.value(className);
}

void registerPlatformCoders()
{
    static std::once_flag once;
    std::call_once(once, [] { registerRichTextCoders(); });
}

namespace {

struct SortItem {
    quint64 key;
    const QString *text;
};

// Three code units from `depth` on, then how many of them there are (0 to
// 3): comparing keys compares those characters, a string that ends first
// coming first.
quint64 keyAt(const QString &text, qsizetype depth)
{
    quint64 key = 0;
    qsizetype units = 0;
    for (; units < 3; ++units) {
        const qsizetype i = depth + units;
        key = (key << 16) | (i < text.size() ? text.at(i).unicode() : 0);
    }
    return (key << 16) | quint64(std::clamp<qsizetype>(text.size() - depth, 0, 3));
}

} // namespace

QStringList sortedMembers(const StringSet &set)
{
    std::vector<SortItem> items;
    items.reserve(size_t(set.size()));
    for (const QString &member : set)
        items.push_back({0, &member});

    // Most-significant-digit first: sort a run by its keys at one depth,
    // then each group of equal keys at the next, as long as its strings go on.
    struct Run {
        size_t begin, end;
        qsizetype depth;
    };
    std::vector<Run> runs{{0, items.size(), 0}};
    while (!runs.empty()) {
        const Run run = runs.back();
        runs.pop_back();
        if (run.end - run.begin < 2)
            continue;
        const auto first = items.begin() + qsizetype(run.begin), last = items.begin() + qsizetype(run.end);
        // Identifiers made together share a long start ("row-" and the
        // time): step over what every member of a large run shares in one
        // pass, rather than sort equal keys three characters at a time.
        qsizetype depth = run.depth;
        if (run.end - run.begin >= 32) {
            QStringView shared = QStringView(*first->text).sliced(std::min(depth, first->text->size()));
            for (auto it = first + 1; it != last && !shared.isEmpty(); ++it) {
                const QStringView text = QStringView(*it->text).sliced(std::min(depth, it->text->size()));
                const qsizetype most = std::min(shared.size(), text.size());
                qsizetype n = 0;
                while (n < most && shared[n] == text[n])
                    ++n;
                shared.truncate(n);
            }
            depth += shared.size();
        }
        for (auto it = first; it != last; ++it)
            it->key = keyAt(*it->text, depth);
        std::sort(first, last, [](const SortItem &a, const SortItem &b) { return a.key < b.key; });
        for (size_t group = run.begin; group < run.end;) {
            size_t next = group + 1;
            while (next < run.end && items[next].key == items[group].key)
                ++next;
            // Three characters and more to come: the strings differ further on.
            if (next - group > 1 && (items[group].key & 0xFFFF) == 3)
                runs.push_back({group, next, depth + 3});
            group = next;
        }
    }
    QStringList sorted;
    sorted.reserve(qsizetype(items.size()));
    for (const SortItem &item : items)
        sorted.append(*item.text);
    return sorted;
}
