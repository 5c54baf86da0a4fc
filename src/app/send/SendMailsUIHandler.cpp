#include "SendMailsUIHandler.h"

#include "CheckSheet.h"
#include "RecipientTally.h"
#include "SendMailsProgressWindow.h"
#include "SendMailsWindow.h"
#include "SendSheetModel.h"
#include "TestTableSource.h"

#include "DatabaseTab.h"
#include "DocumentWindow.h"
#include "FilesTab.h"
#include "LogTab.h"
#include "MessageTabWidget.h"
#include "MyDocument.h"

#include "AlertPresenter.h"
#include "Alerts.h"
#include "BlacklistManager.h"
#include "ErrorReporter.h"
#include "Localizer.h"
#include "MailHandler.h"
#include "Settings.h"

#include <QDateTime>
#include <QEventLoop>
#include <QStringList>
#include <QTabWidget>
#include <QTableView>

namespace {

// What became of the run's messages, one count a line; the sent ones
// always, the others when there are any.
QString runCounts(const SendRun &run)
{
    QStringList lines{Localizer::localizedString("Localized-SendTab", "Sent: %1").arg(run.mailsSent)};
    const auto add = [&](int count, const QString &label) {
        if (count > 0)
            lines.append(label.arg(count));
    };
    add(run.errorCounter, Localizer::localizedString("Localized-SendTab", "Failed: %1"));
    add(run.uncertainMessages, Localizer::localizedString("Localized-SendTab", "May have been delivered: %1"));
    add(run.skippedMessages, Localizer::localizedString("Localized-SendTab", "Skipped: %1"));
    return lines.join(QLatin1Char('\n'));
}

} // namespace

SendMailsUIHandler::SendMailsUIHandler(QObject *parent)
    : QObject(parent)
{
    m_displayTimer.setSingleShot(true);
    connect(&m_displayTimer, &QTimer::timeout, this, &SendMailsUIHandler::updateDisplayNow);
}

SendMailsUIHandler::~SendMailsUIHandler()
{
    // The run copied what it sends when it started and keeps itself alive
    // until its worker ends; it only has to stop reporting here.
    if (m_run && m_run->dispatcher) {
        m_run->dispatcher->setDelegate(nullptr);
        m_run->dispatcher->abortNow();
    }
    if (m_progressWindow)
        m_progressWindow->closeSheet();
}

void SendMailsUIHandler::setAttachmentTab(FilesTab *attachmentTab)
{
    m_attachmentTab = attachmentTab;
}

void SendMailsUIHandler::setLogTab(LogTab *logTab)
{
    m_logTab = logTab;
}

FilesTab *SendMailsUIHandler::attachmentTab() const
{
    return m_attachmentTab;
}

LogTab *SendMailsUIHandler::logTab() const
{
    return m_logTab;
}

SendMailsWindow *SendMailsUIHandler::sendWindow() const
{
    return m_sendWindow;
}

SendMailsProgressWindow *SendMailsUIHandler::progressWindow() const
{
    return m_progressWindow;
}

QWidget *SendMailsUIHandler::window() const
{
    return m_document ? m_document->window() : nullptr;
}

Database *SendMailsUIHandler::documentTable() const
{
    return m_document ? &m_document->database() : nullptr;
}

// ---- starting

void SendMailsUIHandler::initiateSend()
{
    if (isSending())
        return;
    if (m_sendWindow) {
        m_sendWindow->raise();
        return;
    }
    m_sendWindow = new SendMailsWindow(window());
    m_sendWindow->setUIHandler(this);
    m_sendWindow->displayAsSheetForWindow(window());
}

void SendMailsUIHandler::send()
{
    if (isSending() || !m_document)
        return;
    const std::shared_ptr<const BlacklistMatcher> blacklist = BlacklistManager::sharedManager().matcher();
    const RecipientTally tally = RecipientTally::ofTable(*documentTable(), blacklist.get());
    const QString question = Localizer::localizedString("Localized-SendTab", "ASK_SEND_TEXT") + QStringLiteral("\n\n")
                             + Localizer::localizedString("Localized-SendTab", "Recipients: %1").arg(tally.addressed())
                             + QLatin1Char('\n')
                             + Localizer::localizedString("Localized-SendTab", "Rows in the table: %1").arg(tally.rows);
    QPointer<SendMailsUIHandler> self(this);
    CheckSheet::displaySheet(ConfirmationSheetName, window(), [self](int tag) {
        if (self)
            self->sendNow(tag);
    }, question);
}

void SendMailsUIHandler::sendNow(int answer)
{
    if (answer == 1)
        sendWithDatabase(nullptr, false);
}

void SendMailsUIHandler::sendViaDummy()
{
    sendWithDatabase(nullptr, true);
}

void SendMailsUIHandler::sendToTestlist(const QString &testTableUid)
{
    // Before the table is even looked for: a run going on keeps its own.
    if (isSending())
        return;
    std::unique_ptr<Database> table = TestTableSource::current().loadTestTable(testTableUid);
    if (!table) {
        DoDisplayAlertSheet(QStringLiteral("File Not Found"), QStringLiteral("The test database could not be found."),
                            window());
        return;
    }
    sendWithDatabase(std::move(table), false);
}

void SendMailsUIHandler::sendWithDatabase(std::unique_ptr<Database> testTable, bool dryRun)
{
    checkAndStart(Request{std::move(testTable), dryRun}, false);
}

void SendMailsUIHandler::checkAndStart(Request request, bool subjectChecked)
{
    if (isSending() || !m_document || !m_messageTab)
        return;
    // The message sent is the message shown.
    if (MessageTabWidget *editor = m_document->messageTabWidget())
        editor->commitEdits();
    Database *table = request.testTable ? request.testTable.get() : documentTable();

    if (table->addressFieldNo() < 0) {
        DoDisplayAlertSheet(QStringLiteral("NO_EMAIL_COLUMN_TITLE"), QStringLiteral("NO_EMAIL_COLUMN_TEXT"), window());
        return;
    }
    const QString missing = m_attachmentTab ? m_attachmentTab->getMissingAttachmentFile() : QString();
    if (!missing.isEmpty()) {
        DoDisplayExtendedAlertSheet(QStringLiteral("MAIL_MISSING_ATTACHMENT_TITLE"),
                                    QStringLiteral("MAIL_MISSING_ATTACHMENT_TEXT"), missing, window());
        return;
    }
    if (!subjectChecked && m_messageTab->subjectString().length() == 0) {
        // A sheet, not a modal loop: other documents' runs go on reporting
        // meanwhile. Everything is checked again after the answer.
        auto pending = std::make_shared<Request>(std::move(request));
        QPointer<SendMailsUIHandler> self(this);
        AlertPresenter::current().beginQuestionSheet(
            Localizer::localizedString("Localized-SendTab", "No Subject"),
            Localizer::localizedString("Localized-SendTab", "No Subject text"), QStringLiteral("OK"),
            Localizer::localizedString("Localized", "Cancel"), window(), [self, pending](bool goOn) {
                if (self && goOn)
                    self->checkAndStart(std::move(*pending), true);
            });
        return;
    }
    if (!request.dryRun) {
        // By the data, not the number: an account deleted or moved while
        // the sheet was open must not send through another one.
        const std::optional<QVariantMap> stored = Settings::dataForAccount(m_accountNo);
        if (!stored || m_accountData.isEmpty() || *stored != m_accountData) {
            DoDisplayAlertSheet(QStringLiteral("No account configuration title"),
                                QStringLiteral("No account configuration text"), window());
            return;
        }
        if (!MailHandler::checkAccountData(*stored)) {
            DoDisplayAlertSheet(QStringLiteral("Bad account configuration title"),
                                QStringLiteral("Bad account configuration text"), window());
            return;
        }
    }

    if (DocumentWindow *documentWindow = m_document->documentWindow()) {
        QTabWidget *tabs = documentWindow->tabView();
        tabs->setCurrentIndex(tabs->count() - 1);
    }
    try {
        doSendWithDatabase(std::move(request));
    } catch (const std::exception &exception) {
        ErrorReporter::reportException(exception, window());
    } catch (...) {
        ErrorReporter::reportCurrentException(window());
    }
    hideProgressSheet();
    if (DocumentWindow *documentWindow = m_document->documentWindow())
        documentWindow->documentEdited();
}

void SendMailsUIHandler::doSendWithDatabase(Request request)
{
    auto run = std::make_unique<SendRun>();
    run->dryRun = request.dryRun;
    run->externalDatabase = std::move(request.testTable);
    run->table = run->externalDatabase ? run->externalDatabase.get() : documentTable();
    run->maxErrorsInRowCount = Settings::maxErrorsWhileSending();

    const std::shared_ptr<MailDispatcher> engine = m_engineFactory ? m_engineFactory() : MailDispatcher::create();
    engine->setDelegate(this);
    engine->setPriority(m_priority);
    engine->setAccountData(run->dryRun ? QVariantMap{{AccountKeys::AccountType, AccountTypes::Dummy}} : m_accountData);
    engine->setParentWindow(window());
    // What the worker reads, and the entries the stamps go to, in one go.
    engine->setJob(SendJob::takeSnapshot(m_messageTab, run->table, &m_document->attachmentManager()));
    run->entries = run->table->entryArray();
    run->blacklist = BlacklistManager::sharedManager().matcher();
    engine->setFilter(std::make_shared<MailDispatchFilter>(run->blacklist));
    engine->setBCCAddresses(SendSheetModel::bccPieces(m_bccAddressString));
    run->dispatcher = engine;

    m_run = std::move(run);
    try {
        if (m_logTab) {
            m_logTab->clearLog();
            m_logTab->startLog();
        }
        engine->send();
    } catch (...) {
        // A run that did not start is no run: the document stays closable.
        engine->setDelegate(nullptr);
        m_run.reset();
        throw;
    }
    emit sendingChanged(true);
}

// ---- reports

void SendMailsUIHandler::updateProgress(std::unique_ptr<MailDispatcherStatus> status)
{
    // A report that was on its way when its run was let go.
    if (!m_run || !status)
        return;
    try {
        handleReport(*status);
    } catch (const std::exception &exception) {
        hideProgressSheet();
        ErrorReporter::reportException(exception, window());
    } catch (...) {
        hideProgressSheet();
        DoDisplayExtendedAlertSheet(QStringLiteral("SMTP_UNKNOWN_TITLE"), QStringLiteral("SMTP_UNKNOWN_TEXT"),
                                    QString(), window());
    }
}

void SendMailsUIHandler::handleReport(const MailDispatcherStatus &status)
{
    SendRun &run = *m_run;
    switch (status.state()) {
    case MailDispatcherStatus::Progress:
        m_pendingCount = status.messageCount();
        m_pendingCurrent = status.sentMailsCounter();
        m_pendingCompletion = status.mailCompletition();
        m_progressPending = true;
        if (!m_progressSheetVisible) {
            showProgressSheet();
            updateDisplayNow();
        } else {
            scheduleDisplay();
        }
        break;
    case MailDispatcherStatus::MailSent:
        run.errorsInRowCounter = 0;
        if (m_logTab)
            m_logTab->sentMailTo(status.currentRecipient(), status.currentMessage() + 1);
        if (!run.dryRun)
            stamp(status.currentMessage());
        ++run.mailsSent;
        break;
    case MailDispatcherStatus::MayHaveBeenDelivered:
        // Not sent again, not stamped: the user has to find out.
        ++run.uncertainMessages;
        if (m_logTab)
            m_logTab->mayHaveBeenDelivered(status.currentMessage() + 1, status.currentRecipient(), status.errorInfo());
        break;
    case MailDispatcherStatus::Error:
        run.errorWhileSending = true;
        handleError(status);
        break;
    case MailDispatcherStatus::Done: {
        // A cancel pressed meanwhile holds, whatever came after it.
        if (run.errorWhileSending && !run.seriousError && !run.abortSendingNext) {
            run.errorWhileSending = false;
            const std::shared_ptr<MailDispatcher> engine = run.dispatcher;
            engine->skipMessage();
            engine->resumeSending();
            emit sendingResumed();
        } else {
            finishSend();
        }
        break;
    }
    default:
        break;
    }
}

void SendMailsUIHandler::handleError(const MailDispatcherStatus &status)
{
    SendRun &run = *m_run;
    const int code = status.errorCode();
    const int row = status.currentMessage();
    if (code == MailDispatcher::ErrorAborted) {
        run.seriousError = true;
        return;
    }
    if (row < 0) {
        handleErrorOutsideRows(status);
        return;
    }
    const auto logError = [&] {
        if (m_logTab)
            m_logTab->mailErrorMessage(row + 1, status.currentRecipient(), status.errorInfo());
    };
    switch (code) {
    case MailDispatcher::ErrorSendFailed:
    case MailDispatcher::ErrorException:
        ++run.errorCounter;
        ++run.errorsInRowCounter;
        logError();
        if (run.errorsInRowCounter > run.maxErrorsInRowCount) {
            run.seriousError = true;
            hideProgressSheet();
            DoDisplayExtendedAlertSheet(QStringLiteral("TOO_MANY_ERRORS_TITLE"), QStringLiteral("TOO_MANY_ERRORS_TEXT"),
                                        status.errorInfo(), window());
        }
        break;
    case MailDispatcher::ErrorConnectFailed:
        hideProgressSheet();
        DoDisplayExtendedAlertSheet(QStringLiteral("SMTP_BAD_CONNECT_TITLE"), QStringLiteral("SMTP_BAD_CONNECT_TEXT"),
                                    status.errorInfo(), window());
        run.seriousError = true;
        break;
    case MailDispatcher::ErrorAttachmentAbort:
        logError();
        run.seriousError = true;
        break;
    case MailDispatcher::ErrorAttachmentSkip:
        // Not counted against the limit, and no reason to stop; but it
        // never clears a stop that came before it.
        logError();
        ++run.skippedMessages;
        break;
    default:
        run.seriousError = true;
        hideProgressSheet();
        ErrorReporter::reportErrorText(status.errorInfo(), window());
        break;
    }
}

void SendMailsUIHandler::handleErrorOutsideRows(const MailDispatcherStatus &status)
{
    // Set-up, connect and the last disconnect belong to no row: nothing to
    // skip, so nothing to resume; and no address to name in the log.
    m_run->seriousError = true;
    hideProgressSheet();
    if (m_logTab)
        m_logTab->errorMessage(status.errorInfo());
    if (status.errorCode() == MailDispatcher::ErrorConnectFailed)
        DoDisplayExtendedAlertSheet(QStringLiteral("SMTP_BAD_CONNECT_TITLE"), QStringLiteral("SMTP_BAD_CONNECT_TEXT"),
                                    status.errorInfo(), window());
    else
        ErrorReporter::reportErrorText(status.errorInfo(), window());
}

void SendMailsUIHandler::stamp(int row)
{
    SendRun &run = *m_run;
    if (row < 0 || row >= run.entries.size() || !run.entries.at(row))
        return;
    run.entries.at(row)->insert(Database::LastSentKey, QDateTime::currentDateTime());
    if (run.table == documentTable()) {
        m_tablePending = true;
        scheduleDisplay();
    }
}

void SendMailsUIHandler::finishSend()
{
    hideProgressSheet();
    updateDisplayNow();
    SendRun &run = *m_run;
    if (!run.seriousError) {
        const bool incomplete = run.skippedMessages > 0 || run.uncertainMessages > 0;
        const QString paragraph = QStringLiteral("\n\n");
        if (run.errorCounter != 0 || run.abortSendingNext || incomplete) {
            if (run.errorCounter > 0 || incomplete)
                AlertPresenter::current().beginAlertSheet(
                    Localizer::localizedString("Localized", "SEND_DONE_ERROR_TITLE"),
                    Localizer::localizedString("Localized", "SEND_DONE_ERROR_TEXT") + paragraph + runCounts(run),
                    window());
        } else if (run.mailsSent == 0 && !run.dryRun) {
            // Nothing went out, though nothing failed: no success, and the
            // user needs to know why before sending again.
            const QString why = RecipientTally::ofTable(*run.table, run.blacklist.get()).nothingSentText();
            AlertPresenter::current().beginAlertSheet(Localizer::localizedString("Localized-SendTab", "NOTHING_SENT_TITLE"),
                                                      why, window());
            if (run.table->entryCount() > 0 && m_logTab)
                m_logTab->errorMessage(why);
        } else if (!run.dryRun) {
            AlertPresenter::current().beginInformationSheet(
                Localizer::localizedString("Localized", "SEND_DONE_TITLE"),
                Localizer::localizedString("Localized", "SEND_DONE_TEXT") + paragraph + runCounts(run), window());
        }
    }
    if (m_logTab) {
        m_logTab->doneMessage();
        m_logTab->flush();
    }
    endRun();
}

void SendMailsUIHandler::endRun()
{
    m_displayTimer.stop();
    m_progressPending = false;
    m_tablePending = false;
    m_run.reset();
    emit sendingChanged(false);
}

// ---- cancel

void SendMailsUIHandler::abortSend()
{
    if (!m_run)
        return;
    const std::shared_ptr<MailDispatcher> engine = m_run->dispatcher;
    if (!m_run->abortSendingNext) {
        m_run->abortSendingNext = true;
        if (m_progressWindow)
            m_progressWindow->setCancelButtonText(Localizer::localizedString("Localized", "SEND_CANCEL_BUTTON_2"));
        // Reports error 1 at once, which ends the run after this message.
        engine->abort();
    } else if (!m_run->abortedNow) {
        m_run->abortedNow = true;
        engine->abortNow();
        if (m_progressWindow)
            m_progressWindow->setCancelEnabled(false);
    }
}

bool SendMailsUIHandler::isSettingUp() const
{
    return m_run && m_run->dispatcher->isSettingUp();
}

void SendMailsUIHandler::stopAndWait()
{
    if (!m_run)
        return;
    if (!m_run->abortSendingNext)
        abortSend();
    if (m_run && !m_run->abortedNow)
        abortSend();
    if (!m_run)
        return;
    // The run's reports are handled meanwhile, the user's input is held
    // back: nothing starts, edits or closes while the run ends. Nothing
    // the engine waits for is lower on this stack (its set-up does not
    // wait on the main thread), so this ends.
    QEventLoop loop;
    connect(this, &SendMailsUIHandler::sendingChanged, &loop, &QEventLoop::quit);
    connect(this, &QObject::destroyed, &loop, &QEventLoop::quit);
    loop.exec(QEventLoop::ExcludeUserInputEvents);
}

void SendMailsUIHandler::abortAndWait()
{
    if (!m_run)
        return;
    const std::shared_ptr<MailDispatcher> engine = m_run->dispatcher;
    engine->setDelegate(nullptr);
    // This run only: the other documents' runs go on.
    engine->abortAndJoin();
    hideProgressSheet();
    endRun();
}

// ---- the progress sheet and the display

void SendMailsUIHandler::showProgressSheet()
{
    if (m_progressSheetVisible)
        return;
    auto *sheet = new SendMailsProgressWindow(window());
    sheet->setUiHandler(this);
    if (m_run && m_run->abortSendingNext)
        sheet->setCancelButtonText(Localizer::localizedString("Localized", "SEND_CANCEL_BUTTON_2"));
    if (m_run && m_run->abortedNow)
        sheet->setCancelEnabled(false);
    sheet->displayAsSheetForWindow(window());
    m_progressWindow = sheet;
    m_progressSheetVisible = true;
}

void SendMailsUIHandler::hideProgressSheet()
{
    if (!m_progressSheetVisible)
        return;
    if (m_progressWindow)
        m_progressWindow->closeSheet();
    m_progressWindow = nullptr;
    m_progressSheetVisible = false;
}

void SendMailsUIHandler::scheduleDisplay()
{
    // Shown at once when the last showing is a tick ago, so that a stream
    // of reports cannot hold the timer off; else at the end of the tick.
    const qint64 since = m_lastDisplay.isValid() ? m_lastDisplay.elapsed() : DisplayIntervalMs;
    if (since >= DisplayIntervalMs)
        updateDisplayNow();
    else if (!m_displayTimer.isActive())
        m_displayTimer.start(int(DisplayIntervalMs - since));
}

void SendMailsUIHandler::updateDisplayNow()
{
    m_displayTimer.stop();
    m_lastDisplay.start();
    if (m_progressPending && m_progressWindow) {
        m_progressWindow->setMessageCount(m_pendingCount);
        m_progressWindow->setCurrentMessage(m_pendingCurrent);
        m_progressWindow->setMessageCompletition(m_pendingCompletion);
        m_progressWindow->setIndeterminate(m_run && m_run->abortedNow);
        m_progressWindow->updateDisplay();
    }
    m_progressPending = false;
    if (m_tablePending && m_document && m_document->databaseTab()) {
        // The view reads the stamps from the entries as it paints.
        m_document->databaseTab()->tableView()->viewport()->update();
    }
    m_tablePending = false;
}
