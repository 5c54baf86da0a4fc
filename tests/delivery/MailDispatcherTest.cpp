// The send engine against a scripted handler: the reports of whole runs,
// the rows it leaves out, the retry, the ways a run ends in an error,
// skipping and resuming, cuts, and the owner letting go of the engine from
// inside its reports.
#include <gtest/gtest.h>

#include "AppException.h"
#include "AttributedTagString.h"
#include "DispatcherRecorder.h"
#include "Localizer.h"
#include "MailDispatcher.h"
#include "MailMessage.h"
#include "MainThread.h"
#include "SimpleTag.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QThread>

#include <algorithm>
#include <deque>
#include <mutex>

namespace {

// What the fake handlers of one test do and what was asked of them.
struct Script {
    std::mutex mutex;
    std::deque<int> connectResults;
    std::deque<int> sendResults;
    // Sends block, asking the progress callback, until released or told to
    // stop; they then return this code.
    bool blockInSend = false;
    int codeWhenCut = MailHandler::Cancelled;
    std::atomic<int> sendsInProgress = 0;
    std::atomic<bool> releaseSend = false;
    bool mayHaveDelivered = false;
    // "connect", "send" or "disconnect" throws; foreign: not an AppException.
    QString throwIn;
    bool foreign = false;
    QStringList calls;
    QStringList lastBcc;
    std::function<void()> onSetup;
    const QString password = QString::fromLatin1("secret");

    void log(const QString &call)
    {
        const std::lock_guard guard(mutex);
        calls.append(call);
    }
    int next(std::deque<int> &results)
    {
        const std::lock_guard guard(mutex);
        if (results.empty())
            return 0;
        const int result = results.front();
        results.pop_front();
        return result;
    }
    QStringList takeCalls()
    {
        const std::lock_guard guard(mutex);
        return calls;
    }
    void maybeThrow(const QString &where) const
    {
        if (throwIn != where)
            return;
        if (foreign)
            throw 42;
        throw AppException(QStringLiteral("Test"), QStringLiteral("broke in ") + where);
    }
};

class FakeHandler : public MailHandler {
public:
    explicit FakeHandler(std::shared_ptr<Script> script) : m_script(std::move(script)) {}

    std::optional<QVariantMap> setup(QObject *, const std::optional<QVariantMap> &settings) override
    {
        // A resumed run gets the first run's set-up: no second prompt.
        if (!settings)
            m_script->log(QStringLiteral("setup"));
        else
            m_script->log(settings->value(QStringLiteral("password")).toString() == m_script->password ? "setup again"
                                                                                            : "setup lost");
        if (m_script->onSetup)
            m_script->onSetup();
        return settings.value_or(QVariantMap{{QStringLiteral("password"), m_script->password}});
    }
    void setProgressCallback(SmtpProgressDelegate *callback) override { m_callback = callback; }
    int connect() override
    {
        m_script->log(QStringLiteral("connect"));
        m_script->maybeThrow(QStringLiteral("connect"));
        return m_script->next(m_script->connectResults);
    }
    int disconnect() override
    {
        m_script->log(QStringLiteral("disconnect"));
        m_script->maybeThrow(QStringLiteral("disconnect"));
        return 0;
    }
    int sendMessage(const MailMessage &message) override
    {
        m_script->log(QStringLiteral("send %1 %2 %3").arg(message.to(), message.subject()).arg(message.attachments().size()));
        {
            const std::lock_guard guard(m_script->mutex);
            m_script->lastBcc = message.bcc();
        }
        m_script->maybeThrow(QStringLiteral("send"));
        if (m_script->blockInSend) {
            ++m_script->sendsInProgress;
            while (!m_script->releaseSend) {
                if (!m_callback->sentBytesInfo(1, 2)) {
                    --m_script->sendsInProgress;
                    return m_script->codeWhenCut;
                }
                QThread::yieldCurrentThread();
            }
            --m_script->sendsInProgress;
        }
        return m_script->next(m_script->sendResults);
    }
    QString getErrorDesc(int result) override { return QStringLiteral("err %1").arg(result); }
    bool lastFailureMayHaveDelivered() const override { return m_script->mayHaveDelivered; }

private:
    std::shared_ptr<Script> m_script;
    SmtpProgressDelegate *m_callback = nullptr;
};

// A per-recipient file that is missing in the way the test says.
class ScriptedAttachment : public Attachment {
public:
    explicit ScriptedAttachment(QMap<int, AttachmentResolution::Decision> decisions) : m_decisions(decisions) {}
    AttachmentResolution resolve(const Personalizer *personalizer) const override
    {
        const auto decision =
            m_decisions.value(personalizer->addressNumber(), AttachmentResolution::Decision::SkipAttachment);
        return {decision, QStringLiteral("/files/%1.pdf").arg(personalizer->addressNumber())};
    }
    QString archiveClassName() const override { return QStringLiteral("ScriptedAttachment"); }

private:
    QMap<int, AttachmentResolution::Decision> m_decisions;
};

const QString Ann = QStringLiteral("send ann@a.test Hello Ann 0");
const QString Bob = QStringLiteral("send bob@b.test Hello Bob 0");
const QString Cy = QStringLiteral("send cy@c.test Hello Cy 0");

// Rows: Ann, no "@", inactive, blacklisted, Bob, empty address, Cy.
class MailDispatcherTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        const QString name = database.addField(QStringLiteral("Name"));
        const QString mail = database.addField(QStringLiteral("Mail"));
        database.setAddressFieldNo(Database::columnIndexFromIdentifier(mail));
        const auto add = [&](const QString &who, const QString &address, bool active = true) {
            database.addEntryWithDict(database.entryCount(),
                                      {{name, who}, {mail, address}, {Database::ActiveKey, active}});
        };
        add(QStringLiteral("Ann"), QStringLiteral("ann@a.test"));
        add(QStringLiteral("Nobody"), QStringLiteral("no-address"));
        add(QStringLiteral("Ina"), QStringLiteral("ina@a.test"), false);
        add(QStringLiteral("Blake"), QStringLiteral("Blake@Black.test"));
        add(QStringLiteral("Bob"), QStringLiteral("bob@b.test"));
        add(QStringLiteral("Empty"), QStringLiteral(""));
        add(QStringLiteral("Cy"), QStringLiteral("cy@c.test"));

        RichText subject(QStringLiteral("Hello "));
        DoInsertTagInAttributedString(std::make_shared<SimpleTag>(QStringLiteral("Name")), subject, 6);
        job.message = std::make_shared<const MessageSnapshot>(MessageMode::Plain, subject, RichText(QStringLiteral("Hi")),
                                                              RichText(), RichText(), std::nullopt, QString());
        job.recipients = RecipientRows::fromDatabase(database);
    }
    void TearDown() override { MailDispatcher::abortAndJoinAll(); }

    std::shared_ptr<MailDispatcher> makeDispatcher()
    {
        auto dispatcher = MailDispatcher::create();
        dispatcher->setJob(job);
        dispatcher->setAccountData({{QStringLiteral("mailFromAddress"), QStringLiteral("me@a.test")}});
        dispatcher->setFilter(std::make_shared<MailDispatchFilter>(
            std::make_shared<BlacklistMatcher>(QStringList{QStringLiteral("blake@black.test")})));
        dispatcher->setHandlerFactory([s = script](const QVariantMap &) { return std::make_unique<FakeHandler>(s); });
        dispatcher->setDelegate(&recorder);
        return dispatcher;
    }
    [[nodiscard]] bool runs(MailDispatcher &dispatcher, int doneReports = 1)
    {
        dispatcher.send();
        return waitFor([&] { return recorder.count(MailDispatcherStatus::Done) == doneReports; });
    }

    Database database;
    SendJob job;
    std::shared_ptr<Script> script = std::make_shared<Script>();
    Recorder recorder;
};

} // namespace

TEST_F(MailDispatcherTest, WholeRunSendsEligibleRowsAndReportsInOrder)
{
    auto dispatcher = makeDispatcher();
    dispatcher->setBCCAddresses({QString(), QStringLiteral("copy@a.test"), QStringLiteral("  ")});
    // No report and no set-up may run under the engine's lock: the
    // controller asks the engine things while handling them.
    script->onSetup = [&] { (void)dispatcher->lastRecipient(); };
    recorder.onReport = [&](const MailDispatcherStatus &status) {
        (void)dispatcher->lastRecipient();
        // Stamped while the worker reads its copy of the rows.
        if (status.state() == MailDispatcherStatus::MailSent)
            database.setLastSentDate(status.currentMessage());
    };
    ASSERT_TRUE(runs(*dispatcher));

    EXPECT_EQ(script->takeCalls(), (QStringList{"setup", "connect", Ann, Bob, Cy, "disconnect"}));
    std::vector<std::pair<int, int>> sequence;
    for (const Report &r : recorder.reports)
        sequence.emplace_back(r.state, r.row);
    EXPECT_EQ(sequence, (std::vector<std::pair<int, int>>{
                            {0, 0}, {0, 0}, {3, 0}, {0, 0}, {0, 4}, {3, 4}, {0, 4}, {0, 6}, {3, 6}, {0, 6}, {1, 6}}));
    EXPECT_EQ(recorder.reports.front().count, 3);
    EXPECT_EQ(recorder.reports.back().sent, 3);
    EXPECT_EQ(script->lastBcc, QStringList{"copy@a.test"});
    EXPECT_TRUE(database.lastSentDate(4).isValid());
    EXPECT_FALSE(job.recipients->entries().at(4)->contains(Database::LastSentKey));
}

TEST_F(MailDispatcherTest, RunsThatEndInAnError)
{
    struct Case {
        const char *name;
        std::function<void(Script &, MailDispatcher &)> configure;
        QStringList calls;
        int code; // 0: no error
        int row;
        QString info;
        int sent;
    };
    const QString bye = QStringLiteral("disconnect");
    const QString hello = QStringLiteral("connect");
    const std::vector<Case> cases = {
        {"resend succeeds", [](Script &s, MailDispatcher &) { s.sendResults = {5, 0}; },
         {hello, Ann, bye, hello, Ann, Bob, Cy, bye}, 0, 0, {}, 3},
        {"resend fails", [](Script &s, MailDispatcher &) { s.sendResults = {5, 7}; },
         {hello, Ann, bye, hello, Ann, bye}, 2, 0, "err 5", 0},
        {"reconnect fails", [](Script &s, MailDispatcher &) { s.connectResults = {0, 9};
             s.sendResults = {5}; },
         {hello, Ann, bye, hello, bye}, 2, 0, "err 5", 0},
        {"first connect fails", [](Script &s, MailDispatcher &) { s.connectResults = {9}; },
         {hello, bye}, 3, -1, "err 9", 0},
        {"throw in connect", [](Script &s, MailDispatcher &) { s.throwIn = "connect"; },
         {hello}, 4, -1, "broke in connect", 0},
        {"throw in send", [](Script &s, MailDispatcher &) { s.throwIn = "send"; },
         {hello, Ann}, 4, 0, "broke in send", 0},
        {"foreign throw in send", [](Script &s, MailDispatcher &) { s.throwIn = "send";
             s.foreign = true; },
         {hello, Ann}, 4, 0, "", 0},
        {"throw in final disconnect", [](Script &s, MailDispatcher &) { s.throwIn = "disconnect"; },
         {hello, Ann, Bob, Cy, bye}, 4, -1, "broke in disconnect", 3},
        {"throw in set-up",
         [](Script &s, MailDispatcher &) {
             s.onSetup = [] { throw AppException(QStringLiteral("Test"), QStringLiteral("broke in setup")); };
         },
         {}, 4, -1, "broke in setup", 0},
        {"unknown account type: no handler",
         [](Script &, MailDispatcher &d) {
             d.setHandlerFactory(nullptr);
             d.setAccountData({{QStringLiteral("accountType"), QStringLiteral("pigeon")}});
         },
         {}, 1, -1, "", 0},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        script = std::make_shared<Script>();
        recorder.reports.clear();
        auto dispatcher = makeDispatcher();
        c.configure(*script, *dispatcher);
        ASSERT_TRUE(runs(*dispatcher));
        QStringList calls = script->takeCalls();
        calls.removeAll(QStringLiteral("setup"));
        EXPECT_EQ(calls, c.calls);
        std::vector<int> steps(c.sent, MailDispatcherStatus::MailSent);
        if (c.code)
            steps.push_back(MailDispatcherStatus::Error);
        steps.push_back(MailDispatcherStatus::Done);
        EXPECT_EQ(recorder.steps(), steps);
        EXPECT_EQ(recorder.reports.back().sent, c.sent);
        // An ended run sets nothing up, and stopping it then (as a quit
        // does with every engine still held) touches no handler of it.
        EXPECT_FALSE(dispatcher->isSettingUp());
        dispatcher->abortNow();
        if (!c.code)
            continue;
        const Report error = recorder.only(MailDispatcherStatus::Error).front();
        EXPECT_EQ(error.code, c.code);
        EXPECT_EQ(error.row, c.row);
        EXPECT_TRUE(c.info.isEmpty() ? error.info.isEmpty() : error.info.contains(c.info)) << error.info.toStdString();

        // Skipping an error of no row leaves the walk and the count alone.
        const int before = dispatcher->lastRecipient();
        dispatcher->skipMessage();
        EXPECT_EQ(dispatcher->lastRecipient(), c.row >= 0 ? c.row : before);
        EXPECT_EQ(dispatcher->status().sentMailsCounter(), c.sent + (c.row >= 0 ? 1 : 0));
    }
}

TEST_F(MailDispatcherTest, AMessageThatMayHaveBeenDeliveredIsItsOwnOutcome)
{
    // The whole message went out and its answer was lost, unreadable or
    // cut short by the user: neither sent nor failed, and never sent again.
    struct Case {
        const char *name;
        std::function<void(Script &)> configure;
        bool cut; // the user cuts the wait for the answer
        QStringList calls;
        std::vector<int> steps;
        int sent;
        int lastRecipient; // the uncertain row is done with
    };
    const QString bye = QStringLiteral("disconnect");
    const QString hello = QStringLiteral("connect");
    constexpr int Uncertain = MailDispatcherStatus::MayHaveBeenDelivered;
    const std::vector<Case> cases = {
        {"answer lost: the run goes on over a new connection",
         [](Script &s) { s.sendResults = {5}; }, false,
         {hello, Ann, bye, hello, Bob, Cy, bye}, {Uncertain, 3, 3, 1}, 2, 6},
        {"no new connection for the next row", [](Script &s) { s.sendResults = {5};
             s.connectResults = {0, 9}; }, false,
         {hello, Ann, bye, hello, bye}, {Uncertain, 2, 1}, 0, 0},
        {"cut by the user", [](Script &s) { s.blockInSend = true; }, true, {hello, Ann, bye}, {Uncertain, 1}, 0, 0},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        script = std::make_shared<Script>();
        script->mayHaveDelivered = true;
        c.configure(*script);
        recorder.reports.clear();
        auto dispatcher = makeDispatcher();
        dispatcher->send();
        if (c.cut) {
            ASSERT_TRUE(waitFor([&] { return script->sendsInProgress == 1; }));
            dispatcher->abortNow();
        }
        ASSERT_TRUE(waitFor([&] { return recorder.count(MailDispatcherStatus::Done) == 1; }));
        QStringList calls = script->takeCalls();
        calls.removeAll(QStringLiteral("setup"));
        EXPECT_EQ(calls, c.calls);
        EXPECT_EQ(recorder.steps(), c.steps);
        ASSERT_EQ(recorder.count(Uncertain), 1);
        const Report uncertain = recorder.only(Uncertain).front();
        EXPECT_EQ(uncertain.row, 0);
        EXPECT_TRUE(uncertain.info.startsWith(Localizer::localizedString("SendErrors", "May have been delivered")))
            << uncertain.info.toStdString();
        EXPECT_TRUE(uncertain.info.contains(QStringLiteral("err %1").arg(c.cut ? 16 : 5)))
            << uncertain.info.toStdString();
        EXPECT_EQ(uncertain.sent, 0) << "not counted as sent";
        EXPECT_EQ(recorder.reports.back().sent, c.sent);
        EXPECT_EQ(dispatcher->lastRecipient(), c.lastRecipient);
        if (recorder.count(MailDispatcherStatus::Error)) {
            const Report error = recorder.only(MailDispatcherStatus::Error).front();
            EXPECT_EQ(error.row, 4);
            EXPECT_TRUE(error.info.contains("err 9")) << error.info.toStdString();
        }
    }
}

TEST_F(MailDispatcherTest, SkipAndResumeGoOnAfterTheFailedRowWithTheFirstSetUp)
{
    // Bob follows three filtered-out rows and fails twice.
    script->sendResults = {0, 5, 7};
    auto dispatcher = makeDispatcher();
    std::weak_ptr<MailDispatcher> watch = dispatcher;
    recorder.onReport = [&](const MailDispatcherStatus &status) {
        if (status.state() == MailDispatcherStatus::Error) {
            dispatcher->skipMessage();
            dispatcher->skipMessage();
            dispatcher->resumeSending();
        }
    };
    ASSERT_TRUE(runs(*dispatcher, 2));
    EXPECT_EQ(script->takeCalls(), (QStringList{"setup", "connect", Ann, Bob, "disconnect", "connect", Bob,
                                                "disconnect", "setup again", "connect", Cy, "disconnect"}));
    EXPECT_EQ(recorder.only(MailDispatcherStatus::Error).front().row, 4);
    EXPECT_EQ(recorder.reports.back().sent, 3);
    EXPECT_EQ(dispatcher->lastRecipient(), 6);

    // The password goes with the engine.
    EXPECT_FALSE(script->password.isDetached());
    dispatcher.reset();
    // The last owner may be the worker thread, still destroying the engine.
    EXPECT_TRUE(waitFor([&] { return watch.expired() && script->password.isDetached(); }));
}

TEST_F(MailDispatcherTest, CancelRightAfterResumingHoldsForTheResumedRun)
{
    // The controller resumes inside the stopped report; the user's cancel
    // may come at once, inside that report or just after it, before the
    // resumed run has started. Either way no further row may go out.
    struct Case {
        const char *name;
        bool posted; // handled after the report has returned
        bool now;    // abortNow rather than abort
    };
    const Case cases[] = {{"abort in the report", false, false},
                          {"abortNow in the report", false, true},
                          {"abort after the report", true, false}};
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        script = std::make_shared<Script>();
        script->sendResults = {0, 5, 7}; // Bob fails twice
        recorder.reports.clear();
        auto dispatcher = makeDispatcher();
        bool resumed = false;
        recorder.onReport = [&](const MailDispatcherStatus &status) {
            if (status.state() != MailDispatcherStatus::Done || resumed)
                return;
            resumed = true;
            dispatcher->skipMessage();
            dispatcher->resumeSending();
            const auto cancel = [&dispatcher, now = c.now] {
                if (now)
                    dispatcher->abortNow();
                else
                    dispatcher->abort();
            };
            if (c.posted)
                QMetaObject::invokeMethod(QCoreApplication::instance(), cancel, Qt::QueuedConnection);
            else
                cancel();
        };
        ASSERT_TRUE(runs(*dispatcher, 2));
        const QStringList calls = script->takeCalls();
        EXPECT_FALSE(calls.contains(Cy)) << calls.join(", ").toStdString();
        EXPECT_EQ(recorder.count(MailDispatcherStatus::MailSent), 1);
        EXPECT_EQ(dispatcher->lastRecipient(), 4);
    }
}

TEST_F(MailDispatcherTest, AttachmentDecisionsAndResumeFromInsideTheErrorReport)
{
    using D = AttachmentResolution::Decision;
    job.attachments = {std::make_shared<ScriptedAttachment>(QMap<int, D>{{0, D::SkipMessage}, {4, D::AbortSending}})};
    auto dispatcher = makeDispatcher();
    recorder.onReport = [&](const MailDispatcherStatus &status) {
        if (status.state() == MailDispatcherStatus::Error && status.errorCode() == 6) {
            dispatcher->skipMessage();
            dispatcher->resumeSending();
        }
    };
    ASSERT_TRUE(runs(*dispatcher, 2));

    const QString missing = Localizer::localizedString("SendErrors", "Attachment missing");
    const std::vector<Report> errors = recorder.only(MailDispatcherStatus::Error);
    ASSERT_EQ(errors.size(), 2u);
    EXPECT_EQ(errors[0].code, 6);
    EXPECT_EQ(errors[0].row, 0);
    EXPECT_EQ(errors[0].info, missing + " /files/0.pdf");
    EXPECT_EQ(errors[1].code, 5);
    EXPECT_EQ(errors[1].row, 4);
    EXPECT_EQ(errors[1].info, missing + " /files/4.pdf");
    // The failed run ended (done) before the resumed run's set-up; the
    // resumed run had a connection of its own and sent nothing: Bob's
    // attachment stopped it.
    EXPECT_EQ(script->takeCalls(),
              (QStringList{"setup", "connect", "disconnect", "setup again", "connect", "disconnect"}));
    EXPECT_EQ(recorder.reports.back().state, MailDispatcherStatus::Done);
    EXPECT_EQ(recorder.reports.back().sent, 1);
    EXPECT_EQ(dispatcher->lastRecipient(), 0);
}

TEST_F(MailDispatcherTest, AbortDuringATransferIsReportedBeforeThatMailIsSent)
{
    script->blockInSend = true;
    for (int i = 0; i < 1000; ++i) {
        recorder.reports.clear();
        script->releaseSend = false;
        auto dispatcher = makeDispatcher();
        dispatcher->send();
        ASSERT_TRUE(waitFor([&] { return script->sendsInProgress == 1; }));
        // Half the time the transfer ends while the abort is on its way.
        if (i % 2)
            script->releaseSend = true;
        dispatcher->abort();
        script->releaseSend = true;
        ASSERT_TRUE(waitFor([&] { return recorder.count(MailDispatcherStatus::Done) == 1; }));
        ASSERT_EQ(recorder.steps(), (std::vector<int>{2, 3, 1})) << "iteration " << i;
        ASSERT_EQ(recorder.only(MailDispatcherStatus::Error).front().code, 1);
    }
    EXPECT_EQ(script->takeCalls().filter("send").size(), 1000);
}

TEST_F(MailDispatcherTest, AbortNowCutsTheTransferWithoutErrorOrRetry)
{
    script->blockInSend = true;
    script->codeWhenCut = -1; // whatever the cut transfer returns
    auto dispatcher = makeDispatcher();
    dispatcher->send();
    ASSERT_TRUE(waitFor([&] { return script->sendsInProgress == 1; }));
    dispatcher->abortNow();
    ASSERT_TRUE(waitFor([&] { return recorder.count(MailDispatcherStatus::Done) == 1; }));
    EXPECT_EQ(recorder.steps(), std::vector<int>{1});
    EXPECT_EQ(script->takeCalls(), (QStringList{"setup", "connect", Ann, "disconnect"}));
}

TEST_F(MailDispatcherTest, OwnerMayLetGoInsideDoneReportAndQuitJoinsRunningEngines)
{
    auto dispatcher = makeDispatcher();
    std::weak_ptr<MailDispatcher> watch = dispatcher;
    recorder.onReport = [&](const MailDispatcherStatus &status) {
        if (status.state() == MailDispatcherStatus::Done)
            dispatcher.reset();
    };
    dispatcher->send();
    ASSERT_TRUE(waitFor([&] { return watch.expired(); }));
    EXPECT_EQ(recorder.count(MailDispatcherStatus::Done), 1);

    // Two runs cut short at quit: neither reports again, both threads end.
    recorder.reports.clear();
    recorder.onReport = nullptr;
    script->blockInSend = true;
    auto first = makeDispatcher();
    auto second = makeDispatcher();
    first->send();
    second->send();
    ASSERT_TRUE(waitFor([&] { return script->sendsInProgress == 2; }));
    const size_t before = recorder.reports.size();
    MailDispatcher::abortAndJoinAll();
    EXPECT_EQ(script->sendsInProgress, 0);
    QCoreApplication::processEvents();
    EXPECT_EQ(recorder.reports.size(), before);
    EXPECT_EQ(first.use_count(), 1);
    EXPECT_EQ(second.use_count(), 1);
}
