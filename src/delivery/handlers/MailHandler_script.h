#pragma once

#include "MailAttachment.h"
#include "MailHandler.h"

#include <QList>
#include <QString>
#include <QVariantMap>

// Hands each plain-text message to the local mail system through the
// application's script "send_AppleMail" (resources/scripts), which builds
// the message and pipes it to sendmail: the script is called with the
// handler name "sendmail" and reads the seven texts (from, to, cc, bcc,
// subject, body, attachment paths) as a JSON array on standard input.
// Messages with an HTML part are not taken.
class MailHandler_script : public MailHandler {
public:
    // An HTML message, or the script could not be run or reported a failure.
    static constexpr int Failed = -1;
    // The most of the script's error output that is kept for the error text.
    static constexpr int MaxErrorOutput = 4096;
    // How long the script and the mail system may take for one message;
    // then the script is killed and the message counts as failed.
    static constexpr int ScriptTimeoutMs = 60000;
    // How long a script told to stop (SIGTERM) may take before it is killed.
    static constexpr int StopGraceMs = 1000;

    MailHandler_script() = default;

    // True when "mailFromAddress" is not empty.
    [[nodiscard]] static bool checkAccountData(const QVariantMap &account);
    // The attachments' paths joined by "/::/", as the script splits them.
    [[nodiscard]] static QString createAttachmentString(const QList<MailAttachment> &attachments);
    // Where the script is looked for.
    [[nodiscard]] static QString scriptPath();

    void setConnectionData(const QVariantMap &account) override { (void)account; }
    // Asked while the script runs; its no stops the script, and the
    // message may then have reached the mail system (Cancelled).
    void setProgressCallback(SmtpProgressDelegate *callback) override { m_callback = callback; }
    [[nodiscard]] SmtpProgressDelegate *progressCallback() const override { return m_callback; }
    [[nodiscard]] int sendMessage(const MailMessage &message) override;
    [[nodiscard]] QString getErrorDesc(int result) override;
    [[nodiscard]] bool lastFailureMayHaveDelivered() const override { return m_mayHaveDelivered; }
    // For tests.
    void setScriptTimeoutMs(int milliseconds) { m_scriptTimeoutMs = milliseconds; }

private:
    int m_scriptTimeoutMs = ScriptTimeoutMs;
    SmtpProgressDelegate *m_callback = nullptr;
    // The script was stopped while it ran: it may have handed the message on.
    bool m_mayHaveDelivered = false;
    // Why the last send failed, when the script was at fault; empty after an HTML message.
    QString m_scriptError;
    // Why the last message was not handed to the script at all (an address
    // that cannot be sent); empty when it was.
    QString m_refusal;
};
