#include "AttachmentEditorModel.h"

#include "AttachmentManager.h"
#include "Database.h"
#include "SmartAttachment.h"

#include "NotificationCenter.h"

AttachmentEditorModel::AttachmentEditorModel(const Database *database)
{
    if (database)
        m_fieldNames = database->fieldNames();
}

void AttachmentEditorModel::editAttachment(std::shared_ptr<SmartAttachment> attachment)
{
    m_editedAttachment = std::move(attachment);
    if (!m_editedAttachment)
        return;
    m_rootDirectory = m_editedAttachment->rootFilePath();
    m_fileName = m_editedAttachment->fileName();
    const int action = m_editedAttachment->notFoundAction();
    m_selectedAction = action >= 0 && action <= UseDefaultFileAction ? action : NoAction;
    if (action == UseDefaultFileAction)
        m_defaultFile = m_editedAttachment->defaultFilePath();
}

void AttachmentEditorModel::setRootDirectory(const QString &path)
{
    if (!path.isEmpty())
        m_rootDirectory = path;
}

bool AttachmentEditorModel::notFoundActionChanged(int action)
{
    if (action == UseDefaultFileAction)
        return true;
    m_selectedAction = action;
    return false;
}

void AttachmentEditorModel::defaultFileChosen(const QString &path)
{
    if (path.isEmpty())
        return;
    m_defaultFile = path;
    m_selectedAction = UseDefaultFileAction;
}

AttachmentEditorModel::OkResult AttachmentEditorModel::okClicked(const RichText &fileName)
{
    m_fileName = fileName;
    if (m_rootDirectory.isEmpty())
        return OkResult::RootFolderMissing;
    if (m_selectedAction == UseDefaultFileAction && m_defaultFile.isEmpty())
        return OkResult::NoDefaultFile;

    std::shared_ptr<SmartAttachment> attachment = m_editedAttachment;
    if (attachment && m_attachmentManager && !m_attachmentManager->attachmentList().contains(AttachmentRef(attachment)))
        return OkResult::NoLongerListed;
    const bool creating = !attachment;
    if (creating)
        attachment = std::make_shared<SmartAttachment>();
    attachment->setFileName(fileName);
    attachment->setRootFilePath(m_rootDirectory);
    if (m_selectedAction != NoAction)
        attachment->setNotFoundAction(m_selectedAction);
    if (m_selectedAction == UseDefaultFileAction)
        attachment->setDefaultFilePath(m_defaultFile);
    if (!m_attachmentManager)
        return OkResult::Stored;
    if (creating)
        m_attachmentManager->addAttachment(attachment);
    else
        NotificationCenter::defaultCenter().postNotification(AttachmentManager::UpdateNotification,
                                                             m_attachmentManager);
    return OkResult::Stored;
}
