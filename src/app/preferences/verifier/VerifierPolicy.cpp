#include "VerifierPolicy.h"

#include "DictionaryGetters.h"
#include "SMTPMail.h"
#include "SMTP_Session.h"
#include "Settings.h"
#include "Values.h"

#include <openssl/err.h>
#include <openssl/ssl.h>

namespace {

bool encrypts(int encryption)
{
    return encryption == 1 || encryption == 2;
}

} // namespace

VerifierSettings VerifierSettings::fromAccount(const QVariantMap &account)
{
    VerifierSettings settings;
    settings.senderAddress = DoGetDictStringForKey(account, AccountKeys::MailFromAddress);
    settings.authType = intValue(account.value(AccountKeys::SmtpAuthType));
    settings.host = DoGetDictStringForKey(account, AccountKeys::SmtpServer);
    settings.port = DoGetDictStringForKey(account, AccountKeys::SmtpPort);
    if (account.contains(AccountKeys::UseSSL) && intValue(account.value(AccountKeys::UseSSL)) != 0)
        settings.encryption = 1;
    else if (account.contains(AccountKeys::UseTLS) && intValue(account.value(AccountKeys::UseTLS)) != 0)
        settings.encryption = 2;
    if (settings.authenticates())
        settings.login = DoGetDictStringForKey(account, AccountKeys::SmtpLogin);
    return settings;
}

QList<VerifierCandidate> VerifierPolicy::defaultFallbacks()
{
    return {{QStringLiteral("465"), 1}, {QStringLiteral("25"), 2}, {QStringLiteral("587"), 2},
            {QStringLiteral("25"), 0}, {QStringLiteral("587"), 0}};
}

QList<VerifierCandidate> VerifierPolicy::attempts(const VerifierSettings &settings,
                                                  const QList<VerifierCandidate> &fallbacks)
{
    const VerifierCandidate own{settings.port, settings.encryption};
    QList<VerifierCandidate> list{own};
    for (const VerifierCandidate &candidate : fallbacks) {
        if (candidate == own || list.contains(candidate))
            continue;
        // Also keeps the password off unencrypted pairs unless the account
        // itself sends it that way.
        if (encrypts(settings.encryption) && !encrypts(candidate.encryption))
            continue;
        list.append(candidate);
    }
    return list;
}

VerifierPolicy::Step VerifierPolicy::judge(int result, bool authenticationAsked, const AttemptFacts &facts)
{
    if (result == 0)
        return !authenticationAsked || facts.authenticated ? Step::Works : Step::TryNext;
    if (facts.timedOut || facts.encryptionDemanded)
        return Step::TryNext;
    switch (result) {
    case SMTPMail::HostUnreachable:
    case SMTPMail::BadGreeting:
    case SMTPMail::HelloWriteFailed:
    case SMTPMail::HelloRefused:
        return Step::TryNext;
    case SMTPMail::StartTlsFailed:
        return facts.certificateRejected ? Step::Stop : Step::TryNext;
    default:
        return Step::Stop;
    }
}

bool VerifierPolicy::demandsStartTls(int replyCode, const QString &reply)
{
    return replyCode == 530 && reply.contains(QStringLiteral("STARTTLS"), Qt::CaseInsensitive);
}

void VerifierPolicy::tryStartTlsNext(QList<VerifierCandidate> &attempts, qsizetype index)
{
    const VerifierCandidate startTls{attempts.at(index).port, 2};
    const qsizetype at = attempts.indexOf(startTls);
    if (at >= 0 && at <= index)
        return; // tried already
    if (at > index)
        attempts.removeAt(at);
    attempts.insert(index + 1, startTls);
}

bool VerifierPolicy::isCertificateFailure(const SMTP_Session &session)
{
    const auto code = static_cast<unsigned long>(static_cast<uint32_t>(session.lastSystemError));
    if (code > 0xFFFF && ERR_GET_LIB(code) == ERR_LIB_SSL && ERR_GET_REASON(code) == SSL_R_CERTIFICATE_VERIFY_FAILED)
        return true;
    // The reason text names the certificate whatever code came with it.
    return session.lastErrorText.contains(QStringLiteral("certificate"), Qt::CaseInsensitive);
}
