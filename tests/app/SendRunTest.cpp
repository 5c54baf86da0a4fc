// The send run controller against the scripted SMTP server: whole runs with
// their exact logs and stamps, the error limit, attachments that skip a
// message, both kinds of cancel while the server stalls, a cancel right
// after a resume, starts that must change nothing, a start that throws,
// errors outside any row, and the checks before a run. Also run under
// ThreadSanitizer: everything here meets the engine's worker thread.

#include "SendTestSupport.h"
#include "StallingServer.h"

#include "../delivery/FakeSmtpServer.h"
#include "../foundation_ui/RecordingAlertPresenter.h"

#include "CheckSheet.h"
#include "DocumentWindow.h"
#include "SendMailsProgressWindow.h"
#include "TestTableSource.h"

#include "AppException.h"
#include "AttributedTagString.h"
#include "Localizer.h"
#include "AttachmentManager.h"
#include "BlacklistManager.h"
#include "SimpleTag.h"
#include "SmartAttachment.h"

#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QSignalSpy>
#include <QTabWidget>
#include <QTemporaryDir>
#include <QTest>

#include <gtest/gtest.h>

#include <atomic>
#include <memory>

namespace {

const QString Start = QStringLiteral("-- Log start --\n\n");
const QString Done = QStringLiteral("\nDone.\n");

QString sentLine(int number, const QString &address)
{
    return QStringLiteral("Sent mail to ( %1 ) %2\n").arg(number).arg(address);
}

QString errorLine(int number, const QString &address, const QString &error)
{
    return QStringLiteral("Error sending mail to ( %1 ) %2:\n%3\n").arg(number).arg(address, error);
}

class CountingTestTables : public TestTableSource {
public:
    CountingTestTables() { TestTableSource::setCurrent(this); }
    ~CountingTestTables() override { TestTableSource::setCurrent(nullptr); }
    QList<Entry> testTables() const override { return {{QStringLiteral("Testers"), QStringLiteral("tbl-1")}}; }
    std::unique_ptr<Database> loadTestTable(const QString &uid) const override
    {
        ++loads;
        if (uid != QStringLiteral("tbl-1"))
            return nullptr;
        auto table = std::make_unique<Database>();
        table->changeFieldNameTo(QStringLiteral("e-mail"), QStringLiteral("0"));
        fillTable(*table, rows);
        return table;
    }
    QList<Recipient> rows{{QStringLiteral("tester@x.test"), QStringLiteral("Tess")}};
    mutable int loads = 0;
};

// Blocks the addresses for as long as it lives.
class Blacklisted {
public:
    explicit Blacklisted(const QStringList &addresses) : m_count(addresses.size())
    {
        BlacklistManager::sharedManager().addAddresses(addresses);
    }
    ~Blacklisted()
    {
        BlacklistManager &list = BlacklistManager::sharedManager();
        QList<int> added;
        for (int i = list.addressCount() - m_count; i < list.addressCount(); ++i)
            added.append(i);
        list.removeAddressesAtIndexes(added);
        list.saveList();
    }
    Q_DISABLE_COPY_MOVE(Blacklisted)

private:
    int m_count;
};

class SendRunTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        Settings::setMaxErrorsWhileSending(0);
        Settings::setWriteLogFile(false);
        document = std::make_unique<MyDocument>();
        document->showWindows();
        document->messageTab().setSubjectText(RichText(QStringLiteral("Hello")));
        document->messageTab().setBodyText(RichText(QStringLiteral("Body text")));
        handler = document->sendUIHandler();
        log = document->logTab();
    }
    void TearDown() override
    {
        handler->abortAndWait();
        document.reset();
        // Ended workers are joined at the next start, or here.
        MailDispatcher::abortAndJoinAll();
    }

    void setRecipients(const QList<Recipient> &recipients)
    {
        fillTable(document->database(), recipients);
        document->database().postUpdatedNotification();
    }
    QStringList alertTitles() const
    {
        QStringList titles;
        for (const auto &shown : alerts.shown)
            titles.append(shown.title);
        return titles;
    }
    QDateTime stampOf(int row) const { return document->database().lastSentDate(row); }
    // The rows sent through an account on the server, to the run's end.
    [[nodiscard]] bool sendTo(FakeSmtpServer &server, const QList<Recipient> &rows)
    {
        setRecipients(rows);
        alerts.shown.clear();
        useAccount(*handler, smtpAccount(server.port()));
        handler->sendNow(1);
        return waitForRunEnd(*handler);
    }

    RecordingAlertPresenter alerts;
    std::unique_ptr<MyDocument> document;
    SendMailsUIHandler *handler = nullptr;
    LogTab *log = nullptr;
};

TEST_F(SendRunTest, OneEligibleRowIsSentLoggedAndStampedAloneAndTheDryRunStampsNothing)
{
    setRecipients({{"inactive@x.test", "Ina", false}, {"no address", "Nad"}, {"a@x.test", "Al"}});
    FakeSmtpServer server;
    useAccount(*handler, smtpAccount(server.port()));
    QPushButton *sendButton = document->documentWindow()->sendButton();
    QSignalSpy changes(handler, &SendMailsUIHandler::sendingChanged);

    handler->sendNow(1);
    ASSERT_TRUE(handler->isSending());
    EXPECT_TRUE(document->isRunActive());
    EXPECT_FALSE(sendButton->isEnabled()) << "no second run from the window";
    QTabWidget *tabs = document->documentWindow()->tabView();
    EXPECT_EQ(tabs->currentIndex(), tabs->count() - 1) << "the log is shown";
    ASSERT_TRUE(waitForRunEnd(*handler));
    EXPECT_TRUE(sendButton->isEnabled());
    EXPECT_EQ(changes.size(), 2);

    EXPECT_EQ(logPlainText(*log), (Start + sentLine(3, "a@x.test") + Done).toStdString());
    EXPECT_FALSE(stampOf(0).isValid());
    EXPECT_FALSE(stampOf(1).isValid());
    EXPECT_TRUE(stampOf(2).isValid());
    EXPECT_EQ(alertTitles(), QStringList{"Sending finished"});
    EXPECT_TRUE(document->isDocumentEdited());
    server.stop();
    ASSERT_EQ(server.sessions().size(), 1u);
    EXPECT_EQ(server.sessions().front().messages.size(), 1);

    // The same table as a simulated run: the same log, nothing stamped, no summary.
    document->database().setEntryArray(QList<QVariantMap>{{{"0", "a@x.test"}}, {{"0", "b@x.test"}}});
    alerts.shown.clear();
    handler->sendViaDummy();
    ASSERT_TRUE(waitForRunEnd(*handler));
    EXPECT_EQ(logPlainText(*log), (Start + sentLine(1, "a@x.test") + sentLine(2, "b@x.test") + Done).toStdString());
    EXPECT_FALSE(stampOf(0).isValid());
    EXPECT_FALSE(stampOf(1).isValid());
    EXPECT_TRUE(alerts.shown.isEmpty());
}

TEST_F(SendRunTest, TheEndOfRunAlertNamesTheCountsAndWhyNothingWasSent)
{
    struct Case {
        const char *name;
        QList<Recipient> rows;
        RecordingAlertPresenter::Kind kind;
        QString title;
        QString text;
    };
    const QString nothing = Localizer::localizedString("Localized-SendTab", "NOTHING_SENT_TEXT");
    const QList<Case> cases{
        {"clean", {{"a@x.test", "Al"}, {"b@x.test", "Bo"}}, RecordingAlertPresenter::Information, "Sending finished",
         "All messages were sent.\n\nSent: 2"},
        {"with errors", {{"ok0@x.test", ""}, {"bad1@x.test", ""}, {"ok2@x.test", ""}}, RecordingAlertPresenter::Sheet,
         "Sending finished with errors", "Not every message was sent. The log names the ones that were not.\n\n"
                                         "Sent: 2\nFailed: 1"},
        {"nothing to send", {{"no address", "Nad"}, {"ina@x.test", "Ina", false}, {"Blocked@X.test", "Bea"}},
         RecordingAlertPresenter::Sheet, "No message sent",
         nothing + "\n\nRows in the table: 3\nWithout an e-mail address: 1\nSwitched off: 1\nBlacklisted: 1"},
        {"no rows", {}, RecordingAlertPresenter::Sheet, "No message sent", "No message was sent: the table has no rows."},
    };
    Settings::setMaxErrorsWhileSending(5);
    const Blacklisted blocked({"blocked@x.test"});
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        FakeSmtpServer server;
        server.setRefusedRecipient("bad");
        ASSERT_TRUE(sendTo(server, c.rows));
        ASSERT_EQ(alerts.shown.size(), 1);
        EXPECT_EQ(alerts.shown.front().kind, c.kind) << "success alone is no warning";
        EXPECT_EQ(alerts.shown.front().title.toStdString(), c.title.toStdString());
        EXPECT_EQ(alerts.shown.front().text.toStdString(), c.text.toStdString());
        if (c.title == "No message sent" && !c.rows.isEmpty()) {
            EXPECT_NE(logPlainText(*log).find(c.text.toStdString()), std::string::npos) << "the log says why too";
        }
    }
}

TEST_F(SendRunTest, TheConfirmationNamesHowManyRecipientsTheRunAddresses)
{
    setRecipients({{"a@x.test", "Al"}, {"b@x.test", "Bo"}, {"ina@x.test", "Ina", false}, {"no address", "Nad"}});
    FakeSmtpServer server;
    useAccount(*handler, smtpAccount(server.port()));
    handler->send();
    auto *sheet = document->window()->findChild<CheckSheet *>();
    ASSERT_TRUE(sheet);
    auto *question = sheet->findChild<QLabel *>("question");
    ASSERT_TRUE(question);
    EXPECT_TRUE(question->text().endsWith("\n\nRecipients: 2\nRows in the table: 4")) << question->text().toStdString();
    saveScreenshot(sheet, QStringLiteral("send-confirmation.png"));
    sheet->buttonWithTag(0)->click();
    EXPECT_FALSE(handler->isSending());
}

TEST_F(SendRunTest, TheErrorLimitStopsAtTheFirstErrorBeyondIt)
{
    struct Case {
        int limit;
        QList<Recipient> rows;
        QString log;
    };
    const QString refused = QStringLiteral("The mail server did not accept the sender or a recipient address.\n"
                                           "Mail Error: 15\nServer Reply Num: 550\nServer Reply: 550 no such user\n\n"
                                           "System Error: 0");
    const QList<Case> cases{
        {0,
         {{"ok0@x.test", ""}, {"bad1@x.test", ""}, {"ok2@x.test", ""}},
         sentLine(1, "ok0@x.test") + errorLine(2, "bad1@x.test", refused)},
        // Two in a row go on, a success starts the count again, a third in a row stops.
        {2,
         {{"bad0@x.test", ""}, {"bad1@x.test", ""}, {"ok2@x.test", ""}, {"bad3@x.test", ""}, {"bad4@x.test", ""},
          {"bad5@x.test", ""}, {"ok6@x.test", ""}},
         errorLine(1, "bad0@x.test", refused) + errorLine(2, "bad1@x.test", refused) + sentLine(3, "ok2@x.test")
             + errorLine(4, "bad3@x.test", refused) + errorLine(5, "bad4@x.test", refused)
             + errorLine(6, "bad5@x.test", refused)},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.limit);
        Settings::setMaxErrorsWhileSending(c.limit);
        FakeSmtpServer server;
        server.setRefusedRecipient("bad");
        ASSERT_TRUE(sendTo(server, c.rows));
        EXPECT_EQ(logPlainText(*log), (Start + c.log + Done).toStdString());
        EXPECT_EQ(alertTitles(), QStringList{"Sending stopped"});
        int sent = 0;
        server.stop();
        for (const auto &session : server.sessions())
            sent += int(session.messages.size());
        EXPECT_EQ(sent, 1) << "one good row before the stop, none after it";
    }
}

TEST_F(SendRunTest, AnAttachmentThatSkipsAMessageIsLoggedAndTheRunGoesOnUncounted)
{
    QTemporaryDir folder;
    QFile file(folder.filePath("Al.txt"));
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write("for Al");
    file.close();
    auto perRecipient = std::make_shared<SmartAttachment>();
    perRecipient->setRootFilePath(folder.path());
    RichText name(QStringLiteral(".txt"));
    DoInsertTagInAttributedString(std::make_shared<SimpleTag>(QStringLiteral("first name")), name, 0);
    perRecipient->setFileName(name);
    perRecipient->setNotFoundAction(SmartAttachment::SkipMessage);
    document->attachmentManager().addAttachment(perRecipient);
    setRecipients({{"al@x.test", "Al"}, {"bo@x.test", "Bo"}, {"cy@x.test", "Al"}});

    FakeSmtpServer server;
    useAccount(*handler, smtpAccount(server.port()));
    handler->sendNow(1);
    ASSERT_TRUE(waitForRunEnd(*handler));
    const QString missing = "Attachment missing: " + QDir(folder.path()).filePath("Bo.txt");
    EXPECT_EQ(logPlainText(*log),
              (Start + sentLine(1, "al@x.test") + errorLine(2, "bo@x.test", missing) + sentLine(3, "cy@x.test") + Done)
                  .toStdString());
    EXPECT_EQ(alertTitles(), QStringList{"Sending finished with errors"}) << "not every recipient got a message";
    EXPECT_FALSE(stampOf(1).isValid());
    EXPECT_TRUE(stampOf(2).isValid());
}

TEST_F(SendRunTest, CancelWhileTheServerStalls)
{
    struct Case {
        const char *name;
        StallingServer::Where where;
        int presses;
        QString log;
    };
    const QString uncertain = Localizer::localizedString("SendErrors", "May have been delivered");
    const QList<Case> cases{
        // Once: the message goes on to its end and counts; nothing more is sent.
        {"once", StallingServer::Where::BeforeData, 1, Start + sentLine(1, "a@x.test") + Done},
        // Twice before the data went: cut, neither sent nor failed.
        {"twice", StallingServer::Where::BeforeData, 2, Start + Done},
        // Twice while the verdict is awaited: it may have arrived; never stamped.
        {"twice after the data", StallingServer::Where::AfterData, 2, {}},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        setRecipients({{"a@x.test", "Al"}, {"b@x.test", "Bo"}});
        alerts.shown.clear();
        StallingServer stalling(c.where);
        useAccount(*handler, smtpAccount(stalling.server.port()));
        handler->sendNow(1);
        ASSERT_TRUE(waitUntil([&] { return stalling.waiting.load() && handler->progressWindow(); }));
        // The first press by Escape, which must not close the sheet.
        QTest::keyClick(handler->progressWindow(), Qt::Key_Escape);
        ASSERT_TRUE(handler->progressWindow());
        EXPECT_TRUE(handler->progressWindow()->isVisible());
        EXPECT_EQ(handler->progressWindow()->cancelButton()->text(), "Stop Now");
        if (c.presses == 2)
            handler->progressWindow()->cancelButton()->click();
        if (c.presses == 2) {
            EXPECT_FALSE(handler->progressWindow()->cancelButton()->isEnabled());
            EXPECT_EQ(handler->progressWindow()->mailProgress()->maximum(), 0) << "the message bar shows no share";
        }
        if (c.presses == 1)
            stalling.release = true;
        ASSERT_TRUE(waitForRunEnd(*handler));
        stalling.release = true;
        const QString text = QString::fromStdString(logPlainText(*log));
        if (c.log.isNull()) {
            EXPECT_TRUE(text.startsWith(Start + "May have been delivered to ( 1 ) a@x.test:\n" + uncertain))
                << text.toStdString();
            EXPECT_TRUE(text.endsWith(Done));
        } else {
            EXPECT_EQ(text.toStdString(), c.log.toStdString());
        }
        EXPECT_EQ(stampOf(0).isValid(), c.presses == 1);
        EXPECT_FALSE(stampOf(1).isValid());
        EXPECT_TRUE(alerts.shown.isEmpty()) << "a cancelled run has no summary";
    }
}

TEST_F(SendRunTest, ACancelRightAfterAResumeSendsNothingMore)
{
    Settings::setMaxErrorsWhileSending(5);
    setRecipients({{"ok0@x.test", ""}, {"bad1@x.test", ""}, {"ok2@x.test", ""}, {"ok3@x.test", ""}});
    FakeSmtpServer server;
    server.setRefusedRecipient("bad");
    useAccount(*handler, smtpAccount(server.port()));
    QObject::connect(handler, &SendMailsUIHandler::sendingResumed, handler, [this] {
        handler->showProgressSheet();
        handler->abortSend();
    });
    handler->sendNow(1);
    ASSERT_TRUE(waitForRunEnd(*handler));
    server.stop();
    int sent = 0;
    for (const auto &session : server.sessions())
        sent += int(session.messages.size());
    EXPECT_EQ(sent, 1);
    EXPECT_EQ(logPlainText(*log).find("ok2@x.test"), std::string::npos);
}

TEST_F(SendRunTest, StartingDuringARunChangesNothing)
{
    setRecipients({{"a@x.test", "Al"}});
    CountingTestTables testTables;
    StallingServer stalling(StallingServer::Where::BeforeData);
    useAccount(*handler, smtpAccount(stalling.server.port()));
    handler->sendNow(1);
    ASSERT_TRUE(waitUntil([&] { return stalling.waiting.load(); }));
    const SendRun *run = handler->run();
    const MailDispatcher *engine = run->dispatcher.get();

    handler->sendToTestlist(QStringLiteral("tbl-1"));
    handler->sendViaDummy();
    handler->send();
    handler->initiateSend();
    EXPECT_EQ(testTables.loads, 0) << "the running run's table stays";
    EXPECT_EQ(handler->run(), run);
    EXPECT_EQ(handler->run()->dispatcher.get(), engine);
    EXPECT_FALSE(handler->run()->dryRun);
    EXPECT_FALSE(handler->run()->externalDatabase);
    EXPECT_FALSE(handler->sendWindow());
    QString reason;
    EXPECT_FALSE(document->canClose(&reason));

    stalling.release = true;
    ASSERT_TRUE(waitForRunEnd(*handler));
    EXPECT_TRUE(stampOf(0).isValid());
}

TEST_F(SendRunTest, AStartThatThrowsLeavesNoRun)
{
    setRecipients({{"a@x.test", "Al"}});
    handler->setEngineFactory([]() -> std::shared_ptr<MailDispatcher> {
        throw AppException(ExceptionNames::InternalInconsistency, QStringLiteral("no engine today"));
    });
    handler->sendViaDummy();
    EXPECT_FALSE(handler->isSending());
    QString reason;
    EXPECT_TRUE(document->canClose(&reason));
    EXPECT_TRUE(document->documentWindow()->sendButton()->isEnabled());
    ASSERT_EQ(alerts.shown.size(), 1);
    EXPECT_EQ(alerts.shown.front().kind, RecordingAlertPresenter::Report);
    EXPECT_TRUE(alerts.shown.front().text.contains("no engine today"));
}

TEST_F(SendRunTest, TheStampGoesToTheEntrySentToWhereverItIsNow)
{
    setRecipients({{"a@x.test", "Al"}, {"b@x.test", "Bo", false}});
    const Database::EntryRef sentTo = document->database().entryArray().at(0);
    FakeSmtpServer server;
    useAccount(*handler, smtpAccount(server.port()));
    handler->sendNow(1);
    // Before the first report: the row that was 0 goes.
    document->database().removeEntry(0);
    ASSERT_TRUE(waitForRunEnd(*handler));
    EXPECT_TRUE(sentTo->value(Database::LastSentKey).isValid());
    EXPECT_FALSE(stampOf(0).isValid()) << "the row now at 0 was not sent to";
}

TEST_F(SendRunTest, AFailedConnectIsShownAndLoggedOnceWithoutARow)
{
    setRecipients({{"a@x.test", "Al"}, {"b@x.test", "Bo"}});
    Settings::setMaxErrorsWhileSending(5);
    useAccount(*handler, smtpAccount(FakeSmtpServer::closedPort()));
    handler->sendNow(1);
    ASSERT_TRUE(waitForRunEnd(*handler));
    EXPECT_EQ(alertTitles(), QStringList{"No connection"});
    const QString text = QString::fromStdString(logPlainText(*log));
    EXPECT_TRUE(text.startsWith(Start + "\nError:\n")) << text.toStdString();
    EXPECT_FALSE(text.contains("( 0 )"));
    EXPECT_FALSE(text.contains("a@x.test"));
}

TEST_F(SendRunTest, TheChecksBeforeARun)
{
    setRecipients({{"a@x.test", "Al"}});
    FakeSmtpServer server;
    const QVariantMap account = smtpAccount(server.port());
    useAccount(*handler, account);

    // No subject: asked on the window; no answer, no run.
    document->messageTab().setSubjectText(RichText());
    alerts.questionAnswer = false;
    handler->sendNow(1);
    EXPECT_FALSE(handler->isSending());
    ASSERT_EQ(alerts.shown.size(), 1);
    EXPECT_EQ(alerts.shown.front().kind, RecordingAlertPresenter::Question);
    document->messageTab().setSubjectText(RichText(QStringLiteral("Hello")));

    // The account at the number is no longer the one the sheet showed.
    alerts.shown.clear();
    QVariantMap other = smtpAccount(server.port());
    other.insert(AccountKeys::AccountName, QStringLiteral("another"));
    Settings::setAccountArray({other, account});
    handler->sendNow(1);
    EXPECT_FALSE(handler->isSending());
    EXPECT_EQ(alertTitles(), QStringList{"No account"});

    // A test table that has gone.
    alerts.shown.clear();
    CountingTestTables testTables;
    handler->sendToTestlist(QStringLiteral("tbl-gone"));
    EXPECT_FALSE(handler->isSending());
    EXPECT_EQ(alertTitles(), QStringList{"Test table not found"});

    // No address column.
    alerts.shown.clear();
    useAccount(*handler, account);
    document->database().setAddressFieldNo(-1);
    handler->sendViaDummy();
    EXPECT_FALSE(handler->isSending());
    EXPECT_EQ(alertTitles(), QStringList{"No e-mail column"});
}

TEST_F(SendRunTest, ARunToATestTableStampsTheTestTableAndBlindCopiesGoToEveryMessage)
{
    setRecipients({{"a@x.test", "Al"}});
    CountingTestTables testTables;
    testTables.rows = {{"t1@x.test", "T1"}, {"t2@x.test", "T2"}};
    FakeSmtpServer server;
    useAccount(*handler, smtpAccount(server.port()));
    handler->setBccAddressString(QStringLiteral("copy1@x.test, ,copy2@x.test"));
    handler->sendToTestlist(QStringLiteral("tbl-1"));
    ASSERT_TRUE(handler->isSending());
    const Database::EntryList testEntries = handler->run()->table->entryArray();
    ASSERT_TRUE(waitForRunEnd(*handler));
    EXPECT_EQ(logPlainText(*log), (Start + sentLine(1, "t1@x.test") + sentLine(2, "t2@x.test") + Done).toStdString());
    EXPECT_TRUE(testEntries.at(0)->value(Database::LastSentKey).isValid());
    EXPECT_TRUE(testEntries.at(1)->value(Database::LastSentKey).isValid());
    EXPECT_FALSE(stampOf(0).isValid()) << "the document's own rows were not sent to";

    server.stop();
    const std::vector<FakeSmtpServer::Session> sessions = server.sessions();
    ASSERT_EQ(sessions.size(), 1u);
    int recipients = 0;
    for (const QByteArray &line : sessions.front().lines)
        recipients += line.startsWith("RCPT TO:") ? 1 : 0;
    EXPECT_EQ(recipients, 6) << "each message: its recipient and the two copies, the blank piece dropped";
}

} // namespace
