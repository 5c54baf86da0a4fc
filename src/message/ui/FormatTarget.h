#pragma once

// A text the Format menu and the format bar act on: one of the tag text
// views. The model that decides what they do sees the view only through
// this, so that it needs no widget.

#include "FontPanel.h"

#include "TextAttributes.h"

class QObject;

class FormatTarget {
public:
    virtual ~FormatTarget() = default;

    // The view as an object, to know when it goes.
    [[nodiscard]] virtual QObject *formatObject() = 0;
    // The text holds formatting and may be edited; nothing applies otherwise.
    [[nodiscard]] virtual bool acceptsFormatting() const = 0;
    // The attributes a change starts from: the first selected character's,
    // or, with nothing selected, those of what is typed next; with the
    // paragraph's style.
    [[nodiscard]] virtual TextAttributes formatAtCaret() const = 0;
    // What text without a font of its own is shown in.
    [[nodiscard]] virtual FontDescriptor fallbackFont() const = 0;
    // One undoable step over the selection, or the typing attributes.
    virtual void changeAttributesOrFont(FontPanel::Kind kind, const FontPanel::Change &change) = 0;

    // Links, list styles and alignment belong to the message body only.
    [[nodiscard]] virtual bool takesLinksAndLists() const { return false; }
    virtual void setLink() {}
    virtual void removeLink() {}
    virtual void setListStyle(int /*tag*/) {}
    // The selected paragraphs' alignment (0 left, 1 right, 2 centre, 3
    // justified, 4 natural), as one step of the text's history.
    virtual void setParagraphAlignment(int /*alignment*/) {}
};
