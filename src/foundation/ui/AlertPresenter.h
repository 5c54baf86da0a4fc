#pragma once

#include <QString>

#include <functional>

class QWidget;

// Everything the foundation shows the user passes through one presenter, so
// tests can put a recording one in place and never block on a dialog.
// Called on the main thread only; the free alert functions and the
// ErrorReporter class operations hand calls from other threads over.
class AlertPresenter {
public:
    virtual ~AlertPresenter() = default;

    // Application-modal; returns when the user has pressed the button.
    virtual void runAlertPanel(const QString &title, const QString &text) = 0;
    // Returns at once. Window-modal on the window, application-modal without one.
    virtual void beginAlertSheet(const QString &title, const QString &text, QWidget *window) = 0;
    // The same for news of a success, which is no warning.
    virtual void beginInformationSheet(const QString &title, const QString &text, QWidget *window);
    // Returns at once; the report window stays until the user closes it.
    // Without a window it is application-modal, with one a sheet on it.
    virtual void showErrorReport(const QString &text, QWidget *window) = 0;
    // Returns at once; done is told once whether the default button was
    // pressed (any other end is the other button). Window-modal on the
    // window, application-modal without one.
    virtual void beginQuestionSheet(const QString &title, const QString &text, const QString &defaultButton,
                                    const QString &otherButton, QWidget *window, std::function<void(bool)> done);

    [[nodiscard]] static AlertPresenter &current();
    // The presenter is not owned; nullptr puts the Qt one back.
    static void setCurrent(AlertPresenter *presenter);
};
