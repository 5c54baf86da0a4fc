#include "MessageTabWidget.h"

#include "BodyTextView.h"
#include "RichTextBridge.h"
#include "SingleLineTextView.h"

#include "MessageTab.h"

#include "Localizer.h"
#include "NotificationNames.h"
#include "Settings.h"

#include <QFormLayout>
#include <QLabel>
#include <QScopedValueRollback>
#include <QVBoxLayout>

namespace {

// What the body is shown and typed in where its text names no font: the
// fixed-pitch font the message gives a plain or HTML-source body, else the
// default message font. Typed text takes it on, so the body reads back in it.
FontDescriptor bodyViewFont(const MessageTab &message)
{
    if (!message.bodyIsRichText() && message.bodyFont())
        return *message.bodyFont();
    return Settings::defaultMessageFont();
}

} // namespace

MessageTabWidget::MessageTabWidget(QWidget *parent)
    : QWidget(parent), m_subjectView(new SingleLineTextView(this)), m_bodyView(new BodyTextView(this))
{
    auto *layout = new QVBoxLayout(this);
    auto *subjectRow = new QFormLayout;
    subjectRow->addRow(new QLabel(Localizer::localizedString("Localized-Document", "Subject:"), this), m_subjectView);
    m_subjectView->setFixedHeight(m_subjectView->fontMetrics().height() * 2);
    layout->addLayout(subjectRow);
    layout->addWidget(m_bodyView, 1);
    m_subjectView->useTagTextStorage();
    m_bodyView->useTagTextStorage();
    connect(m_subjectView, &QTextEdit::textChanged, this, [this] { viewEdited(true); });
    connect(m_bodyView, &QTextEdit::textChanged, this, [this] { viewEdited(false); });
}

MessageTabWidget::~MessageTabWidget()
{
    setMessageTab(nullptr);
}

void MessageTabWidget::setMessageTab(MessageTab *messageTab)
{
    if (m_messageTab) {
        m_messageTab->subjectStorage().setEditObserver({});
        m_messageTab->textStorage().setEditObserver({});
    }
    m_messageTab = messageTab;
    if (!messageTab)
        return;
    messageTab->subjectStorage().setEditObserver([this](auto...) { showSubject(); });
    messageTab->textStorage().setEditObserver([this](auto...) { showBody(); });
    showSubject();
    showBody();
}

void MessageTabWidget::showMessage()
{
    showSubject();
    showBody();
}

void MessageTabWidget::showSubject()
{
    if (m_showing || !m_messageTab)
        return;
    const QScopedValueRollback guard(m_showing, true);
    m_subjectView->setAttributedString(m_messageTab->subjectString());
    m_subjectEdited = false;
}

void MessageTabWidget::showBody()
{
    if (m_showing || !m_messageTab)
        return;
    const QScopedValueRollback guard(m_showing, true);
    // Following the message's form is no change of mode: the tags keep the
    // fonts they were stored with.
    m_bodyView->setAcceptRichText(m_messageTab->bodyIsRichText());
    const FontDescriptor font = bodyViewFont(*m_messageTab);
    m_bodyView->setFont(RichTextBridge::qFont(font));
    m_bodyView->setAttributedString(m_messageTab->bodyString());
    if (m_bodyView->document()->isEmpty()) {
        const TextAttributes typing{{TextAttributeName::Font, QVariant::fromValue(font)}};
        m_bodyView->setCurrentCharFormat(RichTextBridge::charFormat(typing));
    }
    m_bodyEdited = false;
}

void MessageTabWidget::viewEdited(bool subject)
{
    if (m_showing)
        return;
    (subject ? m_subjectEdited : m_bodyEdited) = true;
    emit documentEdited();
}

void MessageTabWidget::commitEdits()
{
    if (!m_messageTab)
        return;
    const QScopedValueRollback guard(m_showing, true);
    // Only what the user changed: the stored text stays exactly as read otherwise.
    if (m_subjectEdited)
        m_messageTab->setSubjectText(m_subjectView->attributedString());
    if (m_bodyEdited)
        m_messageTab->setBodyText(m_bodyView->attributedString());
    m_subjectEdited = false;
    m_bodyEdited = false;
}

void MessageTabWidget::fieldNameChangedNotification(const QVariantMap &userInfo)
{
    const QString oldName = userInfo.value(NotificationNames::DatabaseOldNameKey).toString();
    const QString newName = userInfo.value(NotificationNames::DatabaseNewNameKey).toString();
    if (!userInfo.contains(NotificationNames::DatabaseOldNameKey)
        || !userInfo.contains(NotificationNames::DatabaseNewNameKey))
        return;
    for (TagTextView *view : {static_cast<TagTextView *>(m_subjectView), static_cast<TagTextView *>(m_bodyView)}) {
        view->tagNameChanged(oldName, newName);
        view->reloadTagData();
    }
}
