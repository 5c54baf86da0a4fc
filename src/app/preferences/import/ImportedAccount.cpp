#include "ImportedAccount.h"

#include "Settings.h"

int ImportedAccount::effectivePort() const
{
    if (port > 0 && port <= 65535)
        return port;
    return security == TlsFromFirstByte ? 465 : 587;
}

QVariantMap ImportedAccount::accountDictionary() const
{
    QVariantMap account{
        {AccountKeys::AccountType, AccountTypes::Smtp},
        {AccountKeys::AccountName, title},
        {AccountKeys::SmtpPort, QString::number(effectivePort())},
        {AccountKeys::UseSSL, security == TlsFromFirstByte ? QStringLiteral("1") : QStringLiteral("0")},
        {AccountKeys::SmtpAuthType, authenticate ? QStringLiteral("2") : QStringLiteral("0")},
    };
    if (security == StartTls)
        account.insert(AccountKeys::UseTLS, QStringLiteral("1"));
    if (!fromAddress.isEmpty())
        account.insert(AccountKeys::MailFromAddress, fromAddress);
    if (!host.isEmpty())
        account.insert(AccountKeys::SmtpServer, host);
    if (!login.isEmpty())
        account.insert(AccountKeys::SmtpLogin, login);
    return account;
}

QString ImportedAccount::cleanText(const QString &text)
{
    QString clean;
    clean.reserve(text.size());
    for (const QChar c : text) {
        // Cc holds C0, DEL and C1; the two Unicode line separators end lines too.
        if (c.category() == QChar::Other_Control || c == QChar(0x2028) || c == QChar(0x2029))
            continue;
        clean.append(c);
    }
    return clean.trimmed();
}
