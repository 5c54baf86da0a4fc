#include "LogTab.h"

#include "RichTextBridge.h"
#include "Values.h"

#include <QTextEdit>
#include <QVBoxLayout>

LogTab::LogTab(QWidget *parent)
    : QWidget(parent), m_textView(new QTextEdit(this))
{
    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(m_textView);
    m_textView->setReadOnly(true);
}

RichText LogTab::logText() const
{
    return RichTextBridge::documentText(m_textView->document());
}

void LogTab::setLogText(const RichText &text)
{
    RichTextBridge::setDocumentText(m_textView->document(), text);
}

QVariantMap LogTab::fileData() const
{
    return {{LogTextKey, QVariant::fromValue(logText())}};
}

void LogTab::readFileData(const std::optional<QVariantMap> &data)
{
    if (!data)
        return;
    const QVariant stored = data->value(LogTextKey);
    if (stored.typeId() == qMetaTypeId<RichText>())
        setLogText(stored.value<RichText>());
    else if (isStringValue(stored))
        setLogText(RichText(stored.toString()));
}
