// The send engine against a scripted handler: the reports of whole runs,
// the rows it leaves out, the retry, attachment decisions, cuts, and the
// owner letting go of or resuming the engine from inside its reports.
#include <gtest/gtest.h>

#include "AttributedTagString.h"
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
    // Sends block, asking the progress callback, until it says stop; they
    // then return this code.
    bool blockInSend = false;
    int codeWhenCut = MailHandler::Cancelled;
    std::atomic<int> sendsInProgress = 0;
    std::atomic<bool> releaseSend = false;
    QStringList calls;
    std::function<void()> onSetup;

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
};

class FakeHandler : public MailHandler {
public:
    explicit FakeHandler(std::shared_ptr<Script> script) : m_script(std::move(script)) {}

    std::optional<QVariantMap> setup(QObject *, const std::optional<QVariantMap> &settings) override
    {
        m_script->log(QStringLiteral("setup"));
        if (m_script->onSetup)
            m_script->onSetup();
        return settings.value_or(QVariantMap{{QStringLiteral("password"), QStringLiteral("pw")}});
    }
    void setProgressCallback(SmtpProgressDelegate *callback) override { m_callback = callback; }
    int connect() override
    {
        m_script->log(QStringLiteral("connect"));
        return m_script->next(m_script->connectResults);
    }
    int disconnect() override
    {
        m_script->log(QStringLiteral("disconnect"));
        return 0;
    }
    int sendMessage(const MailMessage &message) override
    {
        m_script->log(QStringLiteral("send %1 %2 %3").arg(message.to(), message.subject()).arg(message.attachments().size()));
        if (m_script->blockInSend) {
            ++m_script->sendsInProgress;
            while (!m_script->releaseSend) {
                if (!m_callback->sentBytesInfo(1, 2)) {
                    --m_script->sendsInProgress;
                    return m_script->codeWhenCut;
                }
                QThread::msleep(1);
            }
            --m_script->sendsInProgress;
        }
        return m_script->next(m_script->sendResults);
    }
    QString getErrorDesc(int result) override { return QStringLiteral("err %1").arg(result); }

private:
    std::shared_ptr<Script> m_script;
    SmtpProgressDelegate *m_callback = nullptr;
};

struct Report {
    int state, row, code, sent, count;
    QString info;
};

class Recorder : public MailDispatcherDelegate {
public:
    void updateProgress(std::unique_ptr<MailDispatcherStatus> status) override
    {
        EXPECT_TRUE(MainThread::isMainThread());
        reports.push_back({status->state(), status->currentMessage(), status->errorCode(),
                           status->sentMailsCounter(), status->messageCount(), status->errorInfo()});
        if (onReport)
            onReport(*status);
    }
    int count(int state) const
    {
        return int(std::count_if(reports.begin(), reports.end(), [&](const Report &r) { return r.state == state; }));
    }
    std::vector<Report> reports;
    std::function<void(const MailDispatcherStatus &)> onReport;
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

bool waitFor(const std::function<bool()> &condition)
{
    QElapsedTimer timer;
    timer.start();
    while (!condition()) {
        if (timer.elapsed() > 20000)
            return false;
        QCoreApplication::processEvents();
        QThread::msleep(1);
    }
    return true;
}

// Rows: Ann, no "@", inactive, blacklisted, Bob, empty address.
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

    Database database;
    SendJob job;
    std::shared_ptr<Script> script = std::make_shared<Script>();
    Recorder recorder;
};

} // namespace

TEST_F(MailDispatcherTest, WholeRunSendsEligibleRowsAndReportsInOrder)
{
    auto dispatcher = makeDispatcher();
    // No report and no set-up may run under the engine's lock: the
    // controller asks the engine things while handling them.
    script->onSetup = [&] { (void)dispatcher->lastRecipient(); };
    recorder.onReport = [&](const MailDispatcherStatus &status) {
        (void)dispatcher->lastRecipient();
        // Stamped while the worker reads its copy of the rows.
        if (status.state() == MailDispatcherStatus::MailSent)
            database.setLastSentDate(status.currentMessage());
    };
    dispatcher->send();
    ASSERT_TRUE(waitFor([&] { return recorder.count(MailDispatcherStatus::Done) == 1; }));

    EXPECT_EQ(script->takeCalls(), (QStringList{"setup", "connect", "send ann@a.test Hello Ann 0",
                                                "send bob@b.test Hello Bob 0", "disconnect"}));
    std::vector<std::pair<int, int>> sequence;
    for (const Report &r : recorder.reports)
        sequence.emplace_back(r.state, r.row);
    EXPECT_EQ(sequence, (std::vector<std::pair<int, int>>{
                            {0, 0}, {0, 0}, {3, 0}, {0, 0}, {0, 4}, {3, 4}, {0, 4}, {1, 4}}));
    EXPECT_EQ(recorder.reports.front().count, 2);
    EXPECT_EQ(recorder.reports.back().sent, 2);
    EXPECT_EQ(recorder.count(MailDispatcherStatus::Error), 0);
    EXPECT_TRUE(database.lastSentDate(4).isValid());
    EXPECT_FALSE(job.recipients->entries().at(4)->contains(Database::LastSentKey));
}

TEST_F(MailDispatcherTest, FailedSendIsRetriedOnceOnAFreshConnection)
{
    // First send fails, the resend succeeds: sent, no error.
    script->sendResults = {5, 0};
    auto retried = makeDispatcher();
    retried->send();
    ASSERT_TRUE(waitFor([&] { return recorder.count(MailDispatcherStatus::Done) == 1; }));
    EXPECT_EQ(script->takeCalls().mid(2, 4), (QStringList{"send ann@a.test Hello Ann 0", "disconnect", "connect",
                                                          "send ann@a.test Hello Ann 0"}));
    EXPECT_EQ(recorder.count(MailDispatcherStatus::Error), 0);
    EXPECT_EQ(recorder.count(MailDispatcherStatus::MailSent), 2);

    // Both fail: error 2 with the first failure's text, and the run ends.
    recorder.reports.clear();
    script->calls.clear();
    script->sendResults = {5, 7};
    auto failing = makeDispatcher();
    failing->send();
    ASSERT_TRUE(waitFor([&] { return recorder.count(MailDispatcherStatus::Done) == 1; }));
    ASSERT_EQ(recorder.count(MailDispatcherStatus::Error), 1);
    const Report &error = recorder.reports.at(recorder.reports.size() - 2);
    EXPECT_EQ(error.code, 2);
    EXPECT_EQ(error.info, "err 5");
    EXPECT_EQ(recorder.count(MailDispatcherStatus::MailSent), 0);
    EXPECT_EQ(script->takeCalls().filter("send").size(), 2);

    // A failed first connect: error 3, disconnect, nothing sent.
    recorder.reports.clear();
    script->calls.clear();
    script->connectResults = {9};
    auto unreachable = makeDispatcher();
    unreachable->send();
    ASSERT_TRUE(waitFor([&] { return recorder.count(MailDispatcherStatus::Done) == 1; }));
    EXPECT_EQ(script->takeCalls(), (QStringList{"setup", "connect", "disconnect"}));
    EXPECT_EQ(recorder.reports.at(recorder.reports.size() - 2).code, 3);
    EXPECT_EQ(recorder.reports.at(recorder.reports.size() - 2).info, "err 9");
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
    dispatcher->send();
    ASSERT_TRUE(waitFor([&] { return recorder.count(MailDispatcherStatus::Done) == 2; }));

    const QString missing = Localizer::localizedString("SendErrors", "Attachment missing");
    std::vector<Report> errors;
    std::copy_if(recorder.reports.begin(), recorder.reports.end(), std::back_inserter(errors),
                 [](const Report &r) { return r.state == MailDispatcherStatus::Error; });
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
    EXPECT_EQ(script->takeCalls(), (QStringList{"setup", "connect", "disconnect", "setup", "connect", "disconnect"}));
    EXPECT_EQ(recorder.reports.back().state, MailDispatcherStatus::Done);
    EXPECT_EQ(recorder.reports.back().sent, 1);
    EXPECT_EQ(dispatcher->lastRecipient(), 0);
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
    EXPECT_EQ(recorder.count(MailDispatcherStatus::Error), 0);
    EXPECT_EQ(recorder.count(MailDispatcherStatus::MailSent), 0);
    EXPECT_EQ(script->takeCalls(), (QStringList{"setup", "connect", "send ann@a.test Hello Ann 0", "disconnect"}));

    // abort lets the message in progress finish: its error report comes
    // first, then the sent report, and no further row is tried.
    recorder.reports.clear();
    script->calls.clear();
    script->releaseSend = false;
    auto gentle = makeDispatcher();
    gentle->send();
    ASSERT_TRUE(waitFor([&] { return script->sendsInProgress == 1; }));
    gentle->abort();
    script->releaseSend = true;
    ASSERT_TRUE(waitFor([&] { return recorder.count(MailDispatcherStatus::Done) == 1; }));
    std::vector<int> states;
    for (const Report &r : recorder.reports)
        if (r.state != MailDispatcherStatus::Progress)
            states.push_back(r.state);
    EXPECT_EQ(states, (std::vector<int>{2, 3, 1}));
    EXPECT_EQ(script->takeCalls().filter("send").size(), 1);
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
