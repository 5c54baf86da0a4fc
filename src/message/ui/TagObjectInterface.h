#pragma once

// Lays out and draws the tags of a view's document: each tag character is
// as large as its tag's cell frame and shows the tag's rounded name or its
// picture.

#include "SimpleTag.h"

#include <QObject>
#include <QTextObjectInterface>

class QFont;
class QPaintDevice;

class TagObjectInterface : public QObject, public QTextObjectInterface {
    Q_OBJECT
    Q_INTERFACES(QTextObjectInterface)
public:
    explicit TagObjectInterface(QObject *parent = nullptr);

    // Lets this object lay out and draw the tags of the document.
    void install(QTextDocument *document);

    QSizeF intrinsicSize(QTextDocument *document, int positionInDocument, const QTextFormat &format) override;
    void drawObject(QPainter *painter, const QRectF &rect, QTextDocument *document, int positionInDocument,
                    const QTextFormat &format) override;

    // The font a tag's name is drawn in: its own, else the character's
    // font over the document's.
    [[nodiscard]] static QFont nameFont(const SimpleTag &tag, const QTextFormat &format, const QFont &documentFont);
    // The size of the tag's cell with its name measured in that font.
    [[nodiscard]] static QSizeF tagSize(const SimpleTag &tag, const QFont &nameFont, QPaintDevice *device = nullptr);
};
