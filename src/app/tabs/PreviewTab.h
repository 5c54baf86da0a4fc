#pragma once

// The preview tab: the message as one recipient gets it. For now a page
// that names what will be shown there.

#include "MainTabDelegate.h"

#include <QPointer>
#include <QWidget>

class MyDocument;

class PreviewTab : public QWidget, public TabItem {
    Q_OBJECT
public:
    explicit PreviewTab(QWidget *parent = nullptr);

    void setDocument(MyDocument *document);
    [[nodiscard]] MyDocument *document() const { return m_document; }

    void willBeSelected() override {}

    // The recipient whose message is to be shown (a row of the recipient table).
    void selectMessage(int row) { m_selectedRow = row; }
    [[nodiscard]] int selectedMessage() const { return m_selectedRow; }

private:
    QPointer<MyDocument> m_document;
    int m_selectedRow = 0;
};
