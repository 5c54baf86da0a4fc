#include "TagRenames.h"

#include "ConditionTag.h"
#include "SimpleTag.h"

void TagRenames::addTag(std::weak_ptr<SimpleTag> tag)
{
    m_tags.push_back(std::move(tag));
}

void TagRenames::addRule(std::weak_ptr<ConditionTag> condition, qsizetype rule)
{
    m_rules.emplace_back(std::move(condition), rule);
}

void TagRenames::append(const TagRenames &other)
{
    m_tags.insert(m_tags.end(), other.m_tags.cbegin(), other.m_tags.cend());
    m_rules.insert(m_rules.end(), other.m_rules.cbegin(), other.m_rules.cend());
}

void TagRenames::rename(const QString &from, const QString &to) const
{
    for (const std::weak_ptr<SimpleTag> &held : m_tags) {
        if (const std::shared_ptr<SimpleTag> tag = held.lock(); tag && tag->tagName() == from)
            tag->setTagName(to);
    }
    for (const auto &[held, rule] : m_rules) {
        if (const std::shared_ptr<ConditionTag> condition = held.lock())
            condition->renameRuleField(rule, from, to);
    }
}
