#pragma once

#include "TagTextView.h"

#include <QPointer>

class LinkSheet;
class QLineEdit;

namespace ListItems {
class Numbering;
}

// The message body: tags, links and list styles.
class BodyTextView : public TagTextView {
    Q_OBJECT
public:
    explicit BodyTextView(QWidget *parent = nullptr);

    // The link sheet while it is shown, and its address field.
    [[nodiscard]] LinkSheet *linkEditSheet() const;
    [[nodiscard]] QLineEdit *textLinkURL() const;

    [[nodiscard]] bool takesLinksAndLists() const override { return true; }

public slots:
    // In a rich-text view, shows the link sheet over the view's window.
    void setLink() override;
    // Takes the sheet's address ("http://" put in front when it has no
    // "://"): a valid one becomes the selection's link and ends the sheet,
    // any other keeps the sheet open with an alert.
    void setLink_okClicked();
    void setLink_cancelClicked();
    void removeLink() override;
    // By the list item's tag: 0 removes the list style, 1 to 12 set one
    // (see TextFormatModel::listMarkerFormat), any other does nothing.
    void setListStyle(int tag) override;
    // The selected paragraphs', or the caret's, as one step of the text's
    // history.
    void setParagraphAlignment(int alignment) override;
    // For "ImageTag_updateScaling": lays the text out again.
    void updateBodyViewLayout();

signals:
    // The document window should count the document as changed.
    void documentEdited();

protected:
    // What the user does in the view, and a paste, is one edit for the
    // numbering of list items (see ListItems::Numbering).
    bool event(QEvent *event) override;
    bool viewportEvent(QEvent *event) override;
    void insertFromMimeData(const QMimeData *source) override;
    // Keys that may change which paragraphs are items are a step of the
    // history of their own, which the numbering joins.
    void keyPressEvent(QKeyEvent *event) override;

private:
    // Return in an item of a list, as the text system has it: the item is
    // split and what follows becomes the next item, with its own marker;
    // Return on an empty item ends the list there. One step of the text's
    // history. False where the caret is in no item.
    bool breakListItem();

    QPointer<LinkSheet> m_linkEditSheet;
    ListItems::Numbering *m_numbering; // the document's
};
