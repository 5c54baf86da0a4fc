// The send run's status record: its defaults, its two guarded setters, and
// copies that stay apart from the record the engine goes on writing.
#include <gtest/gtest.h>

#include "AppException.h"
#include "MailDispatcherStatus.h"

#include <atomic>
#include <thread>

TEST(MailDispatcherStatus, NewRecordAndCopies)
{
    // Empty, not missing: receivers show them as they are.
    const MailDispatcherStatus fresh;
    EXPECT_FALSE(fresh.currentRecipient().isNull());
    EXPECT_FALSE(fresh.errorInfo().isNull());

    // Each copy belongs to its holder alone.
    MailDispatcherStatus status;
    status.setMessageCount(12);
    status.setCurrentRecipient(QStringLiteral("a@alpha.test"));
    status.setSentMailsCounter(3);
    MailDispatcherStatus copy(status);
    status.setCurrentRecipient(QStringLiteral("b@beta.test"));
    copy.setSentMailsCounter(99);
    EXPECT_EQ(copy.currentRecipient(), "a@alpha.test");
    EXPECT_EQ(copy.messageCount(), 12);
    EXPECT_EQ(status.sentMailsCounter(), 3);
    copy = status;
    EXPECT_EQ(copy.currentRecipient(), "b@beta.test");
    EXPECT_EQ(copy.sentMailsCounter(), 3);
    const MailDispatcherStatus &same = copy;
    copy = same;
    EXPECT_EQ(copy.messageCount(), 12);
}

TEST(MailDispatcherStatus, ErrorTextAndRecipientGuards)
{
    MailDispatcherStatus status;
    // An error report without a text (engine error 1) carries the previous one.
    status.setErrorCode(1);
    status.setErrorInfo(QString());
    EXPECT_EQ(MailDispatcherStatus(status).errorInfo(), "");
    status.setErrorCode(2);
    status.setErrorInfo(QStringLiteral("550 no such user"));
    status.setErrorCode(1);
    status.setErrorInfo(QString());
    const MailDispatcherStatus report(status);
    EXPECT_EQ(report.errorCode(), 1);
    EXPECT_EQ(report.errorInfo(), "550 no such user");
    status.setErrorInfo(QStringLiteral(""));
    EXPECT_EQ(status.errorInfo(), "");

    status.setCurrentRecipient(QStringLiteral("a@alpha.test"));
    try {
        status.setCurrentRecipient(QString());
        ADD_FAILURE() << "a missing recipient was taken";
    } catch (const AppException &e) {
        EXPECT_EQ(e.name(), ExceptionNames::InvalidArgument);
        EXPECT_EQ(e.reason(), "current recipient may not be nil");
    }
    EXPECT_EQ(status.currentRecipient(), "a@alpha.test");
    status.setCurrentRecipient(QStringLiteral(""));
    EXPECT_EQ(status.currentRecipient(), "");
}

TEST(MailDispatcherStatus, CopiesWhileTheWorkerWrites)
{
    // The engine's worker writes while reports are copied and abort writes
    // from the main thread; the thread checker runs this in CI.
    MailDispatcherStatus status;
    std::atomic<bool> stop{false};
    std::thread worker([&] {
        for (int i = 0; !stop; ++i) {
            status.setCurrentMessage(i);
            status.setCurrentRecipient(QStringLiteral("r%1@alpha.test").arg(i));
            status.setErrorInfo(QStringLiteral("error %1").arg(i));
        }
    });
    for (int i = 0; i < 2000; ++i) {
        status.setState(MailDispatcherStatus::Done);
        const MailDispatcherStatus copy(status);
        EXPECT_TRUE(copy.currentRecipient().isEmpty() || copy.currentRecipient().endsWith("@alpha.test"));
        EXPECT_EQ(copy.state(), MailDispatcherStatus::Done);
    }
    stop = true;
    worker.join();
}
