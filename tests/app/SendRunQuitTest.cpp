// Quitting and closing while a document sends, through the application's
// quit and the document window: the question first; Continue leaves the
// run alone; Stop ends it as the two presses of the cancel button do and
// records every message the server took before the save questions come;
// and a password prompt open on one document's window, when Quit comes
// from another document or the window is closed, is taken back and the run
// ends. Quit also comes from the progress sheet and the password prompt,
// which block their window's menus, by key or their own File menu, and asks
// the same through the real questions. Also run under ThreadSanitizer:
// everything here meets the engine's worker thread.

#include "SendTestSupport.h"
#include "StallingServer.h"

#include "../delivery/FakeSmtpServer.h"
#include "../foundation_ui/RecordingAlertPresenter.h"
#include "AppTestDocuments.h"

#include "ApplicationMenus.h"
#include "AskPasswordView.h"
#include "DocumentController.h"
#include "Keychain.h"
#include "KeychainMemoryBackend.h"
#include "MyApplication.h"
#include "PasswordPrompter.h"
#include "QtDocumentPanels.h"
#include "SendMailsProgressWindow.h"

#include <QApplication>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QMessageBox>
#include <QPushButton>
#include <QTest>
#include <QTimer>

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <mutex>
#include <thread>

namespace {

const QString Start = QStringLiteral("-- Log start --\n\n");
const QString Done = QStringLiteral("\nDone.\n");

// Ends the whole test program, failing, when what it watches hangs: a
// deadlock on the main thread cannot be left in any other way.
class Watchdog {
public:
    Watchdog(const char *what, std::chrono::seconds limit)
        : m_thread([this, what, limit] {
              std::unique_lock lock(m_mutex);
              if (!m_finished.wait_for(lock, limit, [this] { return m_done; })) {
                  std::fprintf(stderr, "FAILED: %s did not end within %lld s\n", what, (long long)limit.count());
                  std::fflush(stderr);
                  std::_Exit(1);
              }
          })
    {
    }
    ~Watchdog()
    {
        {
            const std::lock_guard lock(m_mutex);
            m_done = true;
        }
        m_finished.notify_all();
        m_thread.join();
    }
    Q_DISABLE_COPY_MOVE(Watchdog)

private:
    std::mutex m_mutex;
    std::condition_variable m_finished;
    bool m_done = false;
    std::thread m_thread;
};

// Notes what the document shows when the save question comes.
class QuitPanels : public FakePanels {
public:
    using FakePanels::FakePanels;
    SaveChoice askSaveChanges(QWidget *parent, const QString &documentName) override
    {
        if (onAsk)
            onAsk();
        return FakePanels::askSaveChanges(parent, documentName);
    }
    std::function<void()> onAsk;
};

std::string joined(const QStringList &lines)
{
    return lines.join(QStringLiteral(" | ")).toStdString();
}

AskPasswordView *openPrompt()
{
    for (QWidget *widget : QApplication::topLevelWidgets()) {
        if (auto *prompt = qobject_cast<AskPasswordView *>(widget); prompt && prompt->isVisible())
            return prompt;
    }
    return nullptr;
}

// Answers the application's real questions as they come, each with the
// button the next answer picks, and notes their texts.
class Questions {
public:
    using Answer = std::function<QAbstractButton *(QMessageBox *)>;
    explicit Questions(QList<Answer> answers) : m_answers(std::move(answers))
    {
        QObject::connect(&m_poll, &QTimer::timeout, &m_poll, [this] {
            auto *box = qobject_cast<QMessageBox *>(QApplication::activeModalWidget());
            if (!box || box == m_answered || m_answers.isEmpty())
                return;
            m_answered = box;
            asked.append(box->text());
            if (onQuestion)
                onQuestion(box);
            if (QAbstractButton *button = m_answers.takeFirst()(box))
                button->click();
        });
        m_poll.start(5);
    }
    static Answer button(const QString &text)
    {
        return [text](QMessageBox *box) -> QAbstractButton * {
            for (QAbstractButton *button : box->buttons()) {
                if (button->text() == text)
                    return button;
            }
            return nullptr;
        };
    }
    static Answer standard(QMessageBox::StandardButton which)
    {
        return [which](QMessageBox *box) -> QAbstractButton * { return box->button(which); };
    }

    QStringList asked;
    std::function<void(QMessageBox *)> onQuestion;

private:
    QList<Answer> m_answers;
    QPointer<QMessageBox> m_answered;
    QTimer m_poll;
};

// The sheet's own File menu item, as the user picks it.
bool chooseQuit(QWidget *sheet)
{
    for (QMenuBar *bar : sheet->findChildren<QMenuBar *>()) {
        for (QAction *menu : bar->actions()) {
            if (!menu->menu() || menu->text().remove(QLatin1Char('&')) != QStringLiteral("File"))
                continue;
            for (QAction *action : menu->menu()->actions()) {
                const QString text = action->text().remove(QLatin1Char('&')).section(QLatin1Char('\t'), 0, 0);
                if (text == QStringLiteral("Quit")) {
                    action->trigger();
                    return true;
                }
            }
        }
    }
    return false;
}

void pressQuitKey(QWidget *sheet)
{
    QApplication::setActiveWindow(sheet);
    QTest::keyClick(sheet, Qt::Key_Q, Qt::ControlModifier);
}

// Runs the steps from the event loop, as the user's actions come; the
// program is to end by itself (0), not at the time limit (1).
int runUntilTheProgramEnds(const std::function<void()> &steps)
{
    QTimer stuck;
    stuck.setSingleShot(true);
    QObject::connect(&stuck, &QTimer::timeout, [] { QCoreApplication::exit(1); });
    stuck.start(30000);
    QTimer::singleShot(0, qApp, steps);
    return QCoreApplication::exec();
}

class SendRunQuit : public ::testing::Test {
protected:
    void SetUp() override
    {
        Settings::setMaxErrorsWhileSending(0);
        Settings::setWriteLogFile(false);
        controller().setPanels(&panels);
        controller().setDocumentFactory([] { return new MyDocument; });
    }
    void TearDown() override
    {
        closeAll();
        MailDispatcher::abortAndJoinAll();
        controller().setPanels(nullptr);
        controller().setDocumentFactory({});
        PasswordPrompter::setDefault(nullptr);
        Keychain::setBackend(nullptr);
    }

    static DocumentController &controller() { return DocumentController::sharedDocumentController(); }
    static void closeAll()
    {
        const QList<Document *> documents = controller().documents();
        for (Document *document : documents)
            controller().removeDocument(document);
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    }
    MyDocument *openDocument(const QList<Recipient> &recipients)
    {
        auto *document = qobject_cast<MyDocument *>(controller().openUntitledDocument(true));
        document->messageTab().setSubjectText(RichText(QStringLiteral("Hello")));
        document->messageTab().setBodyText(RichText(QStringLiteral("Body text")));
        fillTable(document->database(), recipients);
        return document;
    }
    // A document sending three rows to the server, once the server holds.
    MyDocument *sendUntilHeld(StallingServer &server)
    {
        MyDocument *document = openDocument({{"a@x.test", "Al"}, {"b@x.test", "Bo"}, {"c@x.test", "Cy"}});
        useAccount(*document->sendUIHandler(), smtpAccount(server.server.port()));
        document->sendUIHandler()->sendNow(1);
        return waitUntil([&] { return server.waiting.load(); }) ? document : nullptr;
    }

    RecordingAlertPresenter alerts;
    QStringList log;
    QuitPanels panels{&log};
};

TEST(SendRunQuitQuestion, NamesTheDocumentAndOnlyItsStopButtonStops)
{
    QWidget window;
    window.show();
    QtDocumentPanels panels;
    struct Case {
        const char *name;
        std::function<void(QMessageBox *)> answer;
        bool stops;
    };
    const QList<Case> cases{
        {"stop", clickButton("Stop and Quit"), true},
        {"escape", [](QMessageBox *box) { QTest::keyClick(box, Qt::Key_Escape); }, false},
        {"return", [](QMessageBox *box) { QTest::keyClick(box, Qt::Key_Return); }, false},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        bool stops = false;
        const AskedQuestion asked = answerQuestion(
            [&] { stops = panels.askStopSendingForQuit(&window, QStringLiteral("<b>Members</b>")); }, c.answer,
            QStringLiteral("quit-while-sending.png"));
        EXPECT_EQ(stops, c.stops);
        EXPECT_EQ(asked.text.toStdString(), "Sending from “<b>Members</b>” is in progress. Stop sending and quit?");
        EXPECT_EQ(joined(asked.buttons), "Continue Sending | Stop and Quit");
    }
}

TEST_F(SendRunQuit, QuitAsksFirstContinueLeavesTheRunAndStopRecordsWhatTheServerTookBeforeTheSaveQuestions)
{
    // Continue: nothing touched, and the run goes on to its own end.
    {
        StallingServer holding(StallingServer::Where::SecondMail);
        MyDocument *document = sendUntilHeld(holding);
        ASSERT_TRUE(document);
        SendMailsUIHandler *handler = document->sendUIHandler();
        const SendRun *run = handler->run();
        panels.stopAnswers = {false};
        EXPECT_FALSE(MyApplication::prepareQuit());
        EXPECT_EQ(joined(log), "stop? " + document->displayName().toStdString()) << "no save question after Continue";
        ASSERT_TRUE(handler->isSending());
        EXPECT_EQ(handler->run(), run);
        EXPECT_FALSE(run->abortSendingNext);
        holding.release = true;
        ASSERT_TRUE(waitForRunEnd(*handler));
        EXPECT_EQ(holding.messagesTaken(), 3);
        EXPECT_EQ(alerts.shown.size(), 1);
        closeAll();
    }

    // Stop, with the report of the message the server took not yet handled.
    log.clear();
    StallingServer holding(StallingServer::Where::AfterData);
    MyDocument *document = sendUntilHeld(holding);
    ASSERT_TRUE(document);
    SendMailsUIHandler *handler = document->sendUIHandler();
    const std::shared_ptr<MailDispatcher> engine = handler->run()->dispatcher;
    // From here on the main thread handles nothing until Quit.
    holding.release = true;
    QElapsedTimer clock;
    clock.start();
    while (!(engine->status().state() == MailDispatcherStatus::MailSent && engine->status().currentMessage() == 0)) {
        ASSERT_LT(clock.elapsed(), 20000) << "the server's verdict never reached the engine";
        QThread::msleep(1);
    }
    std::string logAtQuestion;
    bool sendingAtQuestion = true;
    panels.onAsk = [&] {
        sendingAtQuestion = handler->isSending();
        logAtQuestion = logPlainText(*document->logTab());
    };
    panels.stopAnswers = {true};
    panels.choices = {DocumentPanels::Cancel};
    EXPECT_FALSE(MyApplication::prepareQuit()) << "cancelled at the save question";
    EXPECT_EQ(joined(log), joined({"stop? " + document->displayName(), "ask " + document->displayName()}));
    EXPECT_FALSE(sendingAtQuestion) << "the run has ended before the document is asked about";
    EXPECT_EQ(logAtQuestion, (Start + "Sent mail to ( 1 ) a@x.test\n" + Done).toStdString());
    EXPECT_TRUE(document->database().lastSentDate(0).isValid()) << "the message the server took is stamped";
    EXPECT_FALSE(document->database().lastSentDate(1).isValid());
    EXPECT_TRUE(controller().documents().contains(document));
    EXPECT_EQ(holding.messagesTaken(), 1);
}

TEST_F(SendRunQuit, QuitOrClosingWithThePasswordPromptOpenTakesItBackAndEndsTheRun)
{
    Keychain::setBackend(std::make_shared<KeychainMemoryBackend>());
    PasswordPrompter::setDefault(std::make_shared<QtPasswordPrompter>());
    enum Act { Answer, Quit, Close };
    for (const Act act : {Answer, Quit, Close}) {
        SCOPED_TRACE(act == Answer ? "answered" : act == Quit ? "quit from the other document" : "closing the document");
        log.clear();
        MyDocument *sending = openDocument({{"a@x.test", "Al"}});
        MyDocument *other = openDocument({{"b@x.test", "Bo"}});
        const QString name = sending->displayName();
        QPointer<MyDocument> watched(sending);
        FakeSmtpServer server;
        QVariantMap account = smtpAccount(server.port());
        account.insert(AccountKeys::SmtpAuthType, QStringLiteral("1"));
        account.insert(AccountKeys::SmtpLogin, QStringLiteral("user"));
        useAccount(*sending->sendUIHandler(), account);
        // While one window is closed, the other's run goes on untouched.
        StallingServer othersServer(StallingServer::Where::AfterData);
        if (act == Close) {
            useAccount(*other->sendUIHandler(), smtpAccount(othersServer.server.port()));
            other->sendUIHandler()->sendNow(1);
            ASSERT_TRUE(waitUntil([&] { return othersServer.waiting.load(); }));
            useAccount(*sending->sendUIHandler(), account);
        }
        panels.stopAnswers = {true};
        panels.choices = {DocumentPanels::DontSave, DocumentPanels::DontSave};

        const Watchdog watchdog("Quit or closing with the password prompt open", std::chrono::seconds(30));
        // Acts once the prompt shows, from the event loop, wherever that runs.
        bool acted = false;
        bool quitResult = false;
        QTimer poll;
        QObject::connect(&poll, &QTimer::timeout, &poll, [&] {
            AskPasswordView *prompt = openPrompt();
            if (!prompt)
                return;
            poll.stop();
            if (act == Answer) {
                QTest::keyClicks(prompt->passwordField(), "pw");
                prompt->okButton()->click();
            } else if (act == Quit) {
                quitResult = MyApplication::prepareQuit();
            } else {
                sending->window()->close();
                QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
            }
            acted = true;
        });
        poll.start(5);
        sending->sendUIHandler()->sendNow(1);
        ASSERT_TRUE(waitUntil([&] { return acted; }));

        if (act == Answer) {
            ASSERT_TRUE(waitForRunEnd(*sending->sendUIHandler()));
            server.stop();
            ASSERT_EQ(server.sessions().size(), 1u);
            EXPECT_TRUE(server.sessions().front().saw("AUTH PLAIN")) << "the typed password is used";
            EXPECT_EQ(server.sessions().front().messages.size(), 1);
            EXPECT_TRUE(log.isEmpty());
        } else {
            EXPECT_FALSE(openPrompt()) << "the prompt is taken back";
            EXPECT_EQ(server.stop(), 0) << "no password, no connection";
        }
        if (act == Quit) {
            EXPECT_TRUE(quitResult);
            EXPECT_EQ(joined(log), joined({"stop? " + name, "ask " + name})) << "the other document has no run";
            ASSERT_TRUE(watched);
            EXPECT_FALSE(sending->sendUIHandler()->isSending());
            EXPECT_EQ(logPlainText(*sending->logTab()), (Start + Done).toStdString());
        }
        if (act == Close) {
            EXPECT_EQ(joined(log), "ask " + name.toStdString());
            EXPECT_FALSE(watched) << "the document has closed";
            ASSERT_TRUE(other->sendUIHandler()->isSending());
            othersServer.release = true;
            ASSERT_TRUE(waitForRunEnd(*other->sendUIHandler()));
            EXPECT_EQ(logPlainText(*other->logTab()), (Start + "Sent mail to ( 1 ) b@x.test\n" + Done).toStdString());
            EXPECT_TRUE(other->database().lastSentDate(0).isValid());
        }
        closeAll();
    }
}

TEST_F(SendRunQuit, QuitFromTheProgressSheetAsksAndStopRecordsWhatTheServerTook)
{
    controller().setPanels(nullptr);
    StallingServer holding(StallingServer::Where::AfterData);
    // The real question's own event loop lets the run go on until Stop is
    // chosen; the server never takes a second message, so what Stop finds
    // taken does not depend on how fast the worker is.
    holding.keepSecondMail = true;
    MyDocument *document = sendUntilHeld(holding);
    ASSERT_TRUE(document);
    SendMailsUIHandler *handler = document->sendUIHandler();
    ASSERT_TRUE(waitUntil([&] { return handler->progressWindow() && handler->progressWindow()->isVisible(); }));
    QPointer<SendMailsProgressWindow> sheet = handler->progressWindow();
    const QString stop = "Sending from “" + document->displayName() + "” is in progress. Stop sending and quit?";

    Questions questions({Questions::button("Continue Sending"), Questions::button("Stop and Quit"),
                         Questions::standard(QMessageBox::Discard)});
    bool sendingAtSave = true;
    std::string logAtSave;
    bool stampedAtSave = false;
    questions.onQuestion = [&](QMessageBox *) {
        sendingAtSave = handler->isSending();
        logAtSave = logPlainText(*document->logTab());
        stampedAtSave = document->database().lastSentDate(0).isValid();
    };
    bool goingOnAfterContinue = false;
    const int ended = runUntilTheProgramEnds([&] {
        pressQuitKey(sheet);
        goingOnAfterContinue = handler->isSending() && sheet && sheet->isVisible();
        // The server takes the first message; its report waits for the main thread.
        holding.release = true;
        const std::shared_ptr<MailDispatcher> engine = handler->run()->dispatcher;
        QElapsedTimer clock;
        clock.start();
        while (!(engine->status().state() == MailDispatcherStatus::MailSent && engine->status().currentMessage() == 0)
               && clock.elapsed() < 20000)
            QThread::msleep(1);
        if (sheet)
            chooseQuit(sheet);
    });
    EXPECT_EQ(ended, 0) << "the program ended";
    EXPECT_TRUE(goingOnAfterContinue) << "Continue Sending leaves the run and its sheet";
    ASSERT_EQ(questions.asked.size(), 3);
    EXPECT_EQ(questions.asked[0], stop);
    EXPECT_EQ(questions.asked[1], stop);
    EXPECT_FALSE(sendingAtSave) << "the run has ended before the document is asked about";
    EXPECT_EQ(logAtSave, (Start + "Sent mail to ( 1 ) a@x.test\n" + Done).toStdString());
    EXPECT_TRUE(stampedAtSave) << "the message the server took is stamped";
    EXPECT_EQ(holding.messagesTaken(), 1);
}

TEST_F(SendRunQuit, QuitFromThePasswordPromptTakesItBackAndEndsTheRun)
{
    controller().setPanels(nullptr);
    Keychain::setBackend(std::make_shared<KeychainMemoryBackend>());
    PasswordPrompter::setDefault(std::make_shared<QtPasswordPrompter>(&ApplicationMenus::furnishSheet));
    MyDocument *document = openDocument({{"a@x.test", "Al"}});
    FakeSmtpServer server;
    QVariantMap account = smtpAccount(server.port());
    account.insert(AccountKeys::SmtpAuthType, QStringLiteral("1"));
    account.insert(AccountKeys::SmtpLogin, QStringLiteral("user"));
    useAccount(*document->sendUIHandler(), account);
    SendMailsUIHandler *handler = document->sendUIHandler();

    Questions questions({Questions::button("Continue Sending"), Questions::button("Stop and Quit"),
                         Questions::standard(QMessageBox::Discard)});
    std::string logAtSave;
    questions.onQuestion = [&](QMessageBox *) { logAtSave = logPlainText(*document->logTab()); };
    bool promptAfterContinue = false;
    bool promptAtEnd = true;
    const Watchdog watchdog("Quit from the password prompt", std::chrono::seconds(60));
    const int ended = runUntilTheProgramEnds([&] {
        handler->sendNow(1);
        if (!waitUntil([] { return openPrompt() != nullptr; }))
            return;
        pressQuitKey(openPrompt());
        promptAfterContinue = openPrompt() != nullptr && handler->isSending();
        if (AskPasswordView *prompt = openPrompt())
            chooseQuit(prompt);
        promptAtEnd = openPrompt() != nullptr;
    });
    EXPECT_EQ(ended, 0) << "the program ended";
    EXPECT_TRUE(promptAfterContinue) << "Continue Sending leaves the prompt";
    EXPECT_FALSE(promptAtEnd) << "the prompt is taken back";
    EXPECT_EQ(questions.asked.size(), 3);
    EXPECT_EQ(logAtSave, (Start + Done).toStdString());
    EXPECT_EQ(server.stop(), 0) << "no password, no connection";
}

} // namespace
