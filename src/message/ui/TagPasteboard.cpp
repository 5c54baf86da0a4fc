#include "TagPasteboard.h"

#include "AttributedTagString.h"
#include "RtfPlainText.h"

#include "AppException.h"
#include "TypedArchiver.h"
#include "TypedUnarchiver.h"

#include <QMimeData>
#include <QTextDocumentFragment>

#include <algorithm>

namespace TagPasteboard {

namespace {

// The names rich text goes by on the clipboard.
const QString RtfTypes[] = {QStringLiteral("text/rtf"), QStringLiteral("application/rtf"),
                            QStringLiteral("text/richtext")};

} // namespace

QMimeData *mimeDataForText(const RichText &text)
{
    auto *data = new QMimeData;
    try {
        data->setData(MimeType, TypedArchiver::archivedDataWithRootObject(QVariant::fromValue(text)));
    } catch (const std::exception &) {
        // A value no archive can hold: other programs still get the text.
    }
    data->setText(AttributedTagString::textTagString(text));
    return data;
}

Contents read(const QMimeData *data)
{
    Contents contents;
    if (!data)
        return contents;
    if (data->hasFormat(MimeType)) {
        QVariant root;
        try {
            root = TypedUnarchiver::unarchiveObjectWithData(data->data(MimeType));
        } catch (const std::exception &) {
        }
        if (root.typeId() == qMetaTypeId<RichText>()) {
            contents.kind = Contents::Kind::TaggedText;
            contents.text = root.value<RichText>();
            AttributedTagString::loadAttachments(contents.text);
            return contents;
        }
    }
    if (data->hasText()) {
        contents.kind = Contents::Kind::PlainText;
        contents.text = RichText(data->text());
        return contents;
    }
    // Some programs offer nothing but a rich format: its text, as typed.
    if (data->hasHtml()) {
        contents.kind = Contents::Kind::PlainText;
        // Pictures leave object characters, which would pass for tags.
        contents.text = RichText(QTextDocumentFragment::fromHtml(data->html()).toPlainText().remove(QChar(0xFFFC)));
        return contents;
    }
    for (const QString &type : RtfTypes) {
        if (data->hasFormat(type)) {
            contents.kind = Contents::Kind::PlainText;
            contents.text = RichText(RtfPlainText::plainText(data->data(type)));
            return contents;
        }
    }
    return contents;
}

bool canRead(const QMimeData *data)
{
    return data && (data->hasFormat(MimeType) || data->hasText() || data->hasHtml()
                    || std::any_of(std::begin(RtfTypes), std::end(RtfTypes),
                                   [data](const QString &type) { return data->hasFormat(type); }));
}

} // namespace TagPasteboard
