#pragma once

// The document's send run controller, as far as the document and its
// window need it today: the parts a run is made of, whether a run is going
// on, and stopping it at quit. The run itself is built by the send sheet,
// which hands the running dispatcher over here.
//
// Main thread only.

#include <QObject>
#include <QPointer>

#include <memory>

class FilesTab;
class LogTab;
class MailDispatcher;
class MessageTab;
class MyDocument;

class SendMailsUIHandler : public QObject {
    Q_OBJECT
public:
    explicit SendMailsUIHandler(QObject *parent = nullptr);
    ~SendMailsUIHandler() override;

    void setDocument(MyDocument *document) { m_document = document; }
    void setMessageTab(MessageTab *messageTab) { m_messageTab = messageTab; }
    void setAttachmentTab(FilesTab *attachmentTab);
    void setLogTab(LogTab *logTab);
    [[nodiscard]] MyDocument *document() const { return m_document; }
    [[nodiscard]] MessageTab *messageTab() const { return m_messageTab; }
    [[nodiscard]] FilesTab *attachmentTab() const;
    [[nodiscard]] LogTab *logTab() const;

    // Whether a run can be started from the window; false until the send
    // sheet exists.
    [[nodiscard]] bool canInitiateSend() const { return false; }
    // The send button: opens the send sheet once there is one.
    void initiateSend();

    // The run that is going on; null when it ended.
    void setRun(std::shared_ptr<MailDispatcher> run);
    [[nodiscard]] bool isSending() const { return m_run != nullptr; }
    // Cuts the run short and waits for its worker to end.
    void abortAndWait();

private:
    MyDocument *m_document = nullptr;
    MessageTab *m_messageTab = nullptr;
    QPointer<FilesTab> m_attachmentTab;
    QPointer<LogTab> m_logTab;
    std::shared_ptr<MailDispatcher> m_run;
};
