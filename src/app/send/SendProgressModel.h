#pragma once

// What the progress sheet shows, apart from its widgets: the count text,
// the bar for the whole run and the bar for the message being written.

#include <QString>

class SendProgressModel {
public:
    // The message bar counts in thousandths of the message.
    static constexpr int MessageBarMaximum = 1000;

    struct Display {
        QString countText;
        int totalMaximum = 1;
        int totalValue = 0;
        int messageMaximum = MessageBarMaximum; // 0 when indeterminate (Qt's busy bar)
        int messageValue = 0;
    };

    void setMessageCount(int count) { m_messageCount = count; }
    void setCurrentMessage(int current) { m_currentMessage = current; }
    void setMessageCompletition(double completion) { m_messageCompletition = completion; }
    void setIndeterminate(bool indeterminate) { m_indeterminate = indeterminate; }
    [[nodiscard]] int messageCount() const { return m_messageCount; }
    [[nodiscard]] int currentMessage() const { return m_currentMessage; }
    [[nodiscard]] bool indeterminate() const { return m_indeterminate; }

    [[nodiscard]] Display display() const;

private:
    int m_messageCount = 0;
    int m_currentMessage = 0;
    double m_messageCompletition = 0.0;
    bool m_indeterminate = false;
};
