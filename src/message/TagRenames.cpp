#include "TagRenames.h"

#include "AttributedTagString.h"
#include "ConditionTag.h"
#include "SimpleTag.h"

#include <algorithm>
#include <atomic>

quint64 TagRenames::ownMark()
{
    static std::atomic<quint64> lastMark{0};
    if (m_ownMark == 0) {
        m_ownMark = ++lastMark;
        m_marks.push_back(m_ownMark);
    }
    return m_ownMark;
}

bool TagRenames::holds(quint64 mark) const
{
    return mark != 0 && std::find(m_marks.cbegin(), m_marks.cend(), mark) != m_marks.cend();
}

void TagRenames::addTag(SimpleTag &tag)
{
    tag.setTakenBy(ownMark());
}

void TagRenames::addRule(ConditionRule &rule)
{
    rule.takenBy = ownMark();
}

void TagRenames::append(const TagRenames &other)
{
    for (const quint64 mark : other.m_marks) {
        if (!holds(mark))
            m_marks.push_back(mark);
    }
}

void TagRenames::rename(SimpleTag &tag, const QString &from, const QString &to) const
{
    if (!isEmpty())
        rename(tag, from, to, 0);
}

void TagRenames::rename(SimpleTag &tag, const QString &from, const QString &to, int depth) const
{
    auto *condition = dynamic_cast<ConditionTag *>(&tag);
    if (!condition) {
        if (holds(tag.takenBy()) && tag.tagName() == from)
            tag.setTagName(to);
        return;
    }
    // A condition's own name is no field's.
    if (depth >= ConditionTag::MaxNesting)
        return;
    const QList<ConditionRule> &rules = condition->dataArray();
    for (qsizetype i = 0; i < rules.size(); ++i) {
        if (holds(rules.at(i).takenBy))
            condition->renameRuleField(i, from, to);
    }
    for (const ConditionRule &rule : rules) {
        for (const SimpleTagRef &inner : AttributedTagString::tags(rule.result))
            rename(*inner, from, to, depth + 1);
    }
}
