#include "TextFormatModel.h"

namespace {

template <typename T>
std::optional<T> typed(const QVariant &value)
{
    if (value.typeId() != qMetaTypeId<T>())
        return std::nullopt;
    return value.value<T>();
}

// Sizes a text is shown in; the panels offer nothing outside them.
constexpr double MinimumPointSize = 1.0;
constexpr double MaximumPointSize = 1000.0;

} // namespace

TextFormatModel::TextFormatModel(QObject *parent)
    : QObject(parent)
{
}

void TextFormatModel::focusMoved(Focus focus, FormatTarget *view)
{
    FormatTarget *next = target();
    switch (focus) {
    case Focus::TextView:
        next = view;
        break;
    case Focus::OtherControl:
        next = nullptr;
        break;
    case Focus::FormatControl:
    case Focus::Elsewhere:
        // The bar acts on the text it was reached from; a panel or a menu
        // opened over it hands the focus back.
        break;
    }
    if (next != target()) {
        m_target = next;
        m_targetObject = next ? next->formatObject() : nullptr;
        emit targetChanged();
    }
    refresh();
}

FormatTarget *TextFormatModel::target() const
{
    return m_targetObject ? m_target : nullptr;
}

FormatTarget *TextFormatModel::formattableTarget() const
{
    FormatTarget *target = this->target();
    return target && target->acceptsFormatting() ? target : nullptr;
}

void TextFormatModel::refresh()
{
    const State state = currentState();
    if (state == m_state)
        return;
    m_state = state;
    emit stateChanged();
}

TextFormatModel::State TextFormatModel::currentState() const
{
    State state;
    FormatTarget *target = formattableTarget();
    if (!target)
        return state;
    state.enabled = true;
    state.linksAndLists = target->takesLinksAndLists();
    state.backgroundColor =
        m_backgroundObject && m_backgroundObject == target->formatObject() && m_currentBackground && m_changeBackground;
    const TextAttributes attributes = target->formatAtCaret();
    state.font = typed<FontDescriptor>(attributes.value(TextAttributeName::Font)).value_or(target->fallbackFont());
    const QVariant underline = attributes.value(TextAttributeName::Underline);
    state.underline = underline.isValid() && underline.toDouble() != 0.0;
    state.color = typed<RgbaColor>(attributes.value(TextAttributeName::Color));
    state.link = !attributes.value(TextAttributeName::Link).toString().isEmpty();
    if (const auto style = typed<ParagraphStyle>(attributes.value(TextAttributeName::ParagraphStyle))) {
        if (!style->textLists.isEmpty())
            state.listStyle = listStyleTag(style->textLists.last().markerFormat);
        state.alignment = style->alignment;
    }
    return state;
}

void TextFormatModel::setBackgroundHandler(FormatTarget *body, std::function<RgbaColor()> current,
                                           std::function<void(const RgbaColor &)> change)
{
    m_backgroundObject = body ? body->formatObject() : nullptr;
    m_currentBackground = std::move(current);
    m_changeBackground = std::move(change);
    refresh();
}

RgbaColor TextFormatModel::backgroundColor() const
{
    return m_currentBackground ? m_currentBackground() : RgbaColor{1, 1, 1, 1};
}

void TextFormatModel::changeFont(const std::function<void(FontDescriptor &)> &edit)
{
    FormatTarget *target = formattableTarget();
    if (!target)
        return;
    FontPanel::Change change;
    change.convertFont = [edit](FontDescriptor font) {
        edit(font);
        return font;
    };
    target->changeAttributesOrFont(FontPanel::Kind::Font, change);
    refresh();
}

void TextFormatModel::toggleBold()
{
    const bool bold = !currentState().font.bold;
    changeFont([bold](FontDescriptor &font) { font.bold = bold; });
}

void TextFormatModel::toggleItalic()
{
    const bool italic = !currentState().font.italic;
    changeFont([italic](FontDescriptor &font) { font.italic = italic; });
}

void TextFormatModel::underline()
{
    if (FormatTarget *target = formattableTarget()) {
        target->changeAttributesOrFont(FontPanel::Kind::Underline, {});
        refresh();
    }
}

void TextFormatModel::bigger()
{
    changeFont([](FontDescriptor &font) { font.pointSize = std::min(font.pointSize + 1.0, MaximumPointSize); });
}

void TextFormatModel::smaller()
{
    changeFont([](FontDescriptor &font) {
        if (font.pointSize > MinimumPointSize)
            font.pointSize = std::max(font.pointSize - 1.0, MinimumPointSize);
    });
}

void TextFormatModel::setFontFamily(const QString &family)
{
    if (!family.isEmpty())
        changeFont([family](FontDescriptor &font) { font.family = family; });
}

void TextFormatModel::setFontSize(double pointSize)
{
    if (pointSize >= MinimumPointSize && pointSize <= MaximumPointSize)
        changeFont([pointSize](FontDescriptor &font) { font.pointSize = pointSize; });
}

void TextFormatModel::applyFont(const FontDescriptor &font, std::optional<bool> underline)
{
    FormatTarget *target = formattableTarget();
    if (!target)
        return;
    FontPanel::Change change;
    change.convertAttributes = [font, underline](TextAttributes attributes) {
        attributes.insert(TextAttributeName::Font, QVariant::fromValue(font));
        if (underline && *underline)
            attributes.insert(TextAttributeName::Underline, 1);
        else if (underline)
            attributes.remove(TextAttributeName::Underline);
        return attributes;
    };
    target->changeAttributesOrFont(FontPanel::Kind::Attributes, change);
    refresh();
}

void TextFormatModel::setTextColor(const RgbaColor &color)
{
    if (FormatTarget *target = formattableTarget()) {
        FontPanel::Change change;
        change.color = color;
        target->changeAttributesOrFont(FontPanel::Kind::Color, change);
        refresh();
    }
}

void TextFormatModel::setBackgroundColor(const RgbaColor &color)
{
    if (currentState().backgroundColor)
        m_changeBackground(color);
    refresh();
}

void TextFormatModel::setLink()
{
    if (currentState().linksAndLists)
        target()->setLink();
}

void TextFormatModel::removeLink()
{
    if (currentState().linksAndLists) {
        target()->removeLink();
        refresh();
    }
}

void TextFormatModel::setListStyle(int tag)
{
    if (currentState().linksAndLists) {
        target()->setListStyle(tag);
        refresh();
    }
}

void TextFormatModel::setAlignment(int alignment)
{
    if (alignment >= 0 && alignment <= 3 && currentState().linksAndLists) {
        target()->setParagraphAlignment(alignment);
        refresh();
    }
}

QString TextFormatModel::listMarkerFormat(int tag)
{
    static const QString formats[] = {
        QStringLiteral("{disc}"),          QStringLiteral("{hyphen}"),       QStringLiteral("{circle}"),
        QStringLiteral("{square}"),        QStringLiteral("{check}"),        QStringLiteral("{decimal}."),
        QStringLiteral("{decimal})"),      QStringLiteral("{upper-alpha}."), QStringLiteral("{lower-alpha}."),
        QStringLiteral("{lower-alpha})"),  QStringLiteral("{upper-roman}."), QStringLiteral("{lower-roman}."),
    };
    return tag >= 1 && tag <= int(std::size(formats)) ? formats[tag - 1] : QString();
}

int TextFormatModel::listStyleTag(const QString &markerFormat)
{
    if (markerFormat.isEmpty())
        return 0;
    for (int tag = 1; !listMarkerFormat(tag).isEmpty(); ++tag) {
        if (listMarkerFormat(tag) == markerFormat)
            return tag;
    }
    return -1;
}
