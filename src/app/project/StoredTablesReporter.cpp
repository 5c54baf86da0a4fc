#include "StoredTablesReporter.h"

#include "QuestionPresenter.h"

#include "AlertPresenter.h"
#include "DatabaseManager.h"
#include "Localizer.h"
#include "NotificationNames.h"
#include "PlainArrayDatabase.h"

#include <QTimer>

StoredTablesReporter::StoredTablesReporter(DatabaseManager &registry, WindowProvider window, QObject *parent)
    : QObject(parent), m_registry(registry), m_window(std::move(window))
{
    m_writeFailures = NotificationCenter::defaultCenter().addObserver(
        NotificationNames::TableStoreWriteFailed, m_registry.mainUserDatabase().get(), [this](const Notification &) {
            // A command that writes several files says so once.
            if (m_failurePending)
                return;
            m_failurePending = true;
            QTimer::singleShot(0, this, &StoredTablesReporter::showWriteFailure);
        });
}

void StoredTablesReporter::showWriteFailure()
{
    m_failurePending = false;
    const std::shared_ptr<PlainArrayDatabase> &store = m_registry.mainUserDatabase();
    const QString reason = store ? store->lastWriteError() : QString();
    if (reason.isEmpty())
        return; // written meanwhile
    AlertPresenter::current().beginAlertSheet(Localizer::localizedString("Project", "Stored Table Not Saved"), reason,
                                              m_window ? m_window() : nullptr);
}

void StoredTablesReporter::reportStartupProblems()
{
    const QStringList problems = m_registry.startupProblems();
    if (problems.isEmpty())
        return;
    AlertPresenter::current().beginAlertSheet(Localizer::localizedString("Project", "Stored Tables"),
                                              problems.join(QStringLiteral("\n\n")), m_window ? m_window() : nullptr);
}

bool StoredTablesReporter::saveBeforeQuit()
{
    const std::shared_ptr<PlainArrayDatabase> &store = m_registry.mainUserDatabase();
    if (!store || !store->hasUnsavedChanges() || store->saveUnsavedChanges())
        return true;
    const QString question = store->lastWriteError() + QStringLiteral("\n\n") +
                             Localizer::localizedString("Project", "If you quit now, these changes are lost.");
    return QuestionPresenter::current().confirm(m_window ? m_window() : nullptr,
                                                Localizer::localizedString("Project", "Stored Table Not Saved"),
                                                question, Localizer::localizedString("Project", "Quit Anyway"));
}
