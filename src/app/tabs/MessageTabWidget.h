#pragma once

// The message tab's page: the subject and body views of the document's
// message. The message shows in the views whenever it changes; while the
// user edits, the views hold the text, and commitEdits() hands it back
// before the message is saved, printed or sent.
//
// Main thread only.

#include "MainTabDelegate.h"

#include <QVariantMap>
#include <QWidget>

class BodyTextView;
class MessageTab;
class SingleLineTextView;

class MessageTabWidget : public QWidget, public TabItem {
    Q_OBJECT
public:
    explicit MessageTabWidget(QWidget *parent = nullptr);
    ~MessageTabWidget() override;

    // Not owned; must outlive the widget or be reset with nullptr.
    void setMessageTab(MessageTab *messageTab);
    [[nodiscard]] MessageTab *messageTab() const { return m_messageTab; }
    [[nodiscard]] SingleLineTextView *subjectView() const { return m_subjectView; }
    [[nodiscard]] BodyTextView *bodyView() const { return m_bodyView; }

    // The views follow every edit of the message's texts, but not a change
    // of its form: after reading a message, show it again whole.
    void showMessage();
    // The user's edits into the message.
    void commitEdits();
    // A field was renamed: the tags in the views follow.
    void fieldNameChangedNotification(const QVariantMap &userInfo);

    void willBeSelected() override {}

signals:
    // The user changed the subject or the body.
    void documentEdited();

private:
    void showSubject();
    void showBody();
    void viewEdited(bool subject);

    MessageTab *m_messageTab = nullptr;
    SingleLineTextView *m_subjectView;
    BodyTextView *m_bodyView;
    bool m_showing = false;
    bool m_subjectEdited = false;
    bool m_bodyEdited = false;
};
