#include "SMTPAccountVerifier.h"

#include "ui_SMTPAccountVerifier.h"

#include "SMTPSettingsView.h"

#include "AlertPresenter.h"
#include "Keychain.h"
#include "Localizer.h"
#include "PasswordPrompter.h"
#include "Settings.h"

#include <QCloseEvent>
#include <QPushButton>

namespace {

std::optional<QList<VerifierCandidate>> &fallbackOverride()
{
    static std::optional<QList<VerifierCandidate>> fallbacks;
    return fallbacks;
}

QString encryptionName(int encryption)
{
    switch (encryption) {
    case 1:
        return Localizer::localizedString("accountVerifier", "Encryption 1");
    case 2:
        return Localizer::localizedString("accountVerifier", "Encryption 2");
    default:
        return Localizer::localizedString("accountVerifier", "Encryption 0");
    }
}

// What the working pair changes, one line each.
QString changesText(const VerifierSettings &settings, const VerifierCandidate &working)
{
    QStringList lines;
    if (working.port != settings.port)
        lines.append(Localizer::localizedString("accountVerifier", "Port change").arg(settings.port, working.port));
    if (working.encryption != settings.encryption)
        lines.append(Localizer::localizedString("accountVerifier", "Encryption change")
                         .arg(encryptionName(settings.encryption), encryptionName(working.encryption)));
    return lines.join(u'\n');
}

QString whyText(const VerifierSettings &settings, const VerifierResult &result)
{
    switch (result.why) {
    case VerifierResult::HostNotFound:
        return Localizer::localizedString("accountVerifier", "Host not found").arg(settings.host);
    case VerifierResult::OutOfTime:
        return Localizer::localizedString("accountVerifier", "Out of time");
    case VerifierResult::NoAuthentication:
        return Localizer::localizedString("accountVerifier", "No authentication offered");
    case VerifierResult::EncryptionDemanded:
        return Localizer::localizedString("accountVerifier", "Encryption demanded").arg(result.demand);
    case VerifierResult::SmtpFailure:
        return result.reason;
    case VerifierResult::NoWhy:
        break;
    }
    return QString();
}

} // namespace

SMTPAccountVerifier::SMTPAccountVerifier(QWidget *parentWindow)
    : QDialog(parentWindow), m_ui(std::make_unique<Ui::SMTPAccountVerifier>()), m_parentWindow(parentWindow),
      m_fallbacks(fallbackOverride().value_or(VerifierPolicy::defaultFallbacks()))
{
    m_ui->setupUi(this);
    setAttribute(Qt::WA_DeleteOnClose);
    setWindowModality(Qt::WindowModal);
    connect(cancelButton(), &QPushButton::clicked, this, &SMTPAccountVerifier::cancelClicked);
}

SMTPAccountVerifier::~SMTPAccountVerifier()
{
    if (m_run)
        m_run->cancel();
}

QProgressBar *SMTPAccountVerifier::progIndicator() const
{
    return m_ui->progIndicator;
}

QPushButton *SMTPAccountVerifier::cancelButton() const
{
    return m_ui->buttons->button(QDialogButtonBox::Cancel);
}

void SMTPAccountVerifier::setDefaultFallbacks(const std::optional<QList<VerifierCandidate>> &fallbacks)
{
    fallbackOverride() = fallbacks;
}

void SMTPAccountVerifier::setAccountData(const QVariantMap &account, const QString &typedPassword)
{
    m_settings = VerifierSettings::fromAccount(account);
    m_typedPassword = typedPassword;
}

bool SMTPAccountVerifier::displayAsSheet()
{
    if (m_settings.authenticates()) {
        // Read here, on the main thread: the worker must never wait for the
        // keychain, which may itself wait for the main thread.
        QString password = m_typedPassword;
        if (password.isEmpty())
            password = Keychain::getKeychainPasswordForServer(m_settings.host, m_settings.login);
        if (password.isEmpty()) {
            const std::shared_ptr<PasswordPrompter> prompter = PasswordPrompter::defaultPrompter();
            if (!prompter) {
                AlertPresenter::current().beginAlertSheet(
                    Localizer::localizedString("accountVerifier", "No password"),
                    Localizer::localizedString("accountVerifier", "No password message"), m_parentWindow);
                deleteLater();
                return false;
            }
            const QPointer<SMTPAccountVerifier> self(this);
            const std::optional<QString> answer =
                prompter->askForPassword(m_parentWindow.data(), m_settings.host, m_settings.login);
            if (!self)
                return false;
            if (!answer || answer->isEmpty()) {
                deleteLater();
                return false;
            }
            password = *answer;
        }
        m_settings.password = password;
    }
    open();
    m_run = VerifierRun::start(m_settings, m_fallbacks, m_limits,
                               [this](const VerifierResult &result) { resultArrived(result); });
    return true;
}

void SMTPAccountVerifier::resultArrived(const VerifierResult &result)
{
    if (m_ended)
        return;
    const QPointer<QWidget> parentWindow = m_parentWindow;
    const QPointer<SMTPSettingsView> pane = m_delegate;
    const VerifierSettings settings = m_settings;
    end();
    QString title;
    QString text;
    switch (result.kind) {
    case VerifierResult::Correct:
        title = Localizer::localizedString("accountVerifier", "Settings are correct");
        text = Localizer::localizedString("accountVerifier", "Settings are correct message");
        break;
    case VerifierResult::Fixed:
        title = Localizer::localizedString("accountVerifier", "Settings changed");
        text = Localizer::localizedString("accountVerifier", "Settings changed message") + QStringLiteral("\n\n")
               + changesText(settings, result.working);
        if (!result.demand.isEmpty())
            text += QStringLiteral("\n\n")
                    + Localizer::localizedString("accountVerifier", "Encryption demanded").arg(result.demand);
        break;
    case VerifierResult::Wrong:
        title = Localizer::localizedString("accountVerifier", "Settings are incorrect");
        text = Localizer::localizedString("accountVerifier", "Settings are incorrect message");
        if (const QString why = whyText(settings, result); !why.isEmpty())
            text += QStringLiteral("\n\n") + why;
        break;
    }
    if (parentWindow && result.kind == VerifierResult::Correct)
        AlertPresenter::current().beginInformationSheet(title, text, parentWindow);
    else if (parentWindow)
        AlertPresenter::current().beginAlertSheet(title, text, parentWindow);
    if (result.kind == VerifierResult::Fixed && pane) {
        pane->fixAccountSettings({{AccountKeys::SmtpServer, settings.host},
                                  {AccountKeys::SmtpPort, result.working.port},
                                  {QStringLiteral("encryption"), result.working.encryption}});
    }
}

void SMTPAccountVerifier::cancelClicked()
{
    if (m_run)
        m_run->cancel();
    end();
}

void SMTPAccountVerifier::reject()
{
    cancelClicked();
}

void SMTPAccountVerifier::closeEvent(QCloseEvent *event)
{
    if (!m_ended && m_run)
        m_run->cancel();
    m_ended = true;
    // Not QDialog's: it would reject, and rejecting cancels and closes again.
    event->accept();
}

void SMTPAccountVerifier::end()
{
    if (m_ended)
        return;
    m_ended = true;
    // Deleted later by the close: the caller may still read its members.
    close();
}
