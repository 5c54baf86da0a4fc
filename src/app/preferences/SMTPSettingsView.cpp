#include "SMTPSettingsView.h"

#include "ui_SettingsAcntSMTP.h"

#include "SMTPAccountVerifier.h"

#include "AlertPresenter.h"
#include "Localizer.h"

#include <QButtonGroup>
#include <QIntValidator>
#include <QSignalBlocker>

namespace {

void showText(QLineEdit *field, const QString &text)
{
    if (field->text() != text) {
        const QSignalBlocker block(field);
        field->setText(text);
    }
}

} // namespace

SMTPSettingsView::SMTPSettingsView(QWidget *parent)
    : SettingsView(parent), m_ui(std::make_unique<Ui::SettingsAcntSMTP>()), m_encryption(new QButtonGroup(this))
{
    m_ui->setupUi(this);
    m_encryption->addButton(m_ui->encryptionNone, SmtpAccountForm::NoEncryption);
    m_encryption->addButton(m_ui->encryptionTls, SmtpAccountForm::TlsFromFirstByte);
    m_encryption->addButton(m_ui->encryptionStartTls, SmtpAccountForm::StartTls);
    m_ui->smtpPort->setValidator(new QIntValidator(1, 65535, m_ui->smtpPort));
    m_ui->delayMails->setValidator(new QIntValidator(1, SmtpAccountForm::MaxDelayMails, m_ui->delayMails));
    m_ui->delayTime->setValidator(new QIntValidator(0, SmtpAccountForm::MaxDelaySeconds, m_ui->delayTime));
    connectControls();
    refresh();
}

SMTPSettingsView::~SMTPSettingsView() = default;

void SMTPSettingsView::connectControls()
{
    connect(m_ui->fromAddress, &QLineEdit::textEdited, this, [this](const QString &text) { m_form.setFromAddress(text); });
    connect(m_ui->smtpHost, &QLineEdit::textEdited, this, [this](const QString &text) { m_form.setHost(text); });
    connect(m_ui->smtpPort, &QLineEdit::textEdited, this, [this](const QString &text) { m_form.setPort(text); });
    // A port the validator let through half typed ("0", "70000") becomes
    // the encryption's default when the user leaves the field.
    connect(m_ui->smtpPort, &QLineEdit::editingFinished, this, [this] {
        if (!SmtpAccountForm::isValidPort(m_form.fields().port))
            m_form.setPort(SmtpAccountForm::defaultPort(m_form.fields().encryption));
        refresh();
    });
    connect(m_ui->smtpLogin, &QLineEdit::textEdited, this, [this](const QString &text) { m_form.setLogin(text); });
    connect(m_ui->smtpPasswd, &QLineEdit::textEdited, this, [this](const QString &text) { m_form.setPassword(text); });
    connect(m_ui->smtpAuthType, &QComboBox::activated, this, [this](int index) {
        m_form.setAuthIndex(index);
        refresh();
    });
    connect(m_encryption, &QButtonGroup::idClicked, this, [this](int tag) {
        m_form.setEncryption(tag);
        refresh();
    });
    connect(m_ui->delayCheckbox, &QCheckBox::clicked, this, [this](bool on) {
        m_form.setDelayEnabled(on);
        refresh();
    });
    connect(m_ui->delayMails, &QLineEdit::textEdited, this, [this](const QString &text) { m_form.setDelayMails(text); });
    connect(m_ui->delayTime, &QLineEdit::textEdited, this, [this](const QString &text) { m_form.setDelayTime(text); });
    connect(m_ui->verifyButton, &QPushButton::clicked, this, &SMTPSettingsView::verifySettings);
}

void SMTPSettingsView::refresh()
{
    const SmtpAccountForm::Fields &fields = m_form.fields();
    showText(m_ui->fromAddress, fields.fromAddress);
    showText(m_ui->smtpHost, fields.host);
    showText(m_ui->smtpPort, fields.port);
    showText(m_ui->smtpLogin, fields.login);
    showText(m_ui->smtpPasswd, fields.password);
    showText(m_ui->delayMails, fields.delayMails);
    showText(m_ui->delayTime, fields.delayTime);
    m_ui->smtpAuthType->setCurrentIndex(fields.authIndex);
    if (QAbstractButton *button = m_encryption->button(fields.encryption))
        button->setChecked(true);
    m_ui->delayCheckbox->setChecked(fields.delayEnabled);

    const bool credentials = m_form.credentialsEnabled();
    m_ui->smtpLogin->setEnabled(credentials);
    m_ui->smtpPasswd->setEnabled(credentials);
    m_ui->smtpLoginLabel->setEnabled(credentials);
    m_ui->smtpPasswdLabel->setEnabled(credentials);
    m_ui->cleartextWarning->setVisible(m_form.sendsPasswordUnencrypted());
    const bool delay = m_form.delayFieldsEnabled();
    m_ui->delayMails->setEnabled(delay);
    m_ui->delayTime->setEnabled(delay);
}

void SMTPSettingsView::setAccountData(const QVariant &data)
{
    m_form.setAccountData(data);
    refresh();
}

void SMTPSettingsView::storeSecrets()
{
    const SmtpAccountForm::PasswordStore store = m_form.storePasswordIfEdited();
    if (!store.attempted || store.stored)
        return;
    AlertPresenter::current().beginAlertSheet(
        Localizer::localizedString("Localized-Settings", "PASSWORD_NOT_STORED_TITLE"),
        Localizer::localizedString("Localized-Settings", "PASSWORD_NOT_STORED_MESSAGE") + QStringLiteral("\n\n")
            + store.error,
        window());
}

void SMTPSettingsView::verifySettings()
{
    auto *verifier = new SMTPAccountVerifier(window());
    verifier->setDelegate(this);
    verifier->setAccountData(m_form.accountData(), m_form.fields().password);
    verifier->displayAsSheet();
}

void SMTPSettingsView::fixAccountSettings(const QVariantMap &settings)
{
    m_form.fixAccountSettings(settings);
    refresh();
}
