#include "TagPasteboard.h"

#include "AttributedTagString.h"

#include "AppException.h"
#include "TypedArchiver.h"
#include "TypedUnarchiver.h"

#include <QMimeData>

namespace TagPasteboard {

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
    }
    return contents;
}

bool canRead(const QMimeData *data)
{
    return data && (data->hasFormat(MimeType) || data->hasText());
}

} // namespace TagPasteboard
