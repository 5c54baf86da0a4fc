#include "PreviewTab.h"

#include "MessageTabWidget.h"
#include "MyDocument.h"
#include "PreviewWebView.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

namespace {

QLabel *plainLabel(QWidget *parent)
{
    // Addresses come from the table: shown as text, never as markup.
    auto *label = new QLabel(parent);
    label->setTextFormat(Qt::PlainText);
    label->setTextInteractionFlags(Qt::TextSelectableByMouse);
    return label;
}

} // namespace

PreviewTab::PreviewTab(QWidget *parent)
    : QWidget(parent), m_layout(new QVBoxLayout(this)), m_recipientText(plainLabel(this)),
      m_addressNumText(plainLabel(this)), m_prevButton(new QPushButton(QStringLiteral("<"), this)),
      m_nextButton(new QPushButton(QStringLiteral(">"), this))
{
    auto *bar = new QHBoxLayout;
    bar->addWidget(m_prevButton);
    bar->addWidget(m_addressNumText);
    bar->addWidget(m_nextButton);
    bar->addSpacing(12);
    bar->addWidget(m_recipientText, 1);
    m_layout->addLayout(bar);
    m_layout->addStretch(1);
    connect(m_prevButton, &QPushButton::clicked, this, &PreviewTab::prevMessage);
    connect(m_nextButton, &QPushButton::clicked, this, &PreviewTab::nextMessage);
}

void PreviewTab::setDocument(MyDocument *document)
{
    m_document = document;
}

void PreviewTab::nextMessage()
{
    if (m_document && m_curMessage < m_document->database().entryCount() - 1)
        ++m_curMessage;
    willBeSelected();
}

void PreviewTab::prevMessage()
{
    if (m_curMessage > 0)
        --m_curMessage;
    willBeSelected();
}

void PreviewTab::willBeSelected()
{
    if (!m_document)
        return;
    // The message shown is the one being edited.
    if (MessageTabWidget *editor = m_document->messageTabWidget())
        editor->commitEdits();
    m_page = PreviewPageBuilder::build(m_document->database(), m_document->messageTab(),
                                       m_document->attachmentManager(), m_curMessage);
    m_curMessage = std::max(m_page.row, 0);
    m_recipientText->setText(m_page.address);
    m_addressNumText->setText(m_page.counter);
    if (!m_bodyTextView) {
        m_bodyTextView = new PreviewWebView(this);
        // In place of the stretch.
        delete m_layout->takeAt(1);
        m_layout->addWidget(m_bodyTextView, 1);
    }
    m_bodyTextView->showPage(m_page.html, m_page.localFolders);
    emit pageShown();
}
