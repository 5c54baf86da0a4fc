#include "NotificationCenter.h"

#include <QThread>

#include <gtest/gtest.h>

#include <optional>

namespace {
const QString kName = QStringLiteral("Test->Changed");
}

TEST(NotificationCenter, deliversByNameAndSender)
{
    NotificationCenter center;
    int a = 0, b = 0;
    QStringList seen;
    auto byA = center.addObserver(kName, &a, [&](const Notification &n) { seen << QStringLiteral("a:") + n.userInfo.value("k").toString(); });
    auto any = center.addObserver(kName, nullptr, [&](const Notification &) { seen << QStringLiteral("any"); });
    auto all = center.addObserver(QString(), nullptr, [&](const Notification &n) { seen << QStringLiteral("all:") + n.name; });

    center.postNotification(kName, &a, {{"k", "1"}});
    center.postNotification(kName, &b);
    center.postNotification(QStringLiteral("Other"), &a);
    EXPECT_EQ(seen, (QStringList{"a:1", "any", "all:Test->Changed", "any", "all:Test->Changed", "all:Other"}));
}

TEST(NotificationCenter, observerGoesAwayWithItsHandle)
{
    NotificationCenter center;
    int calls = 0;
    {
        auto handle = center.addObserver(kName, nullptr, [&](const Notification &) { ++calls; });
        center.postNotification(kName, nullptr);
        auto moved = std::move(handle);
        EXPECT_FALSE(handle.isActive());
        center.postNotification(kName, nullptr);
    }
    center.postNotification(kName, nullptr);
    EXPECT_EQ(calls, 2);
    EXPECT_EQ(center.observerCount(), 0);
}

TEST(NotificationCenter, observersRemovedOrAddedDuringDeliveryAreNotCalled)
{
    NotificationCenter center;
    std::optional<NotificationCenter::Observation> removed, late;
    int removedCalls = 0, lateCalls = 0;
    auto first = center.addObserver(kName, nullptr, [&](const Notification &) {
        removed.reset();
        if (!late)
            late = center.addObserver(kName, nullptr, [&](const Notification &) { ++lateCalls; });
    });
    removed = center.addObserver(kName, nullptr, [&](const Notification &) { ++removedCalls; });
    center.postNotification(kName, nullptr);
    EXPECT_EQ(removedCalls + lateCalls, 0);
    center.postNotification(kName, nullptr);
    EXPECT_EQ(lateCalls, 1);
}

TEST(NotificationCenter, deliveryHappensOnThePostersThread)
{
    NotificationCenter center;
    QThread *deliveredOn = nullptr;
    auto handle = center.addObserver(kName, nullptr, [&](const Notification &) { deliveredOn = QThread::currentThread(); });
    QThread *worker = QThread::create([&] { center.postNotification(kName, nullptr); });
    worker->start();
    worker->wait();
    EXPECT_EQ(deliveredOn, worker);
    delete worker;
}
