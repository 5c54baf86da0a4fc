#include "TagPasteboard.h"

#include "AttributedTagString.h"
#include "ConditionTag.h"
#include "RtfPlainText.h"

#include "AppException.h"
#include "TypedArchiver.h"
#include "TypedUnarchiver.h"

#include <QMimeData>
#include <QTextDocumentFragment>

#include <QPointer>

#include <algorithm>
#include <memory>
#include <vector>

namespace TagPasteboard {

namespace {

// The names rich text goes by on the clipboard.
const QString RtfTypes[] = {QStringLiteral("text/rtf"), QStringLiteral("application/rtf"),
                            QStringLiteral("text/richtext")};

// A place in a tagged text that can carry a field's mark: a tag, or a rule
// of a condition (then `rule` is its index).
struct MarkPlace {
    SimpleTagRef tag;
    qsizetype rule = -1;

    [[nodiscard]] ConditionTag &condition() const { return static_cast<ConditionTag &>(*tag); }
    [[nodiscard]] quint64 mark() const { return rule < 0 ? tag->takenBy() : condition().dataArray().at(rule).takenBy; }
    [[nodiscard]] const QString &name() const { return rule < 0 ? tag->tagName() : condition().dataArray().at(rule).field; }
};

// The text's tags and their conditions' rules, depth first: one order for
// the text as copied and as read back from its archive, which holds the
// same tags.
void collectMarkPlaces(const RichText &text, std::vector<MarkPlace> &places, int depth = 0)
{
    for (const SimpleTagRef &tag : AttributedTagString::tags(text)) {
        places.push_back({tag});
        const auto *condition = dynamic_cast<const ConditionTag *>(tag.get());
        if (!condition || depth >= ConditionTag::MaxNesting)
            continue;
        for (qsizetype i = 0; i < condition->dataArray().size(); ++i)
            places.push_back({tag, i});
        for (const ConditionRule &rule : condition->dataArray())
            collectMarkPlaces(rule.result, places, depth + 1);
    }
}

// Our data as this program made it. Beside the formats it keeps, for a
// paste or drop where the text was copied, the marks of the tags and rules
// that had left with their fields, and the tags they were copied from.
class TaggedTextData : public QMimeData {
public:
    struct Copied {
        quint64 mark = 0;
        std::weak_ptr<SimpleTag> from;
    };
    explicit TaggedTextData(const QObject *scope) : m_scopeKey(scope), m_scope(const_cast<QObject *>(scope)) {}
    [[nodiscard]] bool isFrom(const QObject *scope) const
    {
        // A window gone is no window made later at the same address.
        return scope == m_scopeKey && (!scope || m_scope);
    }
    std::vector<Copied> places;

private:
    const QObject *m_scopeKey;
    QPointer<QObject> m_scope;
};

// A pasted tag or rule is the one it was copied from, which the renames of
// its field, its removal and its return have reached since: it reads what
// that one reads now, and carries its mark. Without that one (deleted for
// good), one copied while its field was out of the table still gets the mark.
void followCopiedFrom(const TaggedTextData &copied, const RichText &pasted)
{
    std::vector<MarkPlace> places;
    collectMarkPlaces(pasted, places);
    // A tag the archive could not rebuild leaves the rest without a match.
    if (places.size() != copied.places.size())
        return;
    for (std::size_t i = 0; i < places.size(); ++i) {
        const MarkPlace &place = places[i];
        const TaggedTextData::Copied &from = copied.places[i];
        const SimpleTagRef source = from.from.lock();
        const QString copiedName = place.name();
        if (place.rule < 0) {
            // A condition's own name is no field's. Through tagNameChanged,
            // as a rename would: a picture or a file link keeps its name.
            if (source && !dynamic_cast<const ConditionTag *>(place.tag.get())) {
                place.tag->tagNameChanged(copiedName, source->tagName());
                if (place.name() == source->tagName())
                    place.tag->setTakenBy(source->takenBy());
            } else if (from.mark != 0 && copiedName.isEmpty()) {
                place.tag->setTakenBy(from.mark);
            }
            continue;
        }
        // The same rule while it keeps the mark it had, or tests and gives
        // as it did: rules may have been reordered or edited since, and a
        // removal's redo marks its field's rules anew.
        const auto *condition = dynamic_cast<const ConditionTag *>(source.get());
        const ConditionRule &rule = place.condition().dataArray().at(place.rule);
        const ConditionRule *was = condition && place.rule < condition->dataArray().size()
                                       ? &condition->dataArray().at(place.rule)
                                       : nullptr;
        const bool same = was && ((from.mark != 0 && was->takenBy == from.mark)
                                  || (was->op == rule.op && was->content == rule.content
                                      && AttributedTagString::taglessString(was->result)
                                             == AttributedTagString::taglessString(rule.result)));
        if (same) {
            place.condition().renameRuleField(place.rule, copiedName, was->field);
            place.condition().setRuleTakenBy(place.rule, was->takenBy);
        } else if (from.mark != 0 && copiedName.isEmpty()) {
            place.condition().setRuleTakenBy(place.rule, from.mark);
        }
    }
}

} // namespace

QMimeData *mimeDataForText(const RichText &text, const QObject *scope)
{
    auto *data = new TaggedTextData(scope);
    std::vector<MarkPlace> places;
    collectMarkPlaces(text, places);
    for (const MarkPlace &place : places)
        data->places.push_back({place.mark(), place.tag});
    try {
        data->setData(MimeType, TypedArchiver::archivedDataWithRootObject(QVariant::fromValue(text)));
    } catch (const std::exception &) {
        // A value no archive can hold: other programs still get the text.
    }
    data->setText(AttributedTagString::textTagString(text));
    return data;
}

Contents read(const QMimeData *data, const QObject *scope)
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
            if (const auto *ours = dynamic_cast<const TaggedTextData *>(data); ours && ours->isFrom(scope))
                followCopiedFrom(*ours, contents.text);
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
