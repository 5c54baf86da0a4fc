#include "FieldContentsFilter.h"

#include "ui_FilterByField.h"

#include "FieldContentsRule.h"
#include "RecipientCommands.h"

#include "ActionGuard.h"
#include "Localizer.h"

FieldContentsFilter::FieldContentsFilter(RecipientCommands *commands, bool newState, QWidget *parent)
    : QDialog(parent), m_ui(std::make_unique<Ui::FilterByField>()), m_commands(commands), m_newState(newState)
{
    m_ui->setupUi(this);
    setAttribute(Qt::WA_DeleteOnClose);
    setWindowModality(Qt::WindowModal);
    m_ui->stateLabel->setText(Localizer::localizedString(
        "Localized-Database", newState ? "FILTER_SWITCH_ON_TEXT" : "FILTER_SWITCH_OFF_TEXT"));
    if (commands)
        m_ui->fieldMenu->addItems(commands->database()->fieldNames());
    connect(m_ui->buttonBox, &QDialogButtonBox::accepted, this, &FieldContentsFilter::okClicked);
    connect(m_ui->buttonBox, &QDialogButtonBox::rejected, this, &QDialog::reject);
}

FieldContentsFilter::~FieldContentsFilter() = default;

void FieldContentsFilter::displayAsSheet()
{
    open();
}

void FieldContentsFilter::okClicked()
{
    ActionGuard::run(
        [this] {
            if (!m_commands)
                return;
            const QString columnID = m_commands->database()->columnIDForFieldIndex(m_ui->fieldMenu->currentIndex());
            if (columnID.isNull())
                return;
            const FieldContentsRule rule(m_ui->operationMenu->currentIndex(), columnID, m_ui->comparatorField->text());
            m_commands->filterMatching([&rule](const Database::Entry &entry) { return rule.matches(entry); },
                                       m_newState);
        },
        parentWidget());
    accept();
}
