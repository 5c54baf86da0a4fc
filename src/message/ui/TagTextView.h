#pragma once

// The base of every view that holds tags: the subject, the body, a
// condition's result and a per-recipient file name. While the user edits,
// the view's document is the text; attributedString() reads it.
//
// Copy and paste keep tags: the selection goes to the clipboard as tagged
// text (see TagPasteboard) and comes back with new tag objects. Of other
// programs' rich formats only the text is read, and only when they offer no
// plain text.

#include "FormatTarget.h"

#include "SimpleTag.h"

#include "RichText.h"

#include <QMenu>
#include <QPointer>
#include <QTextEdit>

#include <functional>

class LinkLooks;
class TagObjectInterface;

class TagTextView : public QTextEdit, public FormatTarget {
    Q_OBJECT
public:
    using FontPanelChange = FontPanel::Change;
    using FontChangeKind = FontPanel::Kind;

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

    // Renames field tags (marking them for `renamed`, when given); call
    // reloadTagData() to show the new names.
    void tagNameChanged(const QString &oldName, const QString &newName, TagRenames *renamed = nullptr);
    // Every tag the view's text has held, those deleted since and waiting in
    // its undo history included.
    void forEachTag(const std::function<void(SimpleTag &)> &visit) const;
    void setTagFont(const FontDescriptor &font);

    // Font-panel changes: first to the tags in the selection, then to the
    // text, as one step of its history; with nothing selected, to what is
    // typed next.
    void changeAttributes(const FontPanelChange &sender);
    void changeFont(const FontPanelChange &sender);
    void underline();
    void changeColor(const RgbaColor &color);
    void changeAttributesOrFont(FontChangeKind kind, const FontPanelChange &sender) override;

    // What the Format menu and bar see of the view.
    [[nodiscard]] QObject *formatObject() override { return this; }
    [[nodiscard]] bool acceptsFormatting() const override { return isRichText() && !isReadOnly(); }
    [[nodiscard]] TextAttributes formatAtCaret() const override;
    [[nodiscard]] FontDescriptor fallbackFont() const override { return viewFont(); }

    // Gives the tag the view's font and inserts it at the start of the
    // selection, which is not replaced.
    void insertTag(const SimpleTagRef &tag);

    // The font of the text's first character (of the typing attributes in an
    // empty view), else the font the view shows text in.
    [[nodiscard]] FontDescriptor viewFont() const;
    // What typed text gets: the looks at the cursor (see typingFormat) and
    // its paragraph's style.
    [[nodiscard]] TextAttributes typingAttributes() const;

    // A menu the view's context menu offers after the standard items (not
    // owned): the Format menu, where the menu bar is out of reach.
    void setFormatMenu(QMenu *menu) { m_formatMenu = menu; }

protected:
    bool canInsertFromMimeData(const QMimeData *source) const override;
    QMimeData *createMimeDataFromSelection() const override;
    void insertFromMimeData(const QMimeData *source) override;
    void keyPressEvent(QKeyEvent *event) override;
    void inputMethodEvent(QInputMethodEvent *event) override;
    void mousePressEvent(QMouseEvent *event) override;
    void contextMenuEvent(QContextMenuEvent *event) override;
    void changeEvent(QEvent *event) override;

    // Replaces the range with the text as one edit; the cursor goes after it.
    void replaceRange(TextRange range, const RichText &text);
    // Edits the attributes of every character of the selection where they
    // stand, as one step of the text's history.
    void editSelectedAttributes(const std::function<void(TextAttributes &)> &edit);

    // The format text typed at the cursor takes: the cursor's, but never a
    // tag's. Next to a tag that is the text before it in its paragraph, or
    // the paragraph's own format: Qt would hand the tag's format on to the
    // typed text and, with its object type, to a paragraph break.
    [[nodiscard]] QTextCharFormat typingFormat() const;

private:
    [[nodiscard]] SimpleTagRef clickableTagAt(const QPointF &viewportPosition) const;
    // The window of the document the text belongs to (a sheet's parent):
    // a tag pasted there from there is the tag it was copied from.
    [[nodiscard]] const QObject *pasteboardScope() const;
    // Before text is typed at a cursor without a selection: the cursor
    // takes the typing format. Returns it.
    QTextCharFormat prepareTyping();

    TagObjectInterface *m_tagInterface;
    LinkLooks *m_linkLooks;
    TagDelegate *m_delegate = nullptr;
    bool m_usesTagTextStorage = false;
    QPointer<QMenu> m_formatMenu;
};
