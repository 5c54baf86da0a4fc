#pragma once

// The tags that one change of a field's name reached: field tags and the
// rules of conditions, each held without keeping it alive. A field that
// leaves the table leaves its tags without a name; when it comes back,
// exactly these get its name again, and no other tag that happens to have
// no name (another removed field's) does.
//
// Main thread only.

#include <QString>

#include <memory>
#include <utility>
#include <vector>

class ConditionTag;
class SimpleTag;

class TagRenames {
public:
    void addTag(std::weak_ptr<SimpleTag> tag);
    void addRule(std::weak_ptr<ConditionTag> condition, qsizetype rule);
    void append(const TagRenames &other);
    [[nodiscard]] bool isEmpty() const { return m_tags.empty() && m_rules.empty(); }

    // The tags and rules that still read `from` read `to`; one changed
    // since (an edited condition, a tag deleted for good) is left alone.
    void rename(const QString &from, const QString &to) const;

private:
    std::vector<std::weak_ptr<SimpleTag>> m_tags;
    std::vector<std::pair<std::weak_ptr<ConditionTag>, qsizetype>> m_rules;
};
