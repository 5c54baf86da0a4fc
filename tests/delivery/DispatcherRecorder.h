#pragma once

// What a send engine reported to its delegate, for the engine's tests and
// benchmarks; and a wait for a condition that keeps the main thread's
// events going, where the engine's reports arrive.

#include "MailDispatcher.h"
#include "MainThread.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QThread>

#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <iterator>
#include <vector>

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
    std::vector<Report> only(int state) const
    {
        std::vector<Report> found;
        std::copy_if(reports.begin(), reports.end(), std::back_inserter(found),
                     [&](const Report &r) { return r.state == state; });
        return found;
    }
    // The states without the progress reports.
    std::vector<int> steps() const
    {
        std::vector<int> states;
        for (const Report &r : reports)
            if (r.state != MailDispatcherStatus::Progress)
                states.push_back(r.state);
        return states;
    }
    std::vector<Report> reports;
    std::function<void(const MailDispatcherStatus &)> onReport;
};

// False when the condition did not come true within the limit.
inline bool waitFor(const std::function<bool()> &condition, int limitMs = 20000)
{
    QElapsedTimer timer;
    timer.start();
    while (!condition()) {
        if (timer.elapsed() > limitMs)
            return false;
        QCoreApplication::processEvents();
        QThread::yieldCurrentThread();
    }
    return true;
}
