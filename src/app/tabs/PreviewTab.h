#pragma once

// The preview tab: the message exactly as one recipient gets it, stepped
// through the rows with next and previous. The page is built anew each
// time the tab is shown or the row changes (PreviewPageBuilder) and shown
// in a web view that loads nothing from the network (PreviewWebView), made
// the first time the tab is shown.
//
// Main thread only.

#include "MainTabDelegate.h"
#include "PreviewPageBuilder.h"

#include <QPointer>
#include <QWidget>

class MyDocument;
class PreviewWebView;
class QLabel;
class QPushButton;
class QVBoxLayout;

class PreviewTab : public QWidget, public TabItem {
    Q_OBJECT
public:
    explicit PreviewTab(QWidget *parent = nullptr);

    void setDocument(MyDocument *document);
    [[nodiscard]] MyDocument *document() const { return m_document; }

    // The row shown the next time the tab is (the recipient tab's preview
    // of its first selected row).
    void selectMessage(int row) { m_curMessage = row; }
    [[nodiscard]] int selectedMessage() const { return m_curMessage; }
    void nextMessage();
    void prevMessage();
    void willBeSelected() override;

    [[nodiscard]] const PreviewPage &page() const { return m_page; }
    // Null until the tab was first shown.
    [[nodiscard]] PreviewWebView *bodyTextView() const { return m_bodyTextView; }
    [[nodiscard]] QLabel *recipientText() const { return m_recipientText; }
    [[nodiscard]] QLabel *addressNumText() const { return m_addressNumText; }

signals:
    // The page was handed to the view.
    void pageShown();

private:
    QPointer<MyDocument> m_document;
    int m_curMessage = 0;
    PreviewPage m_page;
    QVBoxLayout *m_layout;
    QLabel *m_recipientText;
    QLabel *m_addressNumText;
    QPushButton *m_prevButton;
    QPushButton *m_nextButton;
    PreviewWebView *m_bodyTextView = nullptr;
};
