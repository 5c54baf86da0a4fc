#include "SmtpAccountForm.h"

#include "AppException.h"
#include "Keychain.h"
#include "Settings.h"
#include "Values.h"

#include <QDebug>

#include <algorithm>

namespace {

QString describe(const QVariant &value)
{
    QString text;
    QDebug(&text).noquote().nospace() << value;
    return text;
}

[[noreturn]] void raiseUnexpectedClass(const QVariant &value)
{
    throw AppException(ExceptionNames::InternalInconsistency,
                       QStringLiteral("Object type is of unexpected class: %1").arg(QString::fromLatin1(value.typeName())),
                       {{ExceptionKeys::ObjectDescription, describe(value)}});
}

// A stored value as the text a field shows: strings as they are, numbers by value.
QString fieldText(const QVariant &value)
{
    if (isStringValue(value))
        return value.toString();
    if (isNumberValue(value))
        return value.typeId() == QMetaType::Bool ? QString::number(int(value.toBool())) : value.toString();
    return QString();
}

// A whole number of at least low from text that should hold one.
QString atLeast(const QString &text, int low, int high)
{
    return QString::number(std::clamp(intValue(text), low, high));
}

} // namespace

void SmtpAccountForm::setAccountData(const QVariant &data)
{
    if (!data.isValid())
        throw AppException(ExceptionNames::InternalInconsistency, QStringLiteral("Object == nil"));
    if (data.typeId() != QMetaType::QVariantMap)
        raiseUnexpectedClass(data);
    const QVariantMap account = data.toMap();
    m_fields = Fields();
    m_credentialsEdited = false;

    if (account.contains(AccountKeys::MailFromAddress)) {
        const QVariant from = account.value(AccountKeys::MailFromAddress);
        if (!isStringValue(from))
            raiseUnexpectedClass(from);
        m_fields.fromAddress = from.toString();
    }
    if (account.contains(AccountKeys::SmtpAuthType))
        m_fields.authIndex = std::clamp(intValue(account.value(AccountKeys::SmtpAuthType)), 0, AuthItemCount - 1);
    if (account.contains(AccountKeys::SmtpServer))
        m_fields.host = fieldText(account.value(AccountKeys::SmtpServer));
    if (account.contains(AccountKeys::SmtpPort))
        m_fields.port = fieldText(account.value(AccountKeys::SmtpPort));
    if (account.contains(AccountKeys::UseSSL) && intValue(account.value(AccountKeys::UseSSL)) != 0)
        m_fields.encryption = TlsFromFirstByte;
    else if (account.contains(AccountKeys::UseTLS) && intValue(account.value(AccountKeys::UseTLS)) != 0)
        m_fields.encryption = StartTls;
    if (m_fields.authIndex > 0) {
        m_fields.login = fieldText(account.value(AccountKeys::SmtpLogin));
        const QString password = Keychain::getKeychainPasswordForServer(m_fields.host, m_fields.login);
        if (!password.isNull())
            m_fields.password = password;
    }
    if (account.contains(AccountKeys::DelayEnabled))
        m_fields.delayEnabled = intValue(account.value(AccountKeys::DelayEnabled)) != 0;
    if (account.contains(AccountKeys::DelayMails))
        m_fields.delayMails = fieldText(account.value(AccountKeys::DelayMails));
    if (account.contains(AccountKeys::DelayTime))
        m_fields.delayTime = fieldText(account.value(AccountKeys::DelayTime));
}

QVariantMap SmtpAccountForm::accountData() const
{
    const QString zero = QStringLiteral("0");
    const QString one = QStringLiteral("1");
    return {
        {AccountKeys::AccountType, AccountTypes::Smtp},
        {AccountKeys::MailFromAddress, m_fields.fromAddress},
        {AccountKeys::SmtpAuthType, QString::number(m_fields.authIndex)},
        {AccountKeys::SmtpServer, m_fields.host},
        {AccountKeys::SmtpPort, isValidPort(m_fields.port) ? QString::number(intValue(m_fields.port))
                                                           : defaultPort(m_fields.encryption)},
        {AccountKeys::UseSSL, m_fields.encryption == TlsFromFirstByte ? one : zero},
        {AccountKeys::UseTLS, m_fields.encryption == StartTls ? one : zero},
        {AccountKeys::SmtpLogin, m_fields.login},
        {AccountKeys::DelayEnabled, m_fields.delayEnabled ? one : zero},
        // A pause after every 0th message would pause before each one.
        {AccountKeys::DelayMails, atLeast(m_fields.delayMails, 1, MaxDelayMails)},
        {AccountKeys::DelayTime, atLeast(m_fields.delayTime, 0, MaxDelaySeconds)},
    };
}

void SmtpAccountForm::setAuthIndex(int index)
{
    m_fields.authIndex = std::clamp(index, 0, AuthItemCount - 1);
}

void SmtpAccountForm::setHost(const QString &text)
{
    m_fields.host = text;
    m_credentialsEdited = true;
}

void SmtpAccountForm::setEncryption(int tag)
{
    if (tag != NoEncryption && tag != TlsFromFirstByte && tag != StartTls)
        return;
    // A port the user typed is theirs; only the one that came with the
    // encryption chosen before goes with it.
    if (m_fields.port.trimmed() == defaultPort(m_fields.encryption))
        m_fields.port = defaultPort(tag);
    m_fields.encryption = tag;
}

void SmtpAccountForm::setLogin(const QString &text)
{
    m_fields.login = text;
    m_credentialsEdited = true;
}

void SmtpAccountForm::setPassword(const QString &text)
{
    m_fields.password = text;
    m_credentialsEdited = true;
}

SmtpAccountForm::PasswordStore SmtpAccountForm::storePasswordIfEdited()
{
    PasswordStore result;
    if (!m_credentialsEdited || !credentialsEnabled() || m_fields.password.isEmpty())
        return result;
    result.attempted = true;
    result.stored = Keychain::setKeychainServer(m_fields.host, m_fields.login, m_fields.password, &result.error);
    // A failed store is tried again at the next one.
    if (result.stored)
        m_credentialsEdited = false;
    return result;
}

void SmtpAccountForm::fixAccountSettings(const QVariantMap &settings)
{
    if (settings.contains(AccountKeys::SmtpServer))
        m_fields.host = fieldText(settings.value(AccountKeys::SmtpServer));
    if (settings.contains(AccountKeys::SmtpPort))
        m_fields.port = fieldText(settings.value(AccountKeys::SmtpPort));
    if (settings.contains(QStringLiteral("encryption"))) {
        const int encryption = intValue(settings.value(QStringLiteral("encryption")));
        m_fields.encryption = encryption == 2 ? StartTls : encryption == 1 ? TlsFromFirstByte : NoEncryption;
    }
}

QString SmtpAccountForm::defaultPort(int encryptionTag)
{
    switch (encryptionTag) {
    case TlsFromFirstByte:
        return QStringLiteral("465");
    case StartTls:
        return QStringLiteral("587"); // submission (RFC 6409), where clients upgrade
    default:
        return QStringLiteral("25");
    }
}

bool SmtpAccountForm::isValidPort(const QString &text)
{
    bool ok = false;
    const int port = text.trimmed().toInt(&ok);
    return ok && port >= 1 && port <= 65535;
}
