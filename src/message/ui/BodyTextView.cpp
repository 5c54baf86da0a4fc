#include "BodyTextView.h"

#include "LinkSheet.h"

#include "ActionGuard.h"
#include "Alerts.h"
#include "BetterMutableAttributedString.h"
#include "BetterString.h"

#include <QLineEdit>
#include <QUrl>

BodyTextView::BodyTextView(QWidget *parent)
    : TagTextView(parent)
{
}

QString BodyTextView::listMarkerFormat(int tag)
{
    switch (tag) {
    case 1:
        return QStringLiteral("{disc}");
    case 2:
        return QStringLiteral("{hyphen}");
    case 3:
        return QStringLiteral("{circle}");
    case 4:
        return QStringLiteral("{square}");
    case 5:
        return QStringLiteral("{check}");
    case 6:
        return QStringLiteral("{decimal}.");
    case 7:
        return QStringLiteral("{decimal})");
    case 8:
        return QStringLiteral("{upper-alpha}.");
    case 9:
        return QStringLiteral("{lower-alpha}.");
    case 10:
        return QStringLiteral("{lower-alpha})");
    case 11:
        return QStringLiteral("{upper-roman}.");
    case 12:
        return QStringLiteral("{lower-roman}.");
    default:
        return {};
    }
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
        editSelectedAttributes(
            [&link](TextAttributes &attributes) { attributes.insert(TextAttributeName::Link, link); }, false);
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
    editSelectedAttributes([](TextAttributes &attributes) { attributes.remove(TextAttributeName::Link); }, false);
}

void BodyTextView::setListStyle(int tag)
{
    ActionGuard::run([this, tag] {
        const QString format = listMarkerFormat(tag);
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
        replaceRange(lines, edited.attributedSubstring(TextRange{lines.location, lines.length + added}), true);
    });
    emit documentEdited();
}

void BodyTextView::updateBodyViewLayout()
{
    reloadTagData();
}
