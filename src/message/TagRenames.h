#pragma once

// The tags that one field took along when it left the table: field tags
// and the rules of conditions that read its name and now read none. When
// it comes back, exactly these get its name again, and no other tag that
// happens to have no name (another removed field's) does.
//
// The tags are marked (SimpleTag::takenBy, ConditionRule::takenBy) rather
// than held: the user may cut such a tag and paste it, or drag it, and the
// copy that arrives is a new object that carries the mark. It is still the
// tag the field took, as is one pasted from a copy made before the field
// left, which follows the tag it was copied from.
//
// Main thread only.

#include <QString>

#include <vector>

struct ConditionRule;
class SimpleTag;

class TagRenames {
public:
    // Marks the tag, or a condition's rule, as one this take took.
    void addTag(SimpleTag &tag);
    void addRule(ConditionRule &rule);
    void append(const TagRenames &other);
    [[nodiscard]] bool isEmpty() const { return m_marks.empty(); }

    // The tag and the rules and tags inside a condition's results that
    // carry a mark of these and still read `from` read `to`; one changed
    // since (a rule given another field) is left alone.
    void rename(SimpleTag &tag, const QString &from, const QString &to) const;

private:
    quint64 ownMark();
    [[nodiscard]] bool holds(quint64 mark) const;
    void rename(SimpleTag &tag, const QString &from, const QString &to, int depth) const;

    // Made at the first tag marked; a take's marks are unique in the process.
    quint64 m_ownMark = 0;
    // Its own and those of the takes appended to it.
    std::vector<quint64> m_marks;
};
