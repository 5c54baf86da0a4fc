#pragma once

#include <QHash>
#include <QSet>
#include <QString>
#include <QStringList>

// The Content-ID names of one message's parts, each its own: the HTML's
// "cid:" references and the parts' Content-ID headers are made from the
// same list of inline files, in the same order, so they agree. A name that
// clashes with no other keeps its plain form (contentIdNameForPath); of
// files whose plain names clash, the first keeps it and each other one gets
// a number ("logo-2.png") that is no other file's plain name.
class ContentIdNames {
public:
    ContentIdNames() = default;
    explicit ContentIdNames(const QStringList &inlineFiles);

    // One for each inline file, in the order given (a path given twice
    // gets two names).
    [[nodiscard]] const QStringList &names() const { return m_names; }
    // The name of an inline file (of its first mention); for a path that is
    // none of them, its plain name.
    [[nodiscard]] QString nameForPath(const QString &path) const;
    // Names for further parts of the message (its file attachments), in
    // order: each distinct from every inline file's name and from each
    // other, so that no "cid:" reference can name one of them.
    [[nodiscard]] QStringList namesForFurtherParts(const QStringList &paths) const;

private:
    QStringList m_names;
    QHash<QString, QString> m_byPath;
};
