#include "ConditionEditor.h"

#include "ui_ConditionEditor.h"

#include "ActionGuard.h"
#include "Localizer.h"
#include "MenuText.h"

#include <QHeaderView>
#include <QMenu>
#include <QScopedValueRollback>

ConditionEditor::ConditionEditor(QWidget *parent, const std::shared_ptr<ConditionTag> &tag,
                                 const QStringList &fieldNames, Handlers handlers)
    : QDialog(parent), m_ui(std::make_unique<Ui::ConditionEditor>()), m_handlers(std::move(handlers))
{
    m_ui->setupUi(this);
    setWindowModality(Qt::WindowModal);
    setAttribute(Qt::WA_DeleteOnClose);
    QStringList operators;
    for (int i = 0; i < m_ui->caseMenu->count(); ++i)
        operators << m_ui->caseMenu->itemText(i);
    m_model = new ConditionEditorModel(tag, fieldNames, operators, this);
    m_ui->rulesTable->setModel(m_model);
    m_ui->rulesTable->horizontalHeader()->setStretchLastSection(true);
    m_ui->conditionName->setText(m_model->conditionName());
    m_ui->resultTextView->useTagTextStorage();

    m_ui->insertFieldMenu->setText(Localizer::localizedString("Localized", "FIELD_PULLDOWN_TITLE"));
    auto *menu = new QMenu(m_ui->insertFieldMenu);
    for (const QString &name : fieldNames)
        menu->addAction(literalMenuText(name), this, [this, name] { insertField(name); });
    m_ui->insertFieldMenu->setMenu(menu);

    connect(m_ui->conditionName, &QLineEdit::textEdited, m_model, &ConditionEditorModel::setConditionName);
    connect(m_ui->addButton, &QPushButton::clicked, m_model, &ConditionEditorModel::addRule);
    connect(m_ui->removeButton, &QPushButton::clicked, this, [this] {
        QList<int> rows;
        for (const QModelIndex &index : m_ui->rulesTable->selectionModel()->selectedRows())
            rows << index.row();
        m_model->removeRules(rows);
    });
    connect(m_ui->fieldMenu, &QComboBox::activated, this,
            [this](int index) { m_model->chooseField(m_ui->fieldMenu->itemText(index)); });
    connect(m_ui->caseMenu, &QComboBox::activated, m_model, &ConditionEditorModel::chooseOperator);
    connect(m_ui->conditionField, &QLineEdit::textEdited, m_model, &ConditionEditorModel::editContent);
    connect(m_ui->resultTextView, &QTextEdit::textChanged, this, [this] {
        if (!m_loading)
            m_model->editResult(m_ui->resultTextView->attributedString());
    });
    connect(m_ui->rulesTable->selectionModel(), &QItemSelectionModel::selectionChanged, this,
            &ConditionEditor::selectionChanged);
    // A reset (a drop) clears the selection without a word.
    connect(m_model, &QAbstractItemModel::modelReset, this, &ConditionEditor::selectionChanged);
    connect(m_model, &ConditionEditorModel::activeRuleChanged, this, &ConditionEditor::loadRuleData);
    connect(m_ui->buttonBox, &QDialogButtonBox::accepted, this, &ConditionEditor::accept);
    connect(m_ui->buttonBox, &QDialogButtonBox::rejected, this, &ConditionEditor::reject);
    loadRuleData();
}

ConditionEditor::~ConditionEditor() = default;

void ConditionEditor::displayAsSheet()
{
    open();
}

void ConditionEditor::selectionChanged()
{
    const QModelIndexList rows = m_ui->rulesTable->selectionModel()->selectedRows();
    m_model->setActiveRow(rows.size() == 1 ? rows.first().row() : (rows.isEmpty() ? -1 : rows.last().row()));
}

void ConditionEditor::loadRuleData()
{
    const QScopedValueRollback guard(m_loading, true);
    const int row = m_model->activeRow();
    const bool shown = row >= 0;
    for (QWidget *control : {static_cast<QWidget *>(m_ui->fieldMenu), static_cast<QWidget *>(m_ui->caseMenu),
                             static_cast<QWidget *>(m_ui->conditionField),
                             static_cast<QWidget *>(m_ui->insertFieldMenu)})
        control->setEnabled(shown);
    m_ui->resultTextView->setReadOnly(!shown);
    m_ui->fieldMenu->clear();
    if (!shown) {
        m_ui->fieldMenu->addItems(m_model->fieldNames());
        m_ui->fieldMenu->setCurrentIndex(m_model->fieldNames().isEmpty() ? -1 : 0);
        m_ui->caseMenu->setCurrentIndex(0);
        m_ui->conditionField->clear();
        m_ui->resultTextView->setAttributedString(RichText());
        return;
    }
    const ConditionRule &rule = m_model->rules()[row];
    m_ui->fieldMenu->addItems(m_model->fieldItems());
    m_ui->fieldMenu->setCurrentIndex(m_model->fieldItemIndex());
    m_ui->caseMenu->setCurrentIndex(int(rule.op));
    m_ui->conditionField->setText(rule.content);
    m_ui->resultTextView->setAttributedString(rule.result);
}

void ConditionEditor::insertField(const QString &name)
{
    if (m_model->activeRow() < 0)
        return;
    m_ui->resultTextView->insertTag(std::make_shared<SimpleTag>(name));
}

void ConditionEditor::accept()
{
    ActionGuard::run([this] {
        const std::shared_ptr<ConditionTag> created = m_model->apply();
        if (created && m_handlers.inserted)
            m_handlers.inserted(created);
        else if (!created && m_handlers.changed)
            m_handlers.changed(m_model->editedTag());
    });
    QDialog::accept();
}
