#pragma once

// The SMTP account pane without its widgets: the controls' values, the
// rules between them, the account dictionary they make, and when the
// password goes to the keychain. The pane copies user edits in and shows
// what this holds.
//
// Main thread only.

#include <QString>
#include <QVariant>
#include <QVariantMap>

class SmtpAccountForm {
public:
    // Tags of the encryption buttons.
    enum Encryption { NoEncryption = 1, TlsFromFirstByte = 2, StartTls = 3 };
    // Items of the authentication menu: 0 none, any other authenticates
    // (the client picks PLAIN or LOGIN, whichever the server offers).
    static constexpr int AuthItemCount = 3;
    static constexpr int MaxDelayMails = 1000000;
    static constexpr int MaxDelaySeconds = 24 * 60 * 60;

    struct Fields {
        QString fromAddress;
        int authIndex = 0;
        QString host;
        QString port = QStringLiteral("25");
        int encryption = NoEncryption;
        QString login;
        QString password;
        bool delayEnabled = false;
        QString delayMails;
        QString delayTime;
    };

    [[nodiscard]] const Fields &fields() const { return m_fields; }

    // Fills every field from a stored entry; the password comes from the
    // keychain when the account authenticates. Raises AppException
    // (InternalInconsistency) for a missing entry, one that is no
    // dictionary, or a sender address that is no string.
    void setAccountData(const QVariant &data);
    // The dictionary of an "smtp" account. A port outside 1 to 65535 is
    // stored as the default port of the encryption, a pause interval below
    // 1 as 1, a pause length as a whole number of seconds.
    [[nodiscard]] QVariantMap accountData() const;

    // The user's edits.
    void setFromAddress(const QString &text) { m_fields.fromAddress = text; }
    void setAuthIndex(int index);
    void setHost(const QString &text);
    void setPort(const QString &text) { m_fields.port = text; }
    // The button with the tag was chosen: a port that was the default of
    // the encryption before becomes the new one's; any other stays.
    void setEncryption(int tag);
    void setLogin(const QString &text);
    void setPassword(const QString &text);
    void setDelayEnabled(bool on) { m_fields.delayEnabled = on; }
    void setDelayMails(const QString &text) { m_fields.delayMails = text; }
    void setDelayTime(const QString &text) { m_fields.delayTime = text; }

    // The control rules.
    [[nodiscard]] bool credentialsEnabled() const { return m_fields.authIndex >= 1; }
    [[nodiscard]] bool delayFieldsEnabled() const { return m_fields.delayEnabled; }
    // Authenticating without encryption: the password crosses the network as it is.
    [[nodiscard]] bool sendsPasswordUnencrypted() const
    {
        return credentialsEnabled() && m_fields.encryption == NoEncryption;
    }

    // Whether the password, server or login was edited since the account was shown.
    [[nodiscard]] bool credentialsEdited() const { return m_credentialsEdited; }
    struct PasswordStore {
        bool attempted = false;
        bool stored = false;
        QString error;
    };
    // Writes the typed password to the keychain under the server and login,
    // only after an edit of one of them and only when the field is not
    // empty: an account merely looked at writes nothing, and an empty field
    // leaves a stored password as it is.
    PasswordStore storePasswordIfEdited();

    // The verifier's corrections: "smtpServer", "smtpPort", and
    // "encryption" (0 none, 1 TLS from the first byte, 2 STARTTLS).
    void fixAccountSettings(const QVariantMap &settings);

    // 465 for TLS from the first byte, 587 for STARTTLS, 25 without encryption.
    [[nodiscard]] static QString defaultPort(int encryptionTag);
    [[nodiscard]] static bool isValidPort(const QString &text);

private:
    Fields m_fields;
    bool m_credentialsEdited = false;
};
