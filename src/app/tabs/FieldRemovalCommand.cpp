#include "FieldRemovalCommand.h"

#include "RecipientCommands.h"

FieldRemovalCommand::FieldRemovalCommand(RecipientCommands *owner, RemovedField removed)
    : m_owner(owner), m_removed(std::move(removed))
{
}

void FieldRemovalCommand::undo()
{
    m_done = false;
    // With no slot to come back to the step is dropped: kept, it would fail
    // again on every later undo and block the steps before it.
    if (m_owner && !m_owner->restoreField(this, m_removed))
        setObsolete(true);
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
