#include "MailHandler_script.h"

#include "AppPaths.h"
#include "BetterString.h"
#include "Localizer.h"
#include "MailHelper.h"
#include "MailMessage.h"
#include "SmtpProgressDelegate.h"

#include <QDeadlineTimer>
#include <QJsonArray>
#include <QJsonDocument>
#include <QProcess>
#include <QTemporaryFile>

#include <csignal>
#include <sys/types.h>
#include <unistd.h>

namespace {

// How often a running script's output is taken in and the progress
// callback asked whether to go on.
constexpr int WaitStepMs = 50;

// Ends the script and the sendmail it started (its process group): at once,
// or first with SIGTERM and, after the grace time, SIGKILL.
void endScript(QProcess &script, int graceMs)
{
    const auto signalGroup = [&](int signal) {
        if (const qint64 pid = script.processId(); pid > 0)
            ::kill(-pid_t(pid), signal);
    };
    if (graceMs > 0) {
        signalGroup(SIGTERM);
        if (script.waitForFinished(graceMs))
            return;
    }
    signalGroup(SIGKILL);
    script.kill();
    script.waitForFinished();
}

} // namespace

bool MailHandler_script::checkAccountData(const QVariantMap &account)
{
    return !account.value(QStringLiteral("mailFromAddress")).toString().isEmpty();
}

QString MailHandler_script::createAttachmentString(const QList<MailAttachment> &attachments)
{
    QStringList paths;
    for (const MailAttachment &attachment : attachments)
        paths.append(attachment.filePath());
    return paths.join(QStringLiteral("/::/"));
}

QString MailHandler_script::scriptPath()
{
    return AppPaths::resourcesPath() + QStringLiteral("/scripts/send_AppleMail");
}

int MailHandler_script::sendMessage(const MailMessage &message)
{
    m_scriptError.clear();
    m_refusal.clear();
    m_mayHaveDelivered = false;
    if (message.hasFormattedBody())
        return Failed;

    // The addresses as the message writer puts them in headers, which
    // sendmail -t reads the recipients from: line breaks in names become
    // spaces, domains take their ASCII form, an address that cannot be
    // sent fails the message with its cause.
    QString why;
    const QString from = MailHelper::encodeMailAddress(message.from(), &why);
    if (from.isNull()) {
        m_refusal = QStringLiteral("Sender: ") + why;
        return Failed;
    }
    const QString to = MailHelper::encodeMailAddress(message.to(), &why);
    if (to.isNull()) {
        m_refusal = QStringLiteral("Recipient: ") + why;
        return Failed;
    }
    const QString bcc = message.bcc().isEmpty() ? QString() : MailHelper::encodeMailAddress(message.bccString(), &why);
    if (!message.bcc().isEmpty() && bcc.isNull()) {
        m_refusal = QStringLiteral("Blind copy: ") + why;
        return Failed;
    }

    // The texts go on standard input, never on a command line: they come
    // from a table, and a body or a list of blind copies may be far larger
    // than one program argument may be (128 KiB on Linux). From a file only
    // this user may read, not a pipe: writing to a pipe would have Qt ignore
    // SIGPIPE for the whole process.
    QTemporaryFile input;
    const QByteArray texts = QJsonDocument(QJsonArray{from, to, QString(), bcc,
                                                      message.subject(), message.plainBody(),
                                                      createAttachmentString(message.attachments())})
                                 .toJson(QJsonDocument::Compact);
    if (!input.open() || input.write(texts) != texts.size() || !input.flush()) {
        m_scriptError = QStringLiteral("The message could not be written for the mail script: ") + input.errorString();
        return Failed;
    }
    QProcess script;
    script.setProgram(scriptPath());
    script.setArguments({QStringLiteral("sendmail")});
    script.setStandardInputFile(input.fileName());
    script.setStandardOutputFile(QProcess::nullDevice());
    script.setReadChannel(QProcess::StandardError);
    // A group of its own, so that a time-out also ends the sendmail it started.
    script.setChildProcessModifier([] { ::setpgid(0, 0); });
    script.start();
    if (!script.waitForStarted()) {
        m_scriptError = scriptPath() + QStringLiteral(": ") + script.errorString();
        return Failed;
    }

    // Read as it comes, keeping only the start: a runaway script cannot fill memory.
    QByteArray errorOutput;
    const QDeadlineTimer deadline(m_scriptTimeoutMs);
    while (script.state() != QProcess::NotRunning && !deadline.hasExpired()) {
        script.waitForReadyRead(WaitStepMs);
        const QByteArray chunk = script.readAllStandardError();
        errorOutput.append(chunk.left(MaxErrorOutput - errorOutput.size()));
        if (script.state() != QProcess::NotRunning && m_callback && !m_callback->sentBytesInfo(0, 0)) {
            endScript(script, StopGraceMs);
            // The message went to the script whole; sendmail may have it.
            m_mayHaveDelivered = true;
            return Cancelled;
        }
    }
    if (script.state() != QProcess::NotRunning) {
        endScript(script, 0);
        m_scriptError = QStringLiteral("The mail script did not finish in time.");
        return Failed;
    }
    errorOutput.append(script.readAllStandardError().left(MaxErrorOutput - errorOutput.size()));

    if (script.exitStatus() != QProcess::NormalExit || script.exitCode() != 0) {
        m_scriptError = script.exitStatus() != QProcess::NormalExit
            ? QStringLiteral("The mail script stopped abnormally.")
            : QStringLiteral("Exit code %1.").arg(script.exitCode());
        const QString said = BetterString::controlCharactersAsSpaces(QString::fromUtf8(errorOutput)).trimmed();
        if (!said.isEmpty())
            m_scriptError += QLatin1Char(' ') + said;
        return Failed;
    }
    return 0;
}

QString MailHandler_script::getErrorDesc(int result)
{
    if (result == Cancelled && m_mayHaveDelivered)
        return Localizer::localizedString("SendErrors", "Mail script stopped");
    if (result != Failed)
        return Localizer::localizedString("SendErrors", "unexpected");
    if (!m_refusal.isEmpty())
        return Localizer::localizedString("SendErrors", "Mail not sendable") + QLatin1Char('\n') + m_refusal;
    if (m_scriptError.isEmpty())
        return Localizer::localizedString("SendErrors", "AppleMail no HTML");
    return Localizer::localizedString("SendErrors", "Mail script failed") + QLatin1Char('\n') + m_scriptError;
}
