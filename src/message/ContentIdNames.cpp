#include "ContentIdNames.h"

#include "ContentId.h"

#include <algorithm>

namespace {

// Names for the paths in order, none of them in `taken`, each added to it.
// Numbered names are chosen from outside the plain names of all the paths,
// so no path loses its plain name to another's number.
QStringList assignNames(const QStringList &paths, QSet<QString> &taken)
{
    QStringList plain;
    plain.reserve(paths.size());
    for (const QString &path : paths)
        plain.append(contentIdNameForPath(path));
    const QSet<QString> reserved(plain.cbegin(), plain.cend());
    QHash<QString, int> nextNumber;
    QStringList names;
    names.reserve(paths.size());
    for (const QString &base : plain) {
        QString name = base;
        if (taken.contains(name)) {
            int &number = nextNumber[base];
            number = std::max(number, 2);
            do {
                name = contentIdNameWithSuffix(base, number++);
            } while (taken.contains(name) || reserved.contains(name));
        }
        taken.insert(name);
        names.append(name);
    }
    return names;
}

} // namespace

ContentIdNames::ContentIdNames(const QStringList &inlineFiles)
{
    QSet<QString> taken;
    m_names = assignNames(inlineFiles, taken);
    for (qsizetype i = 0; i < inlineFiles.size(); ++i) {
        if (!m_byPath.contains(inlineFiles[i]))
            m_byPath.insert(inlineFiles[i], m_names[i]);
    }
}

QString ContentIdNames::nameForPath(const QString &path) const
{
    const auto found = m_byPath.constFind(path);
    return found != m_byPath.cend() ? *found : contentIdNameForPath(path);
}

QStringList ContentIdNames::namesForFurtherParts(const QStringList &paths) const
{
    QSet<QString> taken(m_names.cbegin(), m_names.cend());
    return assignNames(paths, taken);
}
