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

private:
    QPointer<MyDocument> m_document;
};
