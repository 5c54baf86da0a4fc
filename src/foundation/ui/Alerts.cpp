#include "Alerts.h"

#include "AlertPresenter.h"
#include "Localizer.h"
#include "MainThread.h"

#include <QCoreApplication>
#include <QPointer>
#include <QWidget>

namespace {

const QString DefaultTable = QStringLiteral("Localized");

// Widgets live on the main thread; a sheet asked for elsewhere is shown
// there later, since the caller does not wait for it anyway.
void beginSheet(const QString &title, const QString &text, QWidget *window)
{
    if (MainThread::isMainThread()) {
        AlertPresenter::current().beginAlertSheet(title, text, window);
        return;
    }
    QPointer<QWidget> target(window);
    const bool hadWindow = window != nullptr;
    QMetaObject::invokeMethod(
        QCoreApplication::instance(),
        [title, text, target, hadWindow] {
            if (hadWindow && !target)
                return; // the window went while the sheet was on its way
            AlertPresenter::current().beginAlertSheet(title, text, target.data());
        },
        Qt::QueuedConnection);
}

void runPanel(const QString &title, const QString &text)
{
    MainThread::invokeAndWait([&] { AlertPresenter::current().runAlertPanel(title, text); });
}

} // namespace

void DoDisplayAlert(const QString &titleKey, const QString &textKey)
{
    DoDisplayAlert_Loc(DefaultTable, titleKey, textKey);
}

void DoDisplayAlert_Loc(const QString &table, const QString &titleKey, const QString &textKey)
{
    runPanel(Localizer::localizedString(table, titleKey), Localizer::localizedString(table, textKey));
}

void DoDisplayAlertSheet(const QString &titleKey, const QString &textKey, QWidget *window)
{
    DoDisplayAlertSheet_Loc(DefaultTable, titleKey, textKey, window);
}

void DoDisplayAlertSheet_Loc(const QString &table, const QString &titleKey, const QString &textKey, QWidget *window)
{
    beginSheet(Localizer::localizedString(table, titleKey), Localizer::localizedString(table, textKey), window);
}

void DoDisplayExtendedAlertSheet(const QString &titleKey, const QString &textKey, const QString &detailText,
                                 QWidget *window)
{
    // Joined, not formatted: the detail text may hold "%" of its own.
    const QString text = Localizer::localizedString(DefaultTable, textKey) + QStringLiteral("\n\n") + detailText;
    beginSheet(Localizer::localizedString(DefaultTable, titleKey), text, window);
}
