#pragma once

#include "AlertPresenter.h"
#include "MainThread.h"

#include <QList>
#include <QPointer>
#include <QWidget>

#include <functional>

// Stands in for the dialogs while it lives: records what would be shown and
// returns at once, as if the user had pressed the button.
class RecordingAlertPresenter : public AlertPresenter {
public:
    enum Kind { Panel, Sheet, Report, Question, Information };
    struct Shown {
        Kind kind;
        QString title;
        QString text;
        QPointer<QWidget> window;
        bool onMainThread;
    };

    RecordingAlertPresenter() { AlertPresenter::setCurrent(this); }
    ~RecordingAlertPresenter() override { AlertPresenter::setCurrent(nullptr); }

    void runAlertPanel(const QString &title, const QString &text) override { record({Panel, title, text, nullptr, {}}); }
    void beginAlertSheet(const QString &title, const QString &text, QWidget *window) override
    {
        record({Sheet, title, text, window, {}});
    }
    void beginInformationSheet(const QString &title, const QString &text, QWidget *window) override
    {
        record({Information, title, text, window, {}});
    }
    void showErrorReport(const QString &text, QWidget *window) override { record({Report, {}, text, window, {}}); }
    // Answered at once with questionAnswer.
    void beginQuestionSheet(const QString &title, const QString &text, const QString &, const QString &,
                            QWidget *window, std::function<void(bool)> done) override
    {
        record({Question, title, text, window, {}});
        done(questionAnswer);
    }

    QList<Shown> shown;
    bool questionAnswer = true;
    // Runs after each record; may throw, as a failing window would.
    std::function<void()> afterShowing;

private:
    void record(Shown item)
    {
        item.onMainThread = MainThread::isMainThread();
        shown.append(item);
        if (afterShowing)
            afterShowing();
    }
};
