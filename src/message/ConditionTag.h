#pragma once

#include "SimpleTag.h"

#include <QList>

// One rule of a condition: when the recipient's value of `field` relates to
// `content` as `op` says, the condition's value is `result` with its field
// tags filled in. Stored as a dictionary with the keys "Field", "Operator",
// "Content" and "Result".
struct ConditionRule {
    enum Operator : qint64 { Contains = 0, DoesNotContain = 1, Equals = 2, DoesNotEqual = 3 };
    QString field;
    qint64 op = Contains;
    QString content;
    RichText result;
    // The mark of the field that took `field` when it left the table, as
    // SimpleTag::takenBy has it for a tag. Never stored.
    quint64 takenBy = 0;

    [[nodiscard]] QVariantMap toDictionary() const;
    // Missing or mistyped keys read as empty; never fails.
    [[nodiscard]] static ConditionRule fromDictionary(const QVariantMap &rule);
    // Whether a recipient's value matches (an empty content is never
    // contained, so "does not contain" an empty content always matches).
    [[nodiscard]] bool matches(const QString &value) const;
};

// Chooses among texts by the recipient's values: the first matching rule wins.
class ConditionTag : public SimpleTag {
public:
    // How deep conditions inside results are followed: stored data can nest
    // them deeply or, built in memory, in a circle.
    static constexpr int MaxNesting = 16;

    ConditionTag(const QString &tagName, const QList<ConditionRule> &rules);

    [[nodiscard]] std::shared_ptr<AttachmentCell> clone() const override;
    [[nodiscard]] RichText getValueForData(const DatabaseEntry *entry, const QMap<QString, QString> *mapping,
                                           const MessageData *messageData) const override;
    // The chosen result is HTML as the author wrote it; only the values of
    // the tags in it are text.
    [[nodiscard]] QString getHTMLSourceValueForData(const DatabaseEntry *entry, const QMap<QString, QString> *mapping,
                                                    const MessageData *messageData) const override;
    // Renames the fields the rules test and the field tags inside the
    // results; the condition's own name stays.
    void tagNameChanged(const QString &oldName, const QString &newName, TagRenames *renamed = nullptr) override;
    // The rule's field, if it still reads `from`, reads `to`.
    void renameRuleField(qsizetype rule, const QString &from, const QString &to);
    void setRuleTakenBy(qsizetype rule, quint64 mark);
    [[nodiscard]] bool wantsToTrackMouse() const override { return true; }
    bool trackMouse() override;

    [[nodiscard]] const QList<ConditionRule> &dataArray() const { return m_rules; }
    void setDataArray(const QList<ConditionRule> &rules);

    [[nodiscard]] QString archiveClassName() const override { return QStringLiteral("ConditionTag"); }
    void encodeWithCoder(TypedArchiver &coder) const override;

private:
    friend void registerTagCoders();
    // The first rule that matches the recipient; none when none does or a
    // rule names a field the table lacks.
    [[nodiscard]] const ConditionRule *ruleForData(const DatabaseEntry *entry,
                                                   const QMap<QString, QString> *mapping) const;
    static CodableRef decode(TypedUnarchiver &coder, int classVersion);
    QList<ConditionRule> m_rules;
};
