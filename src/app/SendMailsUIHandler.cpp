#include "SendMailsUIHandler.h"

#include "FilesTab.h"
#include "LogTab.h"

#include "MailDispatcher.h"

SendMailsUIHandler::SendMailsUIHandler(QObject *parent)
    : QObject(parent)
{
}

SendMailsUIHandler::~SendMailsUIHandler()
{
    // The run copied what it sends when it started and keeps itself alive
    // until its worker ends; it only has to stop reporting here.
    if (m_run) {
        m_run->setDelegate(nullptr);
        m_run->abortNow();
    }
}

void SendMailsUIHandler::setAttachmentTab(FilesTab *attachmentTab)
{
    m_attachmentTab = attachmentTab;
}

void SendMailsUIHandler::setLogTab(LogTab *logTab)
{
    m_logTab = logTab;
}

FilesTab *SendMailsUIHandler::attachmentTab() const
{
    return m_attachmentTab;
}

LogTab *SendMailsUIHandler::logTab() const
{
    return m_logTab;
}

void SendMailsUIHandler::initiateSend()
{
}

void SendMailsUIHandler::setRun(std::shared_ptr<MailDispatcher> run)
{
    m_run = std::move(run);
}

void SendMailsUIHandler::abortAndWait()
{
    if (!m_run)
        return;
    m_run->setDelegate(nullptr);
    m_run->abortNow();
    // Called at quit, when every run is to end before the process does.
    MailDispatcher::abortAndJoinAll();
    m_run.reset();
}
