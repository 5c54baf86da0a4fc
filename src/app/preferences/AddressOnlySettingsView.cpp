#include "AddressOnlySettingsView.h"

#include "ui_SettingsAcntAddress.h"

#include "DictionaryGetters.h"
#include "Localizer.h"
#include "Settings.h"

AddressOnlySettingsView::AddressOnlySettingsView(const QString &accountType, const QString &explanation,
                                                 QWidget *parent)
    : SettingsView(parent), m_ui(std::make_unique<Ui::SettingsAcntAddress>()), m_accountType(accountType)
{
    m_ui->setupUi(this);
    m_ui->explanation->setText(explanation);
}

AddressOnlySettingsView::~AddressOnlySettingsView() = default;

QLineEdit *AddressOnlySettingsView::mailAddress() const
{
    return m_ui->mailAddress;
}

QVariantMap AddressOnlySettingsView::accountData() const
{
    return {{AccountKeys::AccountType, m_accountType}, {AccountKeys::MailFromAddress, m_ui->mailAddress->text()}};
}

void AddressOnlySettingsView::setAccountData(const QVariant &data)
{
    const QVariantMap account = checkedAccount(data);
    if (account.contains(AccountKeys::MailFromAddress))
        m_ui->mailAddress->setText(DoGetDictStringForKey(account, AccountKeys::MailFromAddress));
}

LocalServerSettingsView::LocalServerSettingsView(QWidget *parent)
    : AddressOnlySettingsView(AccountTypes::LocalServer,
                              Localizer::localizedString("Localized-Settings", "LOCALSERVER_EXPLANATION"), parent)
{
}

AppleMailSettingsView::AppleMailSettingsView(QWidget *parent)
    : AddressOnlySettingsView(AccountTypes::AppleMail,
                              Localizer::localizedString("Localized-Settings", "APPLEMAIL_EXPLANATION"), parent)
{
}
