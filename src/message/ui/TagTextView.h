#pragma once

// The base of every view that holds tags: the subject, the body, a
// condition's result and a per-recipient file name. While the user edits,
// the view's document is the text; attributedString() reads it.
//
// Copy and paste keep tags: the selection goes to the clipboard as tagged
// text (see TagPasteboard) and comes back with new tag objects. Rich formats
// of other programs are never read.

#include "SimpleTag.h"

#include "RichText.h"

#include <QTextEdit>

#include <functional>

class TagObjectInterface;

class TagTextView : public QTextEdit {
    Q_OBJECT
public:
    // What the font or colour panel asks for; stands in for the sender of
    // the platform's font actions.
    struct FontPanelChange {
        std::function<TextAttributes(const TextAttributes &)> convertAttributes;
        std::function<FontDescriptor(const FontDescriptor &)> convertFont;
        RgbaColor color;
    };
    enum class FontChangeKind { Attributes = 0, Font = 1, Underline = 2, Color = 3 };

    explicit TagTextView(QWidget *parent = nullptr);

    // Controllers call it once when their interface is loaded: from then on
    // the tags follow the view's font when the rich-text state changes.
    void useTagTextStorage();
    [[nodiscard]] bool usesTagTextStorage() const { return m_usesTagTextStorage; }
    // Lays the tags out and draws them again after they changed.
    void reloadTagData();

    [[nodiscard]] RichText attributedString() const;
    // Replaces the whole text; the undo history starts anew.
    void setAttributedString(const RichText &text);
    [[nodiscard]] TextRange selectedRange() const;

    // Receives the tags of pasted text (not owned; must outlive the view or be reset).
    void setDelegate(TagDelegate *delegate) { m_delegate = delegate; }
    [[nodiscard]] TagDelegate *delegate() const { return m_delegate; }

    void setRichText(bool richText);
    [[nodiscard]] bool isRichText() const { return acceptRichText(); }

    // Renames field tags; call reloadTagData() to show the new names.
    void tagNameChanged(const QString &oldName, const QString &newName);
    void setTagFont(const FontDescriptor &font);

    // Font-panel changes: first to the tags in the selection, then to the text.
    void changeAttributes(const FontPanelChange &sender);
    void changeFont(const FontPanelChange &sender);
    void underline();
    void changeColor(const RgbaColor &color);
    void changeAttributesOrFont(FontChangeKind kind, const FontPanelChange &sender);

    // Gives the tag the view's font and inserts it at the start of the
    // selection, which is not replaced.
    void insertTag(const SimpleTagRef &tag);

    // The font of the text's first character (of the typing attributes in an
    // empty view), else the font the view shows text in.
    [[nodiscard]] FontDescriptor viewFont() const;
    // What typed text gets: the format at the cursor and its paragraph's style.
    [[nodiscard]] TextAttributes typingAttributes() const;

protected:
    bool canInsertFromMimeData(const QMimeData *source) const override;
    QMimeData *createMimeDataFromSelection() const override;
    void insertFromMimeData(const QMimeData *source) override;
    void mousePressEvent(QMouseEvent *event) override;

    // Replaces the range with the text as one edit; the cursor goes after
    // it, or the inserted text is selected.
    void replaceRange(TextRange range, const RichText &text, bool selectInserted = false);
    // Edits the attributes of every run of the selection; with an empty
    // selection, the typing attributes when `typingWhenEmpty`.
    void editSelectedAttributes(const std::function<void(TextAttributes &)> &edit, bool typingWhenEmpty);

private:
    [[nodiscard]] SimpleTagRef clickableTagAt(const QPointF &viewportPosition) const;
    void changeTextAttributes(FontChangeKind kind, const FontPanelChange &sender);

    TagObjectInterface *m_tagInterface;
    TagDelegate *m_delegate = nullptr;
    bool m_usesTagTextStorage = false;
};
