#include "AppException.h"
#include "MainThread.h"

#include <QCoreApplication>
#include <QThread>

#include <gtest/gtest.h>

TEST(AppException, errorDescriptionShowsDetailsOnlyWithAStackTrace)
{
    AppException withTrace = AppException::unexpectedClass(QStringLiteral("(1, 2)"));
    ASSERT_FALSE(withTrace.backtrace().isEmpty()) << "a backtrace is captured when the exception is made";
    EXPECT_TRUE(withTrace.errorDescription().endsWith(QStringLiteral("\n\nDetails:\n(1, 2)")));
    EXPECT_TRUE(withTrace.errorDescription().contains(withTrace.backtrace()));

    AppException plain(QStringLiteral("X"), QStringLiteral("went wrong"));
    plain.setBacktrace(QStringLiteral("frame 0"));
    EXPECT_EQ(plain.errorDescription(), QStringLiteral("Reason:\nwent wrong\n\nStack trace:\nframe 0"));

    AppException noTrace = AppException::unexpectedClass(QStringLiteral("v"));
    noTrace.setBacktrace(QString());
    EXPECT_EQ(noTrace.errorDescription(), QStringLiteral("Object type is of unexpected class: v"))
        << "without a stack trace only the reason is shown, even with details";
}

TEST(AppException, backtraceNamesTheThrowingFunction)
{
    try {
        throw AppException(QStringLiteral("N"), QStringLiteral("r"));
    } catch (const AppException &e) {
        EXPECT_TRUE(e.backtrace().contains(QStringLiteral("AppException_backtraceNamesTheThrowingFunction")))
            << qPrintable(e.backtrace());
        EXPECT_STREQ(e.what(), "N: r");
    }
}

TEST(MainThread, runsDirectlyOnTheMainThreadAndBlocksFromOthers)
{
    bool ranDirectly = false;
    MainThread::invokeAndWait([&] { ranDirectly = true; });
    EXPECT_TRUE(ranDirectly);

    QThread *ranOn = nullptr;
    bool workerSawResult = false;
    QThread *worker = QThread::create([&] {
        MainThread::invokeAndWait([&] { ranOn = QThread::currentThread(); });
        workerSawResult = ranOn != nullptr;
    });
    worker->start();
    while (!worker->wait(5))
        QCoreApplication::processEvents();
    EXPECT_EQ(ranOn, QCoreApplication::instance()->thread());
    EXPECT_TRUE(workerSawResult) << "the worker waits until the work has run";
    delete worker;
}
