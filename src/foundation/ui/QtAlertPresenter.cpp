#include "QtAlertPresenter.h"

#include "AlertDialog.h"
#include "ErrorReporter.h"
#include "Sheets.h"

#include <QWidget>

void QtAlertPresenter::runAlertPanel(const QString &title, const QString &text)
{
    AlertDialog dialog(title, text);
    dialog.setWindowModality(Qt::ApplicationModal);
    dialog.exec();
}

void QtAlertPresenter::beginAlertSheet(const QString &title, const QString &text, QWidget *window)
{
    // The sheet has no end handler: it owns itself and goes when dismissed.
    showAsSheet(new AlertDialog(title, text, window ? window->window() : nullptr));
}

void QtAlertPresenter::showErrorReport(const QString &text, QWidget *window)
{
    auto *reporter = new ErrorReporter(text);
    if (window)
        reporter->displayAsSheetForWindow(window);
    else
        reporter->runModal();
}
