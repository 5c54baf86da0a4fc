#include "ColumnLayout.h"

#include "Values.h"

#include <QHash>

#include <algorithm>
#include <cmath>

namespace ColumnLayout {

namespace {

// Stored arrays arrive as variant lists; a list of strings is the same array.
QVariantList listOf(const QVariant &value)
{
    if (value.typeId() != QMetaType::QVariantList && value.typeId() != QMetaType::QStringList)
        return {};
    return value.toList();
}

std::optional<int> widthAt(const QVariantList &widths, qsizetype index)
{
    if (index >= widths.size() || !isNumberValue(widths.at(index)))
        return std::nullopt;
    const double width = doubleValue(widths.at(index));
    if (!std::isfinite(width))
        return std::nullopt;
    return int(std::clamp(width, MinWidth, MaxWidth));
}

} // namespace

QList<Column> restored(const QVariant &identifiers, const QVariant &widths, const QStringList &shown)
{
    const QVariantList storedWidths = listOf(widths);
    const QVariantList stored = listOf(identifiers);
    QList<Column> order;
    order.reserve(shown.size());
    if (stored.isEmpty()) {
        for (qsizetype i = 0; i < shown.size(); ++i)
            order.append({shown.at(i), widthAt(storedWidths, i)});
        return order;
    }

    QHash<QString, qsizetype> positionOf;
    positionOf.reserve(shown.size());
    for (qsizetype i = 0; i < shown.size(); ++i)
        positionOf.insert(shown.at(i), i);
    QList<bool> placed(shown.size(), false);
    for (qsizetype i = 0; i < stored.size() && order.size() < shown.size(); ++i) {
        if (!isStringValue(stored.at(i)))
            continue;
        const auto it = positionOf.constFind(stored.at(i).toString());
        if (it == positionOf.constEnd() || placed.at(it.value()))
            continue;
        placed[it.value()] = true;
        order.append({shown.at(it.value()), widthAt(storedWidths, i)});
    }
    for (qsizetype i = 0; i < shown.size(); ++i) {
        if (!placed.at(i))
            order.append({shown.at(i), std::nullopt});
    }
    return order;
}

} // namespace ColumnLayout
