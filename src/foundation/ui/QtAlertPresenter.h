#pragma once

#include "AlertPresenter.h"

// Shows alerts as AlertDialogs and error reports as ErrorReporter windows.
class QtAlertPresenter : public AlertPresenter {
public:
    void runAlertPanel(const QString &title, const QString &text) override;
    void beginAlertSheet(const QString &title, const QString &text, QWidget *window) override;
    void showErrorReport(const QString &text, QWidget *window) override;
};
