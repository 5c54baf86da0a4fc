#pragma once

// What the condition editor sheet edits, without widgets: a condition's
// name and a working copy of its rules, the rule shown in the controls,
// the rules table and its drags.
//
// The working rules are deep clones (their results' tags too), so nothing
// reaches the tag before apply(). A control changes only its own part of
// the shown rule: a rule whose field the table lacks keeps that field
// until the user picks another.

#include "ConditionTag.h"

#include <QAbstractTableModel>
#include <QStringList>
#include <QUuid>

class ConditionEditorModel : public QAbstractTableModel {
    Q_OBJECT
public:
    enum Column { FieldColumn, OperatorColumn, ContentColumn, ResultColumn, ColumnCount };
    // "RulesDraggedTableViewDataType" as a MIME type.
    static inline const QString RulesMimeType =
        QStringLiteral("application/x-corvantiline-rules-dragged-table-view-data-type");

    // tag: the condition to edit, or null for a new one. operatorTitles:
    // the titles of operators 0 to 3, as the sheet shows them.
    ConditionEditorModel(const std::shared_ptr<ConditionTag> &tag, const QStringList &fieldNames,
                         const QStringList &operatorTitles, QObject *parent = nullptr);

    // The condition being edited; null for a new one.
    [[nodiscard]] ConditionTag *editedTag() const { return m_tag.get(); }
    [[nodiscard]] const QString &conditionName() const { return m_name; }
    void setConditionName(const QString &name) { m_name = name; }
    [[nodiscard]] const QList<ConditionRule> &rules() const { return m_rules; }
    [[nodiscard]] const QStringList &fieldNames() const { return m_fieldNames; }

    // The rule shown in the controls; -1 for none.
    [[nodiscard]] int activeRow() const { return m_activeRow; }
    void setActiveRow(int row);
    // The field menu for the shown rule: the table's fields, and the rule's
    // own field after them when the table lacks it; and the item to select.
    [[nodiscard]] QStringList fieldItems() const;
    [[nodiscard]] int fieldItemIndex() const;

    // The controls' edits of the shown rule.
    void chooseField(const QString &name);
    void chooseOperator(int op);
    void editContent(const QString &content);
    void editResult(const RichText &result);

    // A rule with the table's first field, "contains", no content and no
    // result, at the end. The shown rule stays.
    void addRule();
    // The rows go; no rule is shown afterwards.
    void removeRules(QList<int> rows);
    // The rows, in their order, as one block before the rule now at
    // `row` (the end for rowCount()). Returns the block's new first row.
    int moveRules(QList<int> rows, int row);

    // OK: a new tag with the name and rules (handed back), or the edited
    // tag given them (null is returned).
    std::shared_ptr<ConditionTag> apply();

    int rowCount(const QModelIndex &parent = {}) const override;
    int columnCount(const QModelIndex &parent = {}) const override;
    QVariant data(const QModelIndex &index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role = Qt::DisplayRole) const override;
    Qt::ItemFlags flags(const QModelIndex &index) const override;
    QStringList mimeTypes() const override;
    QMimeData *mimeData(const QModelIndexList &indexes) const override;
    Qt::DropActions supportedDropActions() const override { return Qt::MoveAction; }
    bool canDropMimeData(const QMimeData *data, Qt::DropAction action, int row, int column,
                         const QModelIndex &parent) const override;
    bool dropMimeData(const QMimeData *data, Qt::DropAction action, int row, int column,
                      const QModelIndex &parent) override;

signals:
    // The shown rule changed or another is shown: the controls load it.
    void activeRuleChanged();

private:
    // The rows a drag of this editor carries; none for anything else.
    [[nodiscard]] std::optional<QList<int>> draggedRows(const QMimeData *data) const;
    void ruleChanged(int row);

    std::shared_ptr<ConditionTag> m_tag;
    QStringList m_fieldNames;
    QStringList m_operatorTitles;
    QString m_name;
    QList<ConditionRule> m_rules;
    int m_activeRow = -1;
    // Tells this editor's drags from another's.
    QUuid m_identity = QUuid::createUuid();
};
