#include "ConditionEditorModel.h"

#include "AttributedTagString.h"

#include "KeyedArchiver.h"
#include "KeyedUnarchiver.h"

#include <QMimeData>

#include <algorithm>

namespace {

const QString EditorKey = QStringLiteral("editor");
const QString IndexesKey = QStringLiteral("indexes");

} // namespace

ConditionEditorModel::ConditionEditorModel(const std::shared_ptr<ConditionTag> &tag, const QStringList &fieldNames,
                                           const QStringList &operatorTitles, QObject *parent)
    : QAbstractTableModel(parent), m_tag(tag), m_fieldNames(fieldNames), m_operatorTitles(operatorTitles)
{
    if (!tag)
        return;
    m_name = tag->tagName();
    m_rules = tag->dataArray();
    for (ConditionRule &rule : m_rules)
        rule.result = rule.result.deepClone();
}

void ConditionEditorModel::setActiveRow(int row)
{
    const int active = row >= 0 && row < m_rules.size() ? row : -1;
    if (active == m_activeRow)
        return;
    m_activeRow = active;
    emit activeRuleChanged();
}

QStringList ConditionEditorModel::fieldItems() const
{
    QStringList items = m_fieldNames;
    if (m_activeRow >= 0 && !items.contains(m_rules[m_activeRow].field))
        items << m_rules[m_activeRow].field;
    return items;
}

int ConditionEditorModel::fieldItemIndex() const
{
    return m_activeRow < 0 ? -1 : int(fieldItems().indexOf(m_rules[m_activeRow].field));
}

void ConditionEditorModel::chooseField(const QString &name)
{
    if (m_activeRow < 0 || m_rules[m_activeRow].field == name)
        return;
    m_rules[m_activeRow].field = name;
    ruleChanged(m_activeRow);
}

void ConditionEditorModel::chooseOperator(int op)
{
    if (m_activeRow < 0 || op < ConditionRule::Contains || op > ConditionRule::DoesNotEqual
        || m_rules[m_activeRow].op == op)
        return;
    m_rules[m_activeRow].op = op;
    ruleChanged(m_activeRow);
}

void ConditionEditorModel::editContent(const QString &content)
{
    if (m_activeRow < 0 || m_rules[m_activeRow].content == content)
        return;
    m_rules[m_activeRow].content = content;
    ruleChanged(m_activeRow);
}

void ConditionEditorModel::editResult(const RichText &result)
{
    if (m_activeRow < 0)
        return;
    m_rules[m_activeRow].result = result;
    ruleChanged(m_activeRow);
}

void ConditionEditorModel::ruleChanged(int row)
{
    emit dataChanged(index(row, 0), index(row, ColumnCount - 1));
}

void ConditionEditorModel::addRule()
{
    beginInsertRows({}, int(m_rules.size()), int(m_rules.size()));
    m_rules.append(ConditionRule{m_fieldNames.value(0), ConditionRule::Contains, QString(), RichText()});
    endInsertRows();
}

void ConditionEditorModel::removeRules(QList<int> rows)
{
    std::sort(rows.begin(), rows.end(), std::greater<>());
    rows.erase(std::unique(rows.begin(), rows.end()), rows.end());
    for (const int row : std::as_const(rows)) {
        if (row < 0 || row >= m_rules.size())
            continue;
        beginRemoveRows({}, row, row);
        m_rules.removeAt(row);
        endRemoveRows();
    }
    m_activeRow = -1;
    emit activeRuleChanged();
}

int ConditionEditorModel::moveRules(QList<int> rows, int row)
{
    std::sort(rows.begin(), rows.end());
    rows.erase(std::unique(rows.begin(), rows.end()), rows.end());
    const int count = int(m_rules.size());
    if (rows.isEmpty() || rows.first() < 0 || rows.last() >= count || row < 0 || row > count)
        return -1;
    beginResetModel();
    QList<ConditionRule> moved;
    QList<ConditionRule> kept;
    int insertAt = row;
    for (int i = 0; i < count; ++i) {
        if (rows.contains(i)) {
            moved.append(m_rules[i]);
            if (i < row)
                --insertAt;
        } else {
            kept.append(m_rules[i]);
        }
    }
    for (int i = 0; i < moved.size(); ++i)
        kept.insert(insertAt + i, moved[i]);
    m_rules = kept;
    endResetModel();
    // The reset leaves no selection; neither does the editor.
    m_activeRow = -1;
    emit activeRuleChanged();
    return insertAt;
}

std::shared_ptr<ConditionTag> ConditionEditorModel::apply()
{
    if (!m_tag)
        return std::make_shared<ConditionTag>(m_name, m_rules);
    m_tag->setDataArray(m_rules);
    m_tag->setTagName(m_name);
    return nullptr;
}

int ConditionEditorModel::rowCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : int(m_rules.size());
}

int ConditionEditorModel::columnCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : ColumnCount;
}

QVariant ConditionEditorModel::data(const QModelIndex &index, int role) const
{
    if (role != Qt::DisplayRole || !index.isValid() || index.row() >= m_rules.size())
        return {};
    const ConditionRule &rule = m_rules[index.row()];
    switch (index.column()) {
    case FieldColumn:
        return rule.field;
    case OperatorColumn:
        return m_operatorTitles.value(int(rule.op));
    case ContentColumn:
        return rule.content;
    case ResultColumn:
        return AttributedTagString::textTagString(rule.result);
    default:
        return QString();
    }
}

QVariant ConditionEditorModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (orientation != Qt::Horizontal || role != Qt::DisplayRole)
        return {};
    static const char *const titles[] = {"Field", "Operator", "Content", "Result"};
    return section >= 0 && section < ColumnCount ? tr(titles[section]) : QVariant();
}

Qt::ItemFlags ConditionEditorModel::flags(const QModelIndex &index) const
{
    if (!index.isValid())
        return Qt::ItemIsDropEnabled;
    return Qt::ItemIsEnabled | Qt::ItemIsSelectable | Qt::ItemIsDragEnabled;
}

QStringList ConditionEditorModel::mimeTypes() const
{
    return {RulesMimeType};
}

QMimeData *ConditionEditorModel::mimeData(const QModelIndexList &indexes) const
{
    QVariantList rows;
    for (const QModelIndex &index : indexes) {
        if (index.isValid() && !rows.contains(index.row()))
            rows.append(index.row());
    }
    auto *data = new QMimeData;
    data->setData(RulesMimeType, KeyedArchiver::archivedDataWithRootObject(
                                     QVariantMap{{EditorKey, m_identity.toString()}, {IndexesKey, rows}}));
    return data;
}

std::optional<QList<int>> ConditionEditorModel::draggedRows(const QMimeData *data) const
{
    if (!data || !data->hasFormat(RulesMimeType))
        return std::nullopt;
    const QVariant root = KeyedUnarchiver::unarchiveObjectWithData(data->data(RulesMimeType));
    if (root.typeId() != QMetaType::QVariantMap)
        return std::nullopt;
    const QVariantMap map = root.toMap();
    // Rows of another editor's rules name rules that are not here.
    if (map.value(EditorKey).toString() != m_identity.toString())
        return std::nullopt;
    const QVariant indexes = map.value(IndexesKey);
    if (indexes.typeId() != QMetaType::QVariantList)
        return std::nullopt;
    QList<int> rows;
    for (const QVariant &value : indexes.toList()) {
        bool ok = false;
        const qlonglong row = value.toLongLong(&ok);
        if (!ok || row < 0 || row >= m_rules.size())
            return std::nullopt;
        rows.append(int(row));
    }
    if (rows.isEmpty())
        return std::nullopt;
    return rows;
}

bool ConditionEditorModel::canDropMimeData(const QMimeData *data, Qt::DropAction action, int, int,
                                           const QModelIndex &) const
{
    return action == Qt::MoveAction && draggedRows(data).has_value();
}

bool ConditionEditorModel::dropMimeData(const QMimeData *data, Qt::DropAction action, int row, int,
                                        const QModelIndex &parent)
{
    if (action != Qt::MoveAction)
        return false;
    const std::optional<QList<int>> rows = draggedRows(data);
    if (!rows)
        return false;
    // Dropped onto a row: before it; onto the empty space: at the end.
    int target = row;
    if (target < 0)
        target = parent.isValid() ? parent.row() : int(m_rules.size());
    return moveRules(*rows, target) >= 0;
}
