#include "MailAccountImporter.h"

#include "ui_MailAccountImporter.h"

#include "EvolutionAccountSource.h"
#include "ThunderbirdAccountSource.h"

#include "AlertPresenter.h"
#include "Alerts.h"
#include "AppPaths.h"
#include "Localizer.h"

#include <QPushButton>
#include <QStandardPaths>

namespace {

// At most this many of the source's warnings are shown; they are for
// someone who wonders why an account is missing, not a log.
constexpr int ShownNotes = 5;

} // namespace

std::unique_ptr<AccountImportSource> MailAccountImporter::sourceForTag(int tag)
{
    const QString home = AppPaths::homePath();
    if (tag == 11) {
        const QString config = QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation);
        return std::make_unique<EvolutionAccountSource>(EvolutionAccountSource::sourceFolders(home, config));
    }
    return std::make_unique<ThunderbirdAccountSource>(home);
}

MailAccountImporter::MailAccountImporter(QWidget *parentWindow, std::unique_ptr<AccountImportSource> source)
    : QDialog(parentWindow), m_ui(std::make_unique<Ui::MailAccountImporter>()), m_parentWindow(parentWindow),
      m_source(std::move(source))
{
    m_ui->setupUi(this);
    setAttribute(Qt::WA_DeleteOnClose);
    setWindowModality(Qt::WindowModal);
    m_ui->introLabel->setText(Localizer::localizedString("Localized-Settings", "IMPORT_INTRO"));
    connect(m_ui->buttons, &QDialogButtonBox::accepted, this, &MailAccountImporter::okClicked);
    connect(m_ui->buttons, &QDialogButtonBox::rejected, this, &MailAccountImporter::cancelClicked);
    connect(m_ui->accountMenu, &QComboBox::currentIndexChanged, this, &MailAccountImporter::showWarningOfSelection);
}

MailAccountImporter::~MailAccountImporter() = default;

QComboBox *MailAccountImporter::accountMenu() const
{
    return m_ui->accountMenu;
}

QLabel *MailAccountImporter::warningLabel() const
{
    return m_ui->warningLabel;
}

QLabel *MailAccountImporter::notesLabel() const
{
    return m_ui->notesLabel;
}

void MailAccountImporter::displayAsSheet()
{
    m_accounts = m_source->accounts();
    for (const ImportedAccount &account : m_accounts)
        m_ui->accountMenu->addItem(account.title);
    const QStringList notes = m_source->warnings();
    if (m_accounts.isEmpty())
        m_ui->notesLabel->setText(Localizer::localizedString("Localized-Settings", "IMPORT_NOTHING_FOUND"));
    if (!notes.isEmpty()) {
        QString text = Localizer::localizedString("Localized-Settings", "IMPORT_NOTES");
        for (qsizetype i = 0; i < std::min<qsizetype>(notes.size(), ShownNotes); ++i)
            text += u'\n' + notes.at(i);
        if (notes.size() > ShownNotes)
            text += QStringLiteral("\n…");
        m_ui->notesLabel->setText(m_ui->notesLabel->text().isEmpty() ? text : m_ui->notesLabel->text() + u'\n' + text);
    }
    showWarningOfSelection();
    open();
}

void MailAccountImporter::showWarningOfSelection()
{
    const int index = m_ui->accountMenu->currentIndex();
    const QString warning = index >= 0 && index < m_accounts.size() ? m_accounts.at(index).warning : QString();
    m_ui->warningLabel->setText(warning);
    m_ui->warningLabel->setVisible(!warning.isEmpty());
    // Wrapped labels change their height with their text.
    adjustSize();
}

void MailAccountImporter::okClicked()
{
    const int index = m_ui->accountMenu->currentIndex();
    const bool importable = index >= 0 && index < m_accounts.size() && m_accounts.at(index).hasServer();
    if (!importable) {
        DoDisplayAlert(QStringLiteral("Account not imported title"), QStringLiteral("Account not imported text"));
    } else {
        const ImportedAccount &account = m_accounts.at(index);
        if (m_delegate)
            m_delegate->addAccountWithData(account.accountDictionary());
        if (!account.warning.isEmpty())
            AlertPresenter::current().beginAlertSheet(
                Localizer::localizedString("Localized-Settings", "IMPORT_WITH_WARNING_TITLE"), account.warning,
                m_parentWindow);
    }
    close();
}

void MailAccountImporter::cancelClicked()
{
    close();
}
