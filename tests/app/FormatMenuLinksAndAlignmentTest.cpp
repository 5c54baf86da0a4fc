// Links and paragraph alignment, typed in the window and read back from the
// HTML part as a reader lays it out: what the editor shows is what the
// reader shows.

#include "DocumentWindow.h"
#include "LinkSheet.h"
#include "MessageTabFixture.h"
#include "SendTestSupport.h"
#include "SingleLineTextView.h"

#include "GumboParser.h"
#include "Personalizer.h"

#include <QAction>
#include <QClipboard>
#include <QContextMenuEvent>
#include <QLineEdit>
#include <QMenu>
#include <QPushButton>
#include <QTabWidget>
#include <QTest>
#include <QTextBlock>
#include <QTimer>

#include <gtest/gtest.h>

#include <optional>

namespace {

// Lines as they are shown, each with the alignment of its paragraph (left,
// right, center, justify); links written [text](address).
struct Layout {
    QStringList lines;
    QStringList alignments;
    friend bool operator==(const Layout &, const Layout &) = default;
    friend void PrintTo(const Layout &layout, std::ostream *out)
    {
        for (qsizetype i = 0; i < layout.lines.size(); ++i)
            *out << "\n  " << layout.alignments.value(i).toStdString() << ": " << layout.lines[i].toStdString();
    }
};

// Writes lines, opening and closing the brackets of links as the text
// crosses them.
class LineWriter {
public:
    void put(QStringView text, const QString &link)
    {
        if (link != m_link) {
            closeLink();
            if (!link.isEmpty())
                m_line += u'[';
            m_link = link;
        }
        m_line += text;
    }
    [[nodiscard]] bool lineIsEmpty() const { return m_line.isEmpty(); }
    void endLine(Layout &layout, const QString &alignment)
    {
        closeLink();
        layout.lines << m_line;
        layout.alignments << alignment;
        m_line.clear();
    }

private:
    void closeLink()
    {
        if (!m_link.isEmpty())
            m_line += QStringLiteral("](") + m_link + u')';
        m_link.clear();
    }
    QString m_line;
    QString m_link;
};

// A reader's layout of the page, walked from gumbo's tree as a browser lays
// it out: blocks and <br> end lines (a block only a line that holds
// something), white space collapses, a paragraph is aligned by the
// text-align of the blocks it stands in.
class PageReader {
public:
    explicit PageReader(const QString &html)
    {
        const QByteArray page = html.toUtf8();
        const GumboOutput *output = m_parser.parse(page.constData(), size_t(page.size()));
        if (!output)
            return;
        walk(output->root, QStringLiteral("left"), QString());
        endLine(false, QStringLiteral("left"));
    }
    [[nodiscard]] const Layout &layout() const { return m_layout; }

private:
    static QString attribute(const GumboElement &element, const char *name)
    {
        const GumboAttribute *found = gumbo_get_attribute(&element.attributes, name);
        return found ? QString::fromUtf8(found->value) : QString();
    }

    static bool isBlock(GumboTag tag)
    {
        switch (tag) {
        case GUMBO_TAG_HTML:
        case GUMBO_TAG_BODY:
        case GUMBO_TAG_DIV:
        case GUMBO_TAG_P:
        case GUMBO_TAG_UL:
        case GUMBO_TAG_OL:
        case GUMBO_TAG_LI:
        case GUMBO_TAG_BLOCKQUOTE:
        case GUMBO_TAG_CENTER:
            return true;
        default:
            return false;
        }
    }

    void walk(const GumboNode *node, QString alignment, QString link)
    {
        if (node->type == GUMBO_NODE_TEXT || node->type == GUMBO_NODE_WHITESPACE) {
            text(QString::fromUtf8(node->v.text.text), alignment, link);
            return;
        }
        if (node->type != GUMBO_NODE_ELEMENT)
            return;
        const GumboElement &element = node->v.element;
        switch (element.tag) {
        case GUMBO_TAG_HEAD:
        case GUMBO_TAG_SCRIPT:
        case GUMBO_TAG_STYLE:
            return;
        case GUMBO_TAG_BR:
            endLine(true, alignment);
            return;
        case GUMBO_TAG_A:
            link = attribute(element, "href");
            break;
        default:
            break;
        }
        const bool block = isBlock(element.tag);
        if (block) {
            endLine(false, alignment);
            const QString style = attribute(element, "style");
            const qsizetype at = style.indexOf(QLatin1String("text-align:"));
            if (at >= 0)
                alignment = style.mid(at + 11).section(u';', 0, 0).trimmed();
            else if (element.tag == GUMBO_TAG_CENTER)
                alignment = QStringLiteral("center");
        }
        for (unsigned i = 0; i < element.children.length; ++i)
            walk(static_cast<const GumboNode *>(element.children.data[i]), alignment, link);
        if (block)
            endLine(false, alignment);
    }

    void text(const QString &text, const QString &alignment, const QString &link)
    {
        for (const QChar c : text) {
            if (c == u' ' || c == u'\n' || c == u'\t' || c == u'\r' || c == u'\f') {
                if (!m_writer.lineIsEmpty())
                    m_space = link;
                continue;
            }
            if (m_writer.lineIsEmpty())
                m_lineAlignment = alignment;
            if (m_space)
                m_writer.put(u" ", *m_space);
            m_space.reset();
            m_writer.put(QStringView(&c, 1), link);
        }
    }

    void endLine(bool always, const QString &alignment)
    {
        m_space.reset();
        if (always || !m_writer.lineIsEmpty())
            m_writer.endLine(m_layout, m_writer.lineIsEmpty() ? alignment : m_lineAlignment);
    }

    GumboParser m_parser;
    Layout m_layout;
    LineWriter m_writer;
    QString m_lineAlignment;
    std::optional<QString> m_space;
};

QString alignmentName(Qt::Alignment alignment)
{
    if (alignment & Qt::AlignHCenter)
        return QStringLiteral("center");
    if (alignment & Qt::AlignJustify)
        return QStringLiteral("justify");
    if (alignment & Qt::AlignRight)
        return QStringLiteral("right");
    return QStringLiteral("left");
}

class FormatMenuLinksAndAlignment : public MessageTabFixture {
protected:
    void SetUp() override
    {
        MessageTabFixture::SetUp();
        document->database().addEntryWithData(-1, {"ann@example.org", "Ann"});
        document->documentWindow()->tabView()->setCurrentWidget(tab);
        tab->setOption(1);
        view = tab->bodyView();
        focus(view);
    }

    QAction *item(const char *name) const { return document->window()->findChild<QAction *>(QLatin1String(name)); }
    void type(const char *text) { QTest::keyClicks(view, QString::fromUtf8(text)); }
    void key(Qt::Key key, Qt::KeyboardModifiers modifiers = Qt::NoModifier) { QTest::keyClick(view, key, modifiers); }
    void caretAfter(const QString &text)
    {
        QTextCursor cursor = view->textCursor();
        cursor.setPosition(int(view->toPlainText().indexOf(text) + text.size()));
        view->setTextCursor(cursor);
    }
    void select(const QString &from, const QString &to)
    {
        QTextCursor cursor = view->textCursor();
        cursor.setPosition(int(view->toPlainText().indexOf(from)));
        cursor.setPosition(int(view->toPlainText().indexOf(to) + to.size()), QTextCursor::KeepAnchor);
        view->setTextCursor(cursor);
    }

    // Format ▸ Link… with the address typed into its sheet; the window has
    // the focus back, as a window manager gives it. (The sheet is deleted
    // later; the next Link… does not wait for that.)
    void link(const QString &address)
    {
        item("formatLink")->trigger();
        LinkSheet *sheet = view->linkEditSheet();
        ASSERT_TRUE(sheet && sheet->isVisible());
        QTest::keyClicks(sheet->textLinkURL(), address);
        sheet->okButton()->click();
        focus(view);
    }

    // The first recipient's HTML part.
    QString htmlPart()
    {
        tab->commitEdits();
        Personalizer personalizer(document->database());
        personalizer.setAddressNumber(0);
        personalizer.setMessageId(QStringLiteral("@m"));
        return document->messageTab().htmlTextStringWithFullPath(false, QStringLiteral("@m"), personalizer);
    }
    Layout readerLayout() { return PageReader(htmlPart()).layout(); }
    // The lines a reader sees, one string.
    std::string readerText() { return readerLayout().lines.join(u'\n').toStdString(); }

    Layout editorLayout() const
    {
        Layout layout;
        LineWriter writer;
        for (QTextBlock block = view->document()->begin(); block.isValid(); block = block.next()) {
            const QString alignment = alignmentName(block.blockFormat().alignment());
            for (auto it = block.begin(); !it.atEnd(); ++it) {
                const QTextCharFormat format = it.fragment().charFormat();
                const QString link = format.isAnchor() ? format.anchorHref() : QString();
                const QStringList pieces = it.fragment().text().split(QChar::LineSeparator);
                for (qsizetype i = 0; i < pieces.size(); ++i) {
                    if (i > 0)
                        writer.endLine(layout, alignment);
                    writer.put(pieces[i], link);
                }
            }
            writer.endLine(layout, alignment);
        }
        return layout;
    }

    // Pixels in the link colour of the view's palette where the text (on
    // one line) is drawn.
    int linkColouredPixels(const QString &text) const
    {
        const QImage shot = view->viewport()->grab().toImage();
        const int from = int(view->toPlainText().indexOf(text));
        QTextCursor cursor = view->textCursor();
        cursor.setPosition(from);
        QRect area = view->cursorRect(cursor);
        cursor.setPosition(from + int(text.size()));
        area = area.united(view->cursorRect(cursor)).intersected(shot.rect());
        const QRgb link = view->palette().color(QPalette::Link).rgb();
        int count = 0;
        for (int y = area.top(); y <= area.bottom(); ++y) {
            for (int x = area.left(); x <= area.right(); ++x)
                count += shot.pixel(x, y) == link;
        }
        return count;
    }

    BodyTextView *view = nullptr;
};

} // namespace

TEST_F(FormatMenuLinksAndAlignment, ALinkCoversTheCharactersItWasGivenAndShowsAsALink)
{
    const QString field = document->database().fieldNames().value(1);
    type("Visit our website");
    key(Qt::Key_Home, Qt::ShiftModifier);
    link(QStringLiteral("https://example.org/events"));
    key(Qt::Key_End);
    key(Qt::Key_Return);
    type("Line typed after the link");
    EXPECT_EQ(readerText(), "[Visit our website](https://example.org/events)\nLine typed after the link");

    // Typed and pasted right at its end, the text is no part of it; typed
    // inside it, it is.
    caretAfter(QStringLiteral("website"));
    type("!");
    caretAfter(QStringLiteral("website"));
    QApplication::clipboard()->setText(QStringLiteral(" today"));
    key(Qt::Key_V, Qt::ControlModifier);
    caretAfter(QStringLiteral("Visit our"));
    type(" own");
    const std::string typed = "[Visit our own website](https://example.org/events) today!\nLine typed after the link";
    EXPECT_EQ(readerText(), typed);
    EXPECT_EQ(editorLayout().lines.join(u'\n').toStdString(), typed);

    // A field in the link: its value is linked too. Typed right after the
    // field, the text is inside the link; at the link's end it is not.
    key(Qt::Key_End, Qt::ControlModifier);
    key(Qt::Key_Return);
    tab->insertField(field);
    type(" dear friend");
    key(Qt::Key_Home, Qt::ShiftModifier);
    link(QStringLiteral("https://example.org/you"));
    caretAfter(QString(QChar(0xFFFC)));
    type(",");
    key(Qt::Key_End);
    type(" welcome");
    EXPECT_EQ(readerLayout().lines.value(2).toStdString(), "[Ann, dear friend](https://example.org/you) welcome");
    // Each typing one step.
    undo();
    EXPECT_EQ(readerLayout().lines.value(2).toStdString(), "[Ann, dear friend](https://example.org/you)");
    redo();

    // The editor shows links as links: the palette's link colour,
    // underlined, the field too. The text keeps no colour nor underline
    // for it, so neither does the mail.
    ASSERT_TRUE(QTest::qWaitFor([&] { return linkColouredPixels(QStringLiteral("Visit")) > 0; }));
    EXPECT_GT(linkColouredPixels(QString(QChar(0xFFFC))), 0);
    for (const char *unlinked : {"today", "Line typed after the link", "welcome"})
        EXPECT_EQ(linkColouredPixels(QLatin1String(unlinked)), 0) << unlinked;
    const RichText text = body();
    for (int i = 0; i < text.length(); ++i) {
        const TextAttributes attributes = text.attributesAtIndex(i);
        EXPECT_FALSE(attributes.contains(TextAttributeName::Color) || attributes.contains(TextAttributeName::Underline))
            << "character " << i;
    }
    const QString html = htmlPart();
    EXPECT_FALSE(html.contains(QLatin1String("<u>")) || html.contains(QLatin1String(" color="))) << html.toStdString();
    saveScreenshot(document->window(), QStringLiteral("body-links.png"));
}

TEST_F(FormatMenuLinksAndAlignment, TextAlignsTheSelectedParagraphsAsOneStepAsReadersShowThem)
{
    type("Our offers:");
    key(Qt::Key_Return);
    type("First line");
    key(Qt::Key_Return);
    type("Second line");
    key(Qt::Key_Return);
    type("Last line");
    const QStringList lines{"Our offers:", "First line", "Second line", "Last line"};

    caretAfter(QStringLiteral("Our"));
    key(Qt::Key_J, Qt::ControlModifier);
    caretAfter(QStringLiteral("First"));
    key(Qt::Key_E, Qt::ControlModifier);
    select(QStringLiteral("cond"), QStringLiteral("La"));
    key(Qt::Key_R, Qt::ControlModifier);
    const Layout aligned{lines, {"justify", "center", "right", "right"}};
    EXPECT_EQ(editorLayout(), aligned);
    EXPECT_EQ(readerLayout(), aligned);
    EXPECT_TRUE(item("formatAlignRight")->isChecked());
    caretAfter(QStringLiteral("First"));
    EXPECT_TRUE(item("formatAlignCenter")->isChecked());
    EXPECT_FALSE(item("formatAlignRight")->isChecked());

    // The two lines were one step.
    undo();
    const Layout undone{lines, {"justify", "center", "left", "left"}};
    EXPECT_EQ(editorLayout(), undone);
    EXPECT_EQ(readerLayout(), undone);
    redo();
    EXPECT_EQ(readerLayout(), aligned);
    caretAfter(QStringLiteral("First"));
    key(Qt::Key_L, Qt::ControlModifier);
    EXPECT_EQ(readerLayout(), (Layout{lines, {"justify", "left", "right", "right"}}));
    EXPECT_TRUE(document->isDocumentEdited());

    // The text's own menu offers them too.
    QStringList offered;
    QTimer::singleShot(0, [&offered] {
        QWidget *popup = QApplication::activePopupWidget();
        if (!popup)
            return;
        EXPECT_TRUE(saveScreenshot(popup, QStringLiteral("body-context-menu.png")));
        for (const QAction *action : popup->actions()) {
            if (action->menu() && action->menu()->objectName() == QLatin1String("menuFormat")) {
                for (const QAction *format : action->menu()->actions()) {
                    if (format->menu() && format->menu()->objectName() == QLatin1String("menuFormatText")) {
                        for (const QAction *text : format->menu()->actions())
                            offered << text->objectName();
                    }
                }
            }
        }
        popup->close();
    });
    QContextMenuEvent menuKey(QContextMenuEvent::Keyboard, QPoint(4, 4), view->mapToGlobal(QPoint(4, 4)));
    QApplication::sendEvent(view, &menuKey);
    EXPECT_EQ(offered.join(u' ').toStdString(),
              "formatAlignLeft formatAlignCenter formatAlignJustified formatAlignRight");

    // Only the body of formatted text has paragraphs to align.
    focus(tab->subjectView());
    EXPECT_FALSE(item("formatAlignCenter")->isEnabled());
    focus(view);
    EXPECT_TRUE(item("formatAlignCenter")->isEnabled());
    tab->setOption(3);
    focus(view);
    EXPECT_FALSE(item("formatAlignCenter")->isEnabled());
    caretAfter(QStringLiteral("First"));
    key(Qt::Key_E, Qt::ControlModifier);
    EXPECT_EQ(editorLayout().alignments.value(1).toStdString(), "left");
}

TEST_F(FormatMenuLinksAndAlignment, ListNoneOverAJustifiedLineAndTheEmptyLineBeforeIt)
{
    // The view measured its caret in a paragraph that Qt had not yet laid
    // out again after the edit: a crash in QTextEngine::justify.
    key(Qt::Key_Return);
    type("A justified line");
    item("formatAlignJustified")->trigger();
    key(Qt::Key_A, Qt::ControlModifier);
    item("formatList0")->trigger();
    const Layout justified{{"", "A justified line"}, {"left", "justify"}};
    EXPECT_EQ(editorLayout(), justified);
    EXPECT_EQ(readerLayout(), justified);
}

TEST_F(FormatMenuLinksAndAlignment, JustifiedLinesCutDeletedOrTypedOver)
{
    // The key's own step of the history was an edit block around Qt's
    // handling of it, so Qt measured the caret in a paragraph still laid
    // out with its old text: a crash in QTextEngine::justify.
    const auto justifiedLines = [this](const char *first) {
        key(Qt::Key_A, Qt::ControlModifier);
        key(Qt::Key_Delete);
        type(first);
        key(Qt::Key_Return);
        type("Next");
        key(Qt::Key_A, Qt::ControlModifier);
        item("formatAlignJustified")->trigger();
        select(QString::fromUtf8(first), QString::fromUtf8(first));
    };
    const Layout emptied{{"", "Next"}, {"justify", "justify"}};
    justifiedLines("Cut away");
    key(Qt::Key_X, Qt::ControlModifier);
    EXPECT_EQ(editorLayout(), emptied);
    EXPECT_EQ(readerLayout(), emptied);
    justifiedLines("Deleted");
    key(Qt::Key_Backspace);
    EXPECT_EQ(readerLayout(), emptied);
    item("formatList1")->trigger();
    key(Qt::Key_Return);
    EXPECT_EQ(editorLayout(), emptied);
    EXPECT_EQ(readerLayout(), emptied);
    // An item that is only a line break, taken back with Backspace.
    justifiedLines("Broken");
    item("formatList1")->trigger();
    select(QStringLiteral("\t"), QStringLiteral("Broken"));
    key(Qt::Key_Return, Qt::ShiftModifier);
    key(Qt::Key_Backspace);
    EXPECT_EQ(editorLayout(), emptied);
    EXPECT_EQ(readerLayout(), emptied);

    // Typed over items, the numbers follow in the same step.
    justifiedLines("one");
    key(Qt::Key_End, Qt::ControlModifier);
    key(Qt::Key_Return);
    type("three");
    key(Qt::Key_A, Qt::ControlModifier);
    item("formatList6")->trigger();
    select(QStringLiteral("one"), QStringLiteral("Next"));
    type("1");
    EXPECT_EQ(view->toPlainText().toStdString(), "\t1.\t1\n\t2.\tthree");
    undo();
    EXPECT_EQ(view->toPlainText().toStdString(), "\t1.\tone\n\t2.\tNext\n\t3.\tthree");
}
