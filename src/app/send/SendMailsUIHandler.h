#pragma once

// The document's send run controller: opens the send sheet, checks that a
// run can start, makes and starts the send engine on a snapshot of the
// message, the table and the attachments, and handles the engine's reports
// on the main thread: the progress sheet, the log, the last-sent stamps,
// the error limit, resuming after an error, the summary, and the two
// presses of the cancel button.
//
// A run is one SendRun record, there from the start until the end; while
// it is there the document's table must not be edited (isSending() and
// sendingChanged()). Nothing changes for a run while one is going on.
//
// Main thread only.

#include "MailDispatcher.h"
#include "SendRun.h"

#include <QObject>
#include <QPointer>
#include <QElapsedTimer>
#include <QTimer>
#include <QVariantMap>

#include <functional>
#include <memory>

class Database;
class FilesTab;
class LogTab;
class MessageTab;
class MyDocument;
class SendMailsProgressWindow;
class SendMailsWindow;
class QWidget;

class SendMailsUIHandler : public QObject, public MailDispatcherDelegate {
    Q_OBJECT
public:
    // The name of the confirmation of a run to all recipients.
    static inline const QString ConfirmationSheetName = QStringLiteral("AskSendMessages");
    // How often the progress sheet and the table show the run's progress:
    // often enough to look alive, seldom enough that painting does not
    // hold up the run.
    static constexpr int DisplayIntervalMs = 50;

    using EngineFactory = std::function<std::shared_ptr<MailDispatcher>()>;

    explicit SendMailsUIHandler(QObject *parent = nullptr);
    ~SendMailsUIHandler() override;

    void setDocument(MyDocument *document) { m_document = document; }
    void setMessageTab(MessageTab *messageTab) { m_messageTab = messageTab; }
    void setAttachmentTab(FilesTab *attachmentTab);
    void setLogTab(LogTab *logTab);
    [[nodiscard]] MyDocument *document() const { return m_document; }
    [[nodiscard]] MessageTab *messageTab() const { return m_messageTab; }
    [[nodiscard]] FilesTab *attachmentTab() const;
    [[nodiscard]] LogTab *logTab() const;

    // The send sheet's choice, taken over by the next run when it starts.
    void setAccountNo(int accountNo) { m_accountNo = accountNo; }
    // The account as the sheet showed it; a run stops when the stored one
    // at the number is no longer the same.
    void setAccountData(const QVariantMap &account) { m_accountData = account; }
    void setPriority(int priority) { m_priority = priority; }
    void setBccAddressString(const QString &bcc) { m_bccAddressString = bcc; }

    [[nodiscard]] bool canInitiateSend() const { return !isSending(); }
    // The send button: the send sheet on the document's window.
    void initiateSend();
    [[nodiscard]] SendMailsWindow *sendWindow() const;

    // The sheet's targets. send() asks for confirmation first.
    void send();
    void sendNow(int answer);
    void sendViaDummy();
    void sendToTestlist(const QString &testTableUid);
    // The checks and the start; a null table sends to the document's own.
    void sendWithDatabase(std::unique_ptr<Database> testTable, bool dryRun);

    // The engine's reports.
    void updateProgress(std::unique_ptr<MailDispatcherStatus> status) override;
    // The progress sheet's cancel button.
    void abortSend();

    void showProgressSheet();
    void hideProgressSheet();
    [[nodiscard]] SendMailsProgressWindow *progressWindow() const;
    // Shows what is kept back for the next display tick now.
    void updateDisplayNow();

    [[nodiscard]] bool isSending() const { return m_run != nullptr; }
    [[nodiscard]] const SendRun *run() const { return m_run.get(); }
    // The run waits for its set-up, a password prompt most of all, and has
    // sent nothing yet.
    [[nodiscard]] bool isSettingUp() const;
    // Quit: ends the run as the two presses of the cancel button do and
    // returns once its last report is handled, so that every message it
    // sent is logged, stamped and counted before the document is asked
    // about or closed.
    void stopAndWait();
    // The document goes: cuts the run short, drops what it still reports
    // and waits for its worker to end.
    void abortAndWait();

    // Where engines come from; MailDispatcher::create unless set.
    void setEngineFactory(EngineFactory factory) { m_engineFactory = std::move(factory); }

signals:
    // A run started (true) or ended (false).
    void sendingChanged(bool sending);
    // The engine was told to skip the failed message and go on.
    void sendingResumed();

private:
    struct Request {
        std::unique_ptr<Database> testTable;
        bool dryRun = false;
    };
    void checkAndStart(Request request, bool subjectChecked);
    void doSendWithDatabase(Request request);
    void handleReport(const MailDispatcherStatus &status);
    void handleError(const MailDispatcherStatus &status);
    void handleErrorOutsideRows(const MailDispatcherStatus &status);
    void finishSend();
    void stamp(int row);
    void endRun();
    [[nodiscard]] QWidget *window() const;
    [[nodiscard]] Database *documentTable() const;
    void scheduleDisplay();

    MyDocument *m_document = nullptr;
    MessageTab *m_messageTab = nullptr;
    QPointer<FilesTab> m_attachmentTab;
    QPointer<LogTab> m_logTab;
    QPointer<SendMailsWindow> m_sendWindow;
    QPointer<SendMailsProgressWindow> m_progressWindow;
    bool m_progressSheetVisible = false;

    int m_accountNo = 0;
    QVariantMap m_accountData;
    int m_priority = 3;
    QString m_bccAddressString;

    std::unique_ptr<SendRun> m_run;
    EngineFactory m_engineFactory;

    // The latest progress, shown at the next display tick.
    QTimer m_displayTimer;
    QElapsedTimer m_lastDisplay;
    bool m_progressPending = false;
    int m_pendingCount = 0;
    int m_pendingCurrent = 0;
    double m_pendingCompletion = 0.0;
    bool m_tablePending = false;
};
