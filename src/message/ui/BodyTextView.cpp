#include "BodyTextView.h"

#include "LinkSheet.h"
#include "RichTextBridge.h"
#include "TextFormatModel.h"

#include "ActionGuard.h"
#include "Alerts.h"
#include "BetterMutableAttributedString.h"
#include "BetterString.h"

#include <QLineEdit>
#include <QTextBlock>
#include <QTextCursor>
#include <QUrl>

BodyTextView::BodyTextView(QWidget *parent)
    : TagTextView(parent)
{
}

LinkSheet *BodyTextView::linkEditSheet() const
{
    return m_linkEditSheet;
}

QLineEdit *BodyTextView::textLinkURL() const
{
    return m_linkEditSheet ? m_linkEditSheet->textLinkURL() : nullptr;
}

void BodyTextView::setLink()
{
    ActionGuard::run([this] {
        if (!isRichText() || m_linkEditSheet)
            return;
        const QPointer<BodyTextView> self(this);
        m_linkEditSheet = new LinkSheet(window(), [self] {
            if (self)
                self->setLink_okClicked();
        });
        m_linkEditSheet->open();
    });
}

void BodyTextView::setLink_okClicked()
{
    ActionGuard::run([this] {
        if (!m_linkEditSheet)
            return;
        QString address = m_linkEditSheet->textLinkURL()->text();
        if (!address.contains(QLatin1String("://")))
            address = QStringLiteral("http://") + address;
        const QUrl url(address, QUrl::StrictMode);
        if (!url.isValid()) {
            DoDisplayAlert_Loc(QStringLiteral("Localized-MessageEditor"), QStringLiteral("Invalid URL"),
                               QStringLiteral("Invalid URL Text"));
            return;
        }
        const QString link = url.toString(QUrl::FullyEncoded);
        editSelectedAttributes([&link](TextAttributes &attributes) { attributes.insert(TextAttributeName::Link, link); });
        m_linkEditSheet->end();
    });
}

void BodyTextView::setLink_cancelClicked()
{
    if (m_linkEditSheet)
        m_linkEditSheet->reject();
}

void BodyTextView::removeLink()
{
    editSelectedAttributes([](TextAttributes &attributes) { attributes.remove(TextAttributeName::Link); });
}

void BodyTextView::setListStyle(int tag)
{
    ActionGuard::run([this, tag] {
        const QString format = TextFormatModel::listMarkerFormat(tag);
        if (tag != 0 && format.isEmpty())
            return;
        const TextRange selection = selectedRange();
        const RichText text = attributedString();
        RichText edited = text;
        if (tag == 0)
            BetterMutableAttributedString::removeListStyle(edited, selection);
        else
            BetterMutableAttributedString::setListStyle(edited, format, selection, typingAttributes());
        // Both edits stay within the selection's lines.
        TextRange lines = selection;
        BetterString::extendRangeToFullLines(text.string(), lines);
        const int added = edited.length() - text.length();
        QTextCursor step(document());
        step.beginEditBlock();
        replaceRange(lines, edited.attributedSubstring(TextRange{lines.location, lines.length + added}), true);
        // An empty last line has no character to carry its paragraph's style:
        // the list leaves the paragraph itself, or what is typed there next
        // would be an item of it again.
        const QTextBlock last = document()->lastBlock();
        auto style = RichTextBridge::paragraphStyle(last.blockFormat());
        const bool emptyLastLine = selection.end() == text.length() && last.length() == 1;
        if (tag == 0 && emptyLastLine && style && !style->textLists.isEmpty()) {
            style->textLists.clear();
            QTextCursor(last).setBlockFormat(RichTextBridge::blockFormat(style));
        }
        step.endEditBlock();
    });
    emit documentEdited();
}

void BodyTextView::updateBodyViewLayout()
{
    reloadTagData();
}
