#include "ConditionTag.h"

#include "AttributedTagString.h"
#include "NestingGuard.h"
#include "Personalizer.h"
#include "TagRenames.h"

#include "BetterString.h"
#include "TypedArchiver.h"
#include "TypedUnarchiver.h"
#include "Values.h"

namespace {

const QString FieldKey = QStringLiteral("Field");
const QString OperatorKey = QStringLiteral("Operator");
const QString ContentKey = QStringLiteral("Content");
const QString ResultKey = QStringLiteral("Result");
const QString InsertKey = QStringLiteral("Insert");
const QString DataArrayKey = QStringLiteral("dataArray");

// A result may hold a condition whose result holds a condition...
thread_local int conditionNesting = 0;

QString stringOrEmpty(const QVariant &value)
{
    return value.typeId() == QMetaType::QString ? value.toString() : QString();
}

} // namespace

QVariantMap ConditionRule::toDictionary() const
{
    return {
        {FieldKey, field},
        {OperatorKey, op},
        {ContentKey, content},
        {ResultKey, QVariant::fromValue(result)},
    };
}

ConditionRule ConditionRule::fromDictionary(const QVariantMap &rule)
{
    ConditionRule decoded;
    decoded.field = stringOrEmpty(rule.value(FieldKey));
    decoded.op = integerValue(rule.value(OperatorKey));
    decoded.content = stringOrEmpty(rule.value(ContentKey));
    const QVariant result = rule.value(ResultKey);
    if (result.typeId() == qMetaTypeId<RichText>())
        decoded.result = result.value<RichText>();
    return decoded;
}

bool ConditionRule::matches(const QString &value) const
{
    switch (op) {
    case Contains:
        return BetterString::containsString(value, content);
    case DoesNotContain:
        return !BetterString::containsString(value, content);
    case Equals:
        return value == content;
    case DoesNotEqual:
        return value != content;
    default:
        return false;
    }
}

ConditionTag::ConditionTag(const QString &tagName, const QList<ConditionRule> &rules)
    : SimpleTag(tagName, RgbaColor{0.0f, 1.0f, 0.0f, 1.0f}), m_rules(rules)
{
}

std::shared_ptr<AttachmentCell> ConditionTag::clone() const
{
    auto copy = std::make_shared<ConditionTag>(*this);
    for (ConditionRule &rule : copy->m_rules)
        rule.result = rule.result.deepClone();
    return copy;
}

const ConditionRule *ConditionTag::ruleForData(const DatabaseEntry *entry, const QMap<QString, QString> *mapping) const
{
    for (const ConditionRule &rule : m_rules) {
        if (!mapping)
            break;
        const auto column = mapping->constFind(rule.field);
        if (column == mapping->cend())
            break;
        if (rule.matches(entry ? entry->value(*column).toString() : QString()))
            return &rule;
    }
    return nullptr;
}

// Results are filled without message data: tags that need it give "" there.
RichText ConditionTag::getValueForData(const DatabaseEntry *entry, const QMap<QString, QString> *mapping,
                                       const MessageData *) const
{
    const NestingGuard guard(conditionNesting, MaxNesting);
    const ConditionRule *rule = guard.tooDeep() ? nullptr : ruleForData(entry, mapping);
    return valueText(rule ? AttributedTagString::taglessString(
                                Personalizer::personalizeAttributedString(rule->result, entry, mapping, nullptr))
                          : QStringLiteral(""));
}

QString ConditionTag::getHTMLSourceValueForData(const DatabaseEntry *entry, const QMap<QString, QString> *mapping,
                                                const MessageData *) const
{
    const NestingGuard guard(conditionNesting, MaxNesting);
    const ConditionRule *rule = guard.tooDeep() ? nullptr : ruleForData(entry, mapping);
    return rule ? Personalizer::personalizeHTMLSource(rule->result, entry, mapping, nullptr) : QString();
}

void ConditionTag::tagNameChanged(const QString &oldName, const QString &newName, TagRenames *renamed)
{
    const NestingGuard guard(conditionNesting, MaxNesting);
    if (guard.tooDeep())
        return;
    for (qsizetype i = 0; i < m_rules.size(); ++i) {
        ConditionRule &rule = m_rules[i];
        if (rule.field == oldName) {
            rule.field = newName;
            if (renamed)
                renamed->addRule(rule);
        }
        for (const SimpleTagRef &tag : AttributedTagString::tags(rule.result))
            tag->tagNameChanged(oldName, newName, renamed);
    }
}

void ConditionTag::renameRuleField(qsizetype rule, const QString &from, const QString &to)
{
    if (rule >= 0 && rule < m_rules.size() && m_rules.at(rule).field == from)
        m_rules[rule].field = to;
}

void ConditionTag::setRuleTakenBy(qsizetype rule, quint64 mark)
{
    if (rule >= 0 && rule < m_rules.size())
        m_rules[rule].takenBy = mark;
}

bool ConditionTag::trackMouse()
{
    return delegate() ? delegate()->editConditionTag(this) : false;
}

void ConditionTag::setDataArray(const QList<ConditionRule> &rules)
{
    m_rules = rules;
}

void ConditionTag::encodeWithCoder(TypedArchiver &coder) const
{
    encodeSimplePart(coder);
    QVariantList rules;
    rules.reserve(m_rules.size());
    for (const ConditionRule &rule : m_rules)
        rules.append(rule.toDictionary());
    coder.encodeObject(QVariantMap{{DataArrayKey, rules}});
}

CodableRef ConditionTag::decode(TypedUnarchiver &coder, int)
{
    auto tag = std::make_shared<ConditionTag>(QString(), QList<ConditionRule>());
    if (!tag->decodeSimplePart(coder))
        return nullptr;
    const QVariant part = coder.decodeObject();
    if (coder.hasFailed())
        return nullptr;
    QList<ConditionRule> rules;
    if (part.typeId() == QMetaType::QVariantMap) {
        const QVariant array = part.toMap().value(DataArrayKey);
        for (const QVariant &element : array.toList()) {
            if (element.typeId() == QMetaType::QVariantMap)
                rules.append(ConditionRule::fromDictionary(element.toMap()));
        }
    } else if (part.typeId() == QMetaType::QVariantList) {
        // The older form: the result was a plain string under "Insert".
        for (const QVariant &element : part.toList()) {
            if (element.typeId() != QMetaType::QVariantMap)
                continue;
            const QVariantMap old = element.toMap();
            ConditionRule rule = ConditionRule::fromDictionary(old);
            rule.result = RichText(stringOrEmpty(old.value(InsertKey)));
            rules.append(rule);
        }
    } else {
        coder.failWithReason(QStringLiteral("condition tag without rules"));
        return nullptr;
    }
    // The results' tags are still plain attachments here; loadAttachments
    // rebuilds them once this archive has been read to its end.
    tag->m_rules = rules;
    return tag;
}
