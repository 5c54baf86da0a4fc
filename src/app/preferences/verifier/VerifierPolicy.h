#pragma once

// What the SMTP account verifier tries and what it makes of each attempt,
// apart from the code that runs the attempts (VerifierRun).

#include <QList>
#include <QString>
#include <QVariantMap>

struct SMTP_Session;

// The settings one verification runs with: the account's, and its password.
struct VerifierSettings {
    QString senderAddress;
    int authType = 0; // above 0: authenticate
    QString host;
    QString port;
    QString login;
    QString password;
    int encryption = 0; // 0 none, 1 TLS from the first byte, 2 STARTTLS

    [[nodiscard]] bool authenticates() const { return authType > 0; }
    // From an account dictionary; the password is not part of it.
    [[nodiscard]] static VerifierSettings fromAccount(const QVariantMap &account);
};

// A port and encryption to try instead of the account's own.
struct VerifierCandidate {
    QString port;
    int encryption = 0;
    friend bool operator==(const VerifierCandidate &, const VerifierCandidate &) = default;
};

// What one attempt showed beside its result code.
struct AttemptFacts {
    bool authenticated = false;       // the server took the password
    bool certificateRejected = false; // TLS failed on the server's certificate
    bool timedOut = false;            // the attempt ran out of its time
    bool encryptionDemanded = false;  // refused in the clear until STARTTLS (RFC 3207's 530)
};

namespace VerifierPolicy {

// The usual pairs, secure ones first: 465 with TLS from the first byte,
// 25 and 587 with STARTTLS, then 25 and 587 without encryption.
[[nodiscard]] QList<VerifierCandidate> defaultFallbacks();

// The account's own pair, then the fallbacks that may stand in for it:
// never one less encrypted than the account (a working one would be
// proposed and weaken it), and when the account authenticates, none
// without encryption unless the account itself has none (the password
// would cross the network in the clear).
[[nodiscard]] QList<VerifierCandidate> attempts(const VerifierSettings &settings,
                                                const QList<VerifierCandidate> &fallbacks);

enum class Step {
    Works,   // the pair is the answer
    TryNext, // nothing was learnt about the account but that this pair does not answer
    Stop,    // the account's settings are wrong here: trying elsewhere would repeat the password
};
// Judges one attempt by the SMTP client's result code. Only failures to
// connect, to be greeted or to negotiate (TLS not offered, not spoken, a
// time-out, a server that wants STARTTLS first) move on; a refused
// certificate, password or sender stops. A connection that did not
// authenticate when the account does is no success.
[[nodiscard]] Step judge(int result, bool authenticationAsked, const AttemptFacts &facts);

// Whether a reply refuses a command until the client has used STARTTLS,
// as RFC 3207 has servers say it: "530 Must issue a STARTTLS command first".
[[nodiscard]] bool demandsStartTls(int replyCode, const QString &reply);
// The server at the attempt's port wants STARTTLS: that pair comes next,
// unless it was tried already.
void tryStartTlsNext(QList<VerifierCandidate> &attempts, qsizetype index);

// Whether the session's last failure was the server's certificate.
[[nodiscard]] bool isCertificateFailure(const SMTP_Session &session);

} // namespace VerifierPolicy
