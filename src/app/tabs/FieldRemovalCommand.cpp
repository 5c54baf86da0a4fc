#include "FieldRemovalCommand.h"

#include "RecipientCommands.h"

#include "Localizer.h"

FieldRemovalCommand::FieldRemovalCommand(RecipientCommands *owner, RemovedField removed)
    : m_owner(owner), m_removed(std::move(removed))
{
    setTextForField(m_removed.name);
}

void FieldRemovalCommand::setTextForField(const QString &name)
{
    setText(name.isEmpty() ? Localizer::localizedString("Localized-Database", "STEP_REMOVE_UNNAMED_FIELD")
                           : Localizer::localizedString("Localized-Database", "STEP_REMOVE_FIELD").arg(name));
}

void FieldRemovalCommand::undo()
{
    m_done = false;
    // With no slot to come back to the step is dropped: kept, it would fail
    // again on every later undo and block the steps before it.
    if (m_owner && !m_owner->restoreField(this, m_removed))
        setObsolete(true);
    else if (m_owner)
        setTextForField(m_owner->database()->fieldNameForColumnID(m_removed.columnID));
}

void FieldRemovalCommand::redo()
{
    // Pushed after the removal was made.
    if (m_done)
        return;
    m_done = true;
    if (m_owner)
        m_owner->takeField(m_removed.columnID, m_removed);
}
