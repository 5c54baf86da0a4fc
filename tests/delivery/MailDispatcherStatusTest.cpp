// The send run's status record: copies stay apart from the record the engine
// goes on writing, and an error report without a text keeps the last one.
#include <gtest/gtest.h>

#include "AppException.h"
#include "MailDispatcherStatus.h"

#include <atomic>
#include <thread>

TEST(MailDispatcherStatus, ErrorTextAndRecipientGuards)
{
    MailDispatcherStatus status;
    // An error report without a text (engine error 1) carries the previous one.
    status.setErrorCode(2);
    status.setErrorInfo(QStringLiteral("550 no such user"));
    status.setErrorCode(1);
    status.setErrorInfo(QString());
    const MailDispatcherStatus report(status);
    EXPECT_EQ(report.errorInfo(), "550 no such user");
    status.setErrorInfo(QStringLiteral(""));
    EXPECT_EQ(status.errorInfo(), "");

    status.setCurrentRecipient(QStringLiteral("a@alpha.test"));
    EXPECT_THROW(status.setCurrentRecipient(QString()), AppException);
    EXPECT_EQ(status.currentRecipient(), "a@alpha.test");
    EXPECT_EQ(report.currentRecipient(), "");
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
        MailDispatcherStatus copy(status);
        EXPECT_TRUE(copy.currentRecipient().isEmpty() || copy.currentRecipient().endsWith("@alpha.test"));
        EXPECT_EQ(copy.state(), MailDispatcherStatus::Done);
        copy = status;
        const MailDispatcherStatus &same = copy; // assignment to itself must not lock twice
        copy = same;
        copy.setCurrentRecipient(QStringLiteral("mine"));
    }
    stop = true;
    worker.join();
}
