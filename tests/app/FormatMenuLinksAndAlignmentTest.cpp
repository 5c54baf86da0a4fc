// Links and paragraph alignment, typed in the window and read back from the
// HTML part as a reader lays it out: what the editor shows is what the
// reader shows.

#include "DocumentWindow.h"
#include "LinkSheet.h"
#include "MessageTabFixture.h"
#include "ReaderLayout.h"
#include "SendTestSupport.h"
#include "SingleLineTextView.h"

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

Layout layoutOf(const QList<ReaderLine> &lines)
{
    Layout layout;
    for (const ReaderLine &line : lines) {
        layout.lines << linkedText(line);
        layout.alignments << line.alignment;
    }
    return layout;
}

class FormatMenuLinksAndAlignment : public MessageTabFixture {
protected:
    void SetUp() override
    {
        MessageTabFixture::SetUp();
        document->database().addEntryWithData(-1, {"ann@example.org", "Ann"});
        document->documentWindow()->tabView()->setCurrentWidget(tab);
        editFormattedBody();
    }

    QAction *item(const char *name) const { return document->window()->findChild<QAction *>(QLatin1String(name)); }
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
    // As a reader lays it out (ReaderLayout).
    Layout readerLayout() { return layoutOf(readerLines(htmlPart())); }
    // The lines a reader sees, one string.
    std::string readerText() { return readerLayout().lines.join(u'\n').toStdString(); }

    Layout editorLayout() const
    {
        QList<ReaderLine> lines;
        ReaderLineText line;
        QString alignment;
        const auto endLine = [&] {
            lines.append(ReaderLine{});
            line.finishInto(lines.last());
            lines.last().alignment = alignment;
            line.clear();
        };
        for (QTextBlock block = view->document()->begin(); block.isValid(); block = block.next()) {
            alignment = alignmentName(block.blockFormat().alignment());
            for (auto it = block.begin(); !it.atEnd(); ++it) {
                const QTextCharFormat format = it.fragment().charFormat();
                const QString link = format.isAnchor() ? format.anchorHref() : QString();
                const QStringList pieces = it.fragment().text().split(QChar::LineSeparator);
                for (qsizetype i = 0; i < pieces.size(); ++i) {
                    if (i > 0)
                        endLine();
                    line.append(pieces[i], link);
                }
            }
            endLine();
        }
        return layoutOf(lines);
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

TEST_F(FormatMenuLinksAndAlignment, AFieldAtTheStartOfAnAlignedLineLeavesItAligned)
{
    // The tag character, which carries no paragraph style, gave the
    // paragraph its own lack of one.
    type(" is welcome");
    key(Qt::Key_E, Qt::ControlModifier);
    key(Qt::Key_Home);
    tab->insertField(document->database().fieldNames().value(1));
    const Layout centred{{"Ann is welcome"}, {"center"}};
    EXPECT_EQ(readerLayout(), centred);
    EXPECT_EQ(editorLayout().alignments.join(u' ').toStdString(), "center");
    undo();
    EXPECT_EQ(readerLayout(), (Layout{{"is welcome"}, {"center"}}));
}
