#include "ActionGuard.h"
#include "AppException.h"
#include "ErrorReporter.h"
#include "RecordingAlertPresenter.h"

#include <QPushButton>
#include <QTest>
#include <QThread>
#include <QTimer>

#include <gtest/gtest.h>

#include <stdexcept>

TEST(ActionGuard, reportsWhateverAnActionThrowsAndSaysWhetherItFinished)
{
    RecordingAlertPresenter presenter;
    QWidget window;
    bool ran = false;
    EXPECT_TRUE(ActionGuard::run([&] { ran = true; }));
    EXPECT_TRUE(ran);
    EXPECT_TRUE(presenter.shown.isEmpty());

    EXPECT_FALSE(ActionGuard::run([] { throw AppException::unexpectedClass(QStringLiteral("{x = 1}")); }, &window));
    EXPECT_FALSE(ActionGuard::run([] { throw std::out_of_range("index 7 out of range"); }));
    EXPECT_FALSE(ActionGuard::run([] { throw QStringLiteral("not an exception at all"); }));
    // How each kind is described is the error reporter's business.
    ASSERT_EQ(presenter.shown.size(), 3);
    EXPECT_EQ(presenter.shown[0].window, &window) << "shown as a sheet on the action's window";
    EXPECT_FALSE(presenter.shown[2].text.isEmpty());
}

TEST(ActionGuard, exceptionsInEventHandlersNeverReachTheEventLoop)
{
    RecordingAlertPresenter presenter;
    QPushButton button(QStringLiteral("Remove field"));
    QObject::connect(&button, &QPushButton::clicked, [&button] {
        ActionGuard::run([] { throw std::runtime_error("from a click"); }, &button);
    });
    button.show();
    QTest::mouseClick(&button, Qt::LeftButton);
    QTimer::singleShot(0, [] { ActionGuard::run([] { throw AppException(QStringLiteral("N"), QStringLiteral("from a timer")); }); });
    ASSERT_TRUE(QTest::qWaitFor([&] { return presenter.shown.size() == 2; }, 5000));
    EXPECT_EQ(presenter.shown[0].text, QStringLiteral("from a click"));
    EXPECT_EQ(presenter.shown[0].window, &button);
    EXPECT_TRUE(presenter.shown[1].text.contains(QStringLiteral("from a timer")));
}

TEST(ActionGuard, aReportThatFailsIsNeitherReportedAgainNorLetThrough)
{
    RecordingAlertPresenter presenter;
    presenter.afterShowing = [] { throw std::runtime_error("the report window failed"); };
    EXPECT_FALSE(ActionGuard::run([] { throw std::runtime_error("first"); }));
    EXPECT_EQ(presenter.shown.size(), 1);

    // Showing the report runs an action that fails too: logged, not shown.
    presenter.afterShowing = [] { ActionGuard::run([] { throw std::runtime_error("while reporting"); }); };
    EXPECT_FALSE(ActionGuard::run([] { throw std::runtime_error("second"); }));
    ASSERT_EQ(presenter.shown.size(), 2);
    EXPECT_EQ(presenter.shown[1].text, QStringLiteral("second"));

    presenter.afterShowing = nullptr;
    EXPECT_FALSE(ActionGuard::run([] { throw std::runtime_error("third"); }));
    EXPECT_EQ(presenter.shown.size(), 3) << "reporting works again afterwards";
}

TEST(ActionGuard, reportsFromAWorkerThreadAreShownOnTheMainThread)
{
    RecordingAlertPresenter presenter;
    QThread *worker = QThread::create([] { ActionGuard::run([] { throw std::runtime_error("on a worker"); }); });
    worker->start();
    ASSERT_TRUE(QTest::qWaitFor([&] { return !presenter.shown.isEmpty(); }, 5000));
    ASSERT_TRUE(worker->wait(5000));
    delete worker;
    EXPECT_TRUE(presenter.shown[0].onMainThread);
    EXPECT_EQ(presenter.shown[0].text, QStringLiteral("on a worker"));
}
