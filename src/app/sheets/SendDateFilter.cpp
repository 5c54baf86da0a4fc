#include "SendDateFilter.h"

#include "ui_FilterByDate.h"

#include "RecipientCommands.h"
#include "SendDateRule.h"

#include "ActionGuard.h"
#include "Localizer.h"

SendDateFilter::SendDateFilter(RecipientCommands *commands, bool newState, QWidget *parent)
    : QDialog(parent), m_ui(std::make_unique<Ui::FilterByDate>()), m_commands(commands), m_newState(newState)
{
    m_ui->setupUi(this);
    setAttribute(Qt::WA_DeleteOnClose);
    setWindowModality(Qt::WindowModal);
    m_ui->stateLabel->setText(Localizer::localizedString(
        "Localized-Database", newState ? "FILTER_SWITCH_ON_TEXT" : "FILTER_SWITCH_OFF_TEXT"));
    m_ui->datePicker->setDateTime(QDateTime::currentDateTime());
    connect(m_ui->buttonBox, &QDialogButtonBox::accepted, this, &SendDateFilter::okClicked);
    connect(m_ui->buttonBox, &QDialogButtonBox::rejected, this, &QDialog::reject);
}

SendDateFilter::~SendDateFilter() = default;

void SendDateFilter::displayAsSheet()
{
    open();
}

void SendDateFilter::okClicked()
{
    ActionGuard::run(
        [this] {
            if (!m_commands)
                return;
            // The date as shown, to the minute.
            QDateTime date = m_ui->datePicker->dateTime();
            date.setTime(QTime(date.time().hour(), date.time().minute()));
            const SendDateRule rule(m_ui->rangePopUp->currentIndex(), date);
            m_commands->filterMatching([&rule](const Database::Entry &entry) { return rule.matches(entry); },
                                       m_newState);
        },
        parentWidget());
    accept();
}
