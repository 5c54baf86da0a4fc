#include "HTMLFontFace.h"

#include <QHash>
#include <QMutex>

#include <fontconfig/fontconfig.h>

#include <memory>

namespace {

// The generic families by the names Qt, fontconfig and CSS give them.
QString cssGeneric(const QString &family)
{
    static const struct {
        QLatin1String name;
        QLatin1String css;
    } generics[] = {
        {QLatin1String("sans serif"), QLatin1String("sans-serif")},
        {QLatin1String("sans-serif"), QLatin1String("sans-serif")},
        {QLatin1String("sans"), QLatin1String("sans-serif")},
        {QLatin1String("serif"), QLatin1String("serif")},
        {QLatin1String("monospace"), QLatin1String("monospace")},
        {QLatin1String("mono"), QLatin1String("monospace")},
        {QLatin1String("cursive"), QLatin1String("cursive")},
        {QLatin1String("fantasy"), QLatin1String("fantasy")},
    };
    for (const auto &generic : generics) {
        if (family.trimmed().compare(generic.name, Qt::CaseInsensitive) == 0)
            return generic.css;
    }
    return {};
}

using Pattern = std::unique_ptr<FcPattern, decltype(&FcPatternDestroy)>;

// Whether fontconfig has a font of fixed pitch under this very name.
bool installedAsFixedPitch(FcPattern *request, const QString &family)
{
    FcResult result = FcResultNoMatch;
    const Pattern match(FcFontMatch(nullptr, request, &result), &FcPatternDestroy);
    if (!match)
        return false;
    int spacing = FC_PROPORTIONAL;
    if (FcPatternGetInteger(match.get(), FC_SPACING, 0, &spacing) != FcResultMatch || spacing < FC_DUAL)
        return false;
    FcChar8 *name = nullptr;
    for (int i = 0; FcPatternGetString(match.get(), FC_FAMILY, i, &name) == FcResultMatch; ++i) {
        if (QString::fromUtf8(reinterpret_cast<const char *>(name)).compare(family, Qt::CaseInsensitive) == 0)
            return true;
    }
    return false;
}

// The kind fontconfig's configuration gives the family: the first generic
// family among those it would try after it. A family it knows nothing of
// is taken for sans-serif, as fontconfig itself takes it.
QString kindOf(const QString &family)
{
    const Pattern pattern(FcPatternCreate(), &FcPatternDestroy);
    if (!pattern)
        return QStringLiteral("sans-serif");
    const QByteArray name = family.toUtf8();
    FcPatternAddString(pattern.get(), FC_FAMILY, reinterpret_cast<const FcChar8 *>(name.constData()));
    FcConfigSubstitute(nullptr, pattern.get(), FcMatchPattern);
    FcDefaultSubstitute(pattern.get());
    if (installedAsFixedPitch(pattern.get(), family))
        return QStringLiteral("monospace");
    FcChar8 *value = nullptr;
    for (int i = 0; FcPatternGetString(pattern.get(), FC_FAMILY, i, &value) == FcResultMatch; ++i) {
        const QString generic = cssGeneric(QString::fromUtf8(reinterpret_cast<const char *>(value)));
        if (!generic.isEmpty())
            return generic;
    }
    return QStringLiteral("sans-serif");
}

// Stored texts may name any number of families; past this many the rest
// are taken for sans-serif without asking, so a crafted file can neither
// fill the memory nor hold a send run in fontconfig.
constexpr qsizetype MaxClassedFamilies = 4096;

} // namespace

namespace HTMLFontFace {

QString faceList(const QString &family)
{
    if (family.isEmpty())
        return family;
    static QMutex mutex;
    static QHash<QString, QString> lists;
    const QMutexLocker lock(&mutex);
    const auto known = lists.constFind(family);
    if (known != lists.cend())
        return *known;
    QString list = cssGeneric(family);
    if (list.isEmpty()) {
        const bool classed = lists.size() < MaxClassedFamilies;
        list = family + QLatin1String(", ") + (classed ? kindOf(family) : QStringLiteral("sans-serif"));
        if (!classed)
            return list;
    }
    lists.insert(family, list);
    return list;
}

} // namespace HTMLFontFace
