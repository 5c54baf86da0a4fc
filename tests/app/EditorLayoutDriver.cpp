#include "EditorLayoutDriver.h"

#include "ReaderLayout.h"

#include "BodyTextView.h"
#include "DocumentWindow.h"
#include "LinkSheet.h"
#include "MessageTabWidget.h"
#include "MyDocument.h"
#include "RichTextBridge.h"

#include "MessageNumberTag.h"
#include "Personalizer.h"
#include "SimpleTag.h"
#include "TextAttachment.h"

#include <QAction>
#include <QApplication>
#include <QClipboard>
#include <QInputMethodEvent>
#include <QLineEdit>
#include <QMenu>
#include <QTest>
#include <QTextBlock>
#include <QTextLayout>
#include <QToolButton>

#include <iterator>

namespace {

// The recipient's values: plain words, markup characters, a tab (nothing
// of a value may be taken for an item's marker) and nothing at all.
const QStringList FieldNames{"Address", "First", "City", "Code", "Blank", "Street"};
const QStringList FieldValues{"ann@test.example", "Ann", "Berlin & <Co>", "\t7", "", "Main St. 1\nBerlin"};

// What the marker of an item reads in a list of the format: the item's
// number, 0 for a marker without one; none when it is no marker of the
// format. Written here from the marker formats' meaning, so that the
// program's own reading is what is checked.
std::optional<int> markerNumber(const QString &format, QStringView marker)
{
    const qsizetype open = format.indexOf(u'{');
    const qsizetype close = open < 0 ? -1 : format.indexOf(u'}', open);
    if (close < 0)
        return marker == format ? std::optional<int>(0) : std::nullopt;
    const QString prefix = format.left(open);
    const QString suffix = format.mid(close + 1);
    const QString name = format.mid(open + 1, close - open - 1);
    if (marker.size() <= prefix.size() + suffix.size() || !marker.startsWith(prefix) || !marker.endsWith(suffix))
        return std::nullopt;
    const QStringView middle = marker.mid(prefix.size(), marker.size() - prefix.size() - suffix.size());

    static const QMap<QString, QString> symbols{{"disc", "\u2022"}, {"hyphen", "\u2043"}, {"circle", "\u25E6"},
                                                {"square", "\u25AA"}, {"check", "\u2713"}, {"box", "\u25A1"},
                                                {"diamond", "\u25C6"}};
    if (symbols.contains(name))
        return middle == symbols.value(name) ? std::optional<int>(0) : std::nullopt;
    if (middle.size() > 6)
        return std::nullopt;
    if (name == u"decimal") {
        if (middle.front() == u'0' || !std::all_of(middle.begin(), middle.end(), [](QChar c) { return c.isDigit(); }))
            return std::nullopt;
        return middle.toInt();
    }
    const bool upper = name.startsWith(u"upper");
    if (name.endsWith(u"alpha")) {
        int number = 0;
        for (const QChar c : middle) {
            const QChar first = upper ? u'A' : u'a';
            if (c < first || c > QChar(first.unicode() + 25))
                return std::nullopt;
            number = number * 26 + (c.unicode() - first.unicode() + 1);
        }
        return number;
    }
    if (name.endsWith(u"roman")) {
        static const struct {
            int value;
            const char *digits;
        } numerals[] = {{1000, "m"}, {900, "cm"}, {500, "d"}, {400, "cd"}, {100, "c"}, {90, "xc"}, {50, "l"},
                        {40, "xl"},  {10, "x"},   {9, "ix"},   {5, "v"},    {4, "iv"},  {1, "i"}};
        // Read greedily, then written again: only the one way of writing a
        // number is a marker ("ixi" reads as 10, which is written "x").
        const QString read = middle.toString().toLower();
        if (upper != (middle == middle.toString().toUpper()))
            return std::nullopt;
        QString rest = read;
        int number = 0;
        for (const auto &numeral : numerals) {
            const QLatin1String digits(numeral.digits);
            int repeats = 0;
            while (rest.startsWith(digits) && repeats < 3) {
                rest.remove(0, digits.size());
                number += numeral.value;
                ++repeats;
            }
        }
        if (!rest.isEmpty() || number == 0)
            return std::nullopt;
        QString written;
        int left = number;
        for (const auto &numeral : numerals) {
            for (; left >= numeral.value; left -= numeral.value)
                written += QLatin1String(numeral.digits);
        }
        if (written != read)
            return std::nullopt;
        return number;
    }
    return std::nullopt;
}

// The kind a reader shows for the list format: bullets it has no name for
// show as discs.
QString readerKind(const QString &format)
{
    const qsizetype open = format.indexOf(u'{');
    const qsizetype close = format.indexOf(u'}', open);
    const QString name = format.mid(open + 1, close - open - 1);
    if (name == u"circle" || name == u"square" || name == u"decimal" || name.endsWith(u"alpha")
        || name.endsWith(u"roman"))
        return name;
    return QStringLiteral("disc");
}

struct EditorItem {
    QList<TextList> lists;
    int number = 0; // 0: a bullet
    int prefixLength = 0;
};

// The item a paragraph of the editor is: in a list, and beginning with
// "\t" + a marker of that list + "\t" typed as text.
std::optional<EditorItem> editorItem(const QTextBlock &block)
{
    const auto style = RichTextBridge::paragraphStyle(block.blockFormat());
    if (!style || style->textLists.isEmpty())
        return std::nullopt;
    const QString text = block.text();
    const qsizetype second = text.startsWith(u'\t') ? text.indexOf(u'\t', 1) : -1;
    if (second < 0)
        return std::nullopt;
    const auto number = markerNumber(style->textLists.first().markerFormat, QStringView(text).mid(1, second - 1));
    if (!number)
        return std::nullopt;
    return EditorItem{style->textLists, *number, int(second) + 1};
}

QString visible(const QString &text)
{
    QString shown = text;
    shown.replace(u'\t', QLatin1String("\\t"));
    shown.replace(QChar(0x2028), QLatin1String("\\u2028"));
    shown.replace(QChar(0x2029), QLatin1String("\\u2029"));
    shown.replace(u'\n', QLatin1String("\\n"));
    return shown;
}

QString linkOf(const QTextCharFormat &format)
{
    return format.isAnchor() ? format.anchorHref() : QString();
}

// Stretches of a paragraph, [from, to), joined where they touch.
using Stretches = QList<std::pair<int, int>>;
void addStretch(Stretches &stretches, int from, int to)
{
    if (!stretches.isEmpty() && stretches.last().second == from)
        stretches.last().second = to;
    else
        stretches.append({from, to});
}

// Nobody sees how a line that shows nothing is aligned.
QList<ReaderLine> withVisibleAlignments(QList<ReaderLine> lines)
{
    for (ReaderLine &line : lines) {
        if (line.text.isEmpty())
            line.alignment.clear();
    }
    return lines;
}

} // namespace

struct EditorLayoutDriver::State {
    Choose choose;
    bool ended = false;
    QStringList steps;
    std::unique_ptr<MyDocument> document;
    MessageTabWidget *tab = nullptr;
    BodyTextView *view = nullptr;

    int pick(int bound)
    {
        const std::optional<int> chosen = choose(std::max(bound, 1));
        if (!chosen) {
            ended = true;
            return 0;
        }
        return *chosen;
    }

    QAction *windowAction(const QString &name) const { return document->window()->findChild<QAction *>(name); }

    void key(int key, Qt::KeyboardModifiers modifiers = Qt::NoModifier)
    {
        QTest::keyClick(view, Qt::Key(key), modifiers);
    }

    void setCaret(int position, int anchor = -1)
    {
        QTextCursor cursor = view->textCursor();
        cursor.setPosition(anchor < 0 ? position : anchor);
        if (anchor >= 0)
            cursor.setPosition(position, QTextCursor::KeepAnchor);
        view->setTextCursor(cursor);
    }

    int length() const { return view->document()->characterCount() - 1; }

    QTextBlock someBlock()
    {
        return view->document()->findBlockByNumber(pick(view->document()->blockCount()));
    }

    // Actions: each acts as the author does and says what it did.
    QString type()
    {
        // Also what looks like an item's marker.
        static const char *const words[] = {"Apples",      "3 EUR", "offer", "x", "Tom & <Jerry>",
                                            "two  spaces", " ",     "2.",    "\u2022"};
        const char *word = words[pick(int(std::size(words)))];
        const QString text = QString::fromUtf8(word);
        if (text.front().unicode() < 128) {
            QTest::keyClicks(view, text);
        } else {
            // As an input method gives what no key has.
            QInputMethodEvent input;
            input.setCommitString(text);
            QApplication::sendEvent(view, &input);
        }
        return QStringLiteral("type \"%1\"").arg(QString::fromUtf8(word));
    }
    QString tabKey()
    {
        key(Qt::Key_Tab);
        return QStringLiteral("Tab");
    }
    QString newParagraph()
    {
        key(Qt::Key_Return);
        return QStringLiteral("Return");
    }
    QString newLine()
    {
        key(Qt::Key_Return, Qt::ShiftModifier);
        return QStringLiteral("Shift+Return");
    }
    QString backspace()
    {
        key(Qt::Key_Backspace);
        return QStringLiteral("Backspace");
    }
    QString deleteForward()
    {
        key(Qt::Key_Delete);
        return QStringLiteral("Delete");
    }
    QString moveCaret()
    {
        const QTextBlock block = someBlock();
        switch (pick(4)) {
        case 0: {
            const int position = pick(length() + 1);
            setCaret(position);
            return QStringLiteral("caret to %1").arg(position);
        }
        case 1:
            setCaret(block.position());
            return QStringLiteral("caret to the start of line %1").arg(block.blockNumber());
        case 2:
            setCaret(block.position() + block.length() - 1);
            return QStringLiteral("caret to the end of line %1").arg(block.blockNumber());
        default:
            key(Qt::Key_End, Qt::ControlModifier);
            return QStringLiteral("Ctrl+End");
        }
    }
    QString select()
    {
        const int anchor = pick(length() + 1);
        const int position = pick(length() + 1);
        setCaret(position, anchor);
        return QStringLiteral("select from %1 to %2").arg(anchor).arg(position);
    }
    QString selectLines()
    {
        const QTextBlock first = someBlock();
        const QTextBlock last = someBlock();
        const int from = std::min(first.position(), last.position());
        const int to = std::max(first.position() + first.length(), last.position() + last.length()) - 1;
        setCaret(to, from);
        return QStringLiteral("select lines %1 to %2").arg(std::min(first.blockNumber(), last.blockNumber()))
            .arg(std::max(first.blockNumber(), last.blockNumber()));
    }
    QString backspaceAtLineStart()
    {
        const QTextBlock block = someBlock();
        setCaret(block.position());
        key(Qt::Key_Backspace);
        return QStringLiteral("Backspace at the start of line %1").arg(block.blockNumber());
    }
    // Right after the second tab of a paragraph that begins with a tab:
    // an item's marker, or what looks like one.
    QString backspaceAfterMarker()
    {
        const QTextBlock block = someBlock();
        const QString text = block.text();
        const qsizetype second = text.startsWith(u'\t') ? text.indexOf(u'\t', 1) : -1;
        if (second < 0)
            return backspaceAtLineStart();
        setCaret(block.position() + int(second) + 1);
        key(Qt::Key_Backspace);
        return QStringLiteral("Backspace after the marker of line %1").arg(block.blockNumber());
    }
    QString list()
    {
        const int style = pick(13);
        windowAction(QStringLiteral("formatList%1").arg(style))->trigger();
        return QStringLiteral("List %1").arg(style);
    }
    QString listOverLines()
    {
        const QString lines = selectLines();
        return lines + QStringLiteral(", ") + list();
    }
    QString font()
    {
        static const char *const items[] = {"formatBold", "formatItalic", "formatBigger", "formatSmaller"};
        const char *item = items[pick(int(std::size(items)))];
        windowAction(QLatin1String(item))->trigger();
        return QString::fromLatin1(item);
    }
    QString field()
    {
        tab->willBeSelected();
        const QList<QAction *> items = tab->fieldMenuButton()->menu()->actions();
        QAction *item = items.value(1 + pick(int(items.size()) - 1));
        if (!item)
            return QStringLiteral("no field");
        item->trigger();
        return QStringLiteral("field %1").arg(item->text());
    }
    QString messageNumber()
    {
        tab->specialAction(3)->trigger();
        return QStringLiteral("message number");
    }
    QString paste()
    {
        static const char *const texts[] = {"one\ntwo", "p\u2029q", "r\u2028s", "\u2029", "\t\u2022\tlooks listed"};
        const char *text = texts[pick(int(std::size(texts)))];
        QGuiApplication::clipboard()->setText(QString::fromUtf8(text));
        key(Qt::Key_V, Qt::ControlModifier);
        return QStringLiteral("paste \"%1\"").arg(visible(QString::fromUtf8(text)));
    }

    QString align()
    {
        static const struct {
            const char *item;
            Qt::Key key;
        } alignments[] = {{"formatAlignLeft", Qt::Key_L},
                          {"formatAlignCenter", Qt::Key_E},
                          {"formatAlignJustified", Qt::Key_J},
                          {"formatAlignRight", Qt::Key_R}};
        const auto &alignment = alignments[pick(int(std::size(alignments)))];
        if (pick(2) == 0) {
            windowAction(QLatin1String(alignment.item))->trigger();
            return QString::fromLatin1(alignment.item);
        }
        key(alignment.key, Qt::ControlModifier);
        return QStringLiteral("Ctrl+") + QKeySequence(alignment.key).toString();
    }
    QString alignLines()
    {
        const QString lines = selectLines();
        return lines + QStringLiteral(", ") + align();
    }

    // Positions of the tags in the text.
    QList<int> tagPositions() const
    {
        QList<int> positions;
        const QString text = view->document()->toRawText();
        for (qsizetype at = text.indexOf(QChar(0xFFFC)); at >= 0; at = text.indexOf(QChar(0xFFFC), at + 1))
            positions.append(int(at));
        return positions;
    }
    // The linked stretches of the text, [from, to).
    Stretches linkedStretches() const
    {
        Stretches linked;
        for (QTextBlock block = view->document()->begin(); block.isValid(); block = block.next()) {
            for (auto it = block.begin(); !it.atEnd(); ++it) {
                if (!linkOf(it.fragment().charFormat()).isEmpty())
                    addStretch(linked, it.fragment().position(), it.fragment().position() + it.fragment().length());
            }
        }
        return linked;
    }
    // A selection for a link: anywhere, or around a tag.
    QString selectForLink()
    {
        const QList<int> tags = tagPositions();
        if (tags.isEmpty() || pick(2) == 0)
            return select();
        const int tag = tags[pick(int(tags.size()))];
        const int from = std::max(0, tag - pick(4));
        const int to = std::min(length(), tag + 1 + pick(4));
        setCaret(to, from);
        return QStringLiteral("select from %1 to %2 around a tag").arg(from).arg(to);
    }
    // Format > Link... with an address typed into its sheet, and OK.
    QString link()
    {
        // With and without a scheme, and characters an attribute must escape.
        static const char *const addresses[] = {"https://example.org/events", "example.org/you",
                                                "https://example.org/?a=1&b=2#top"};
        const QString selection = selectForLink();
        const QString address = QString::fromLatin1(addresses[pick(int(std::size(addresses)))]);
        windowAction(QStringLiteral("formatLink"))->trigger();
        QLineEdit *field = view->textLinkURL();
        if (!field)
            return selection + QStringLiteral(", Link... (no sheet)");
        field->setText(address);
        view->setLink_okClicked();
        // Back in the window, as the window manager has it after the sheet.
        QApplication::setActiveWindow(document->window());
        view->setFocus(Qt::OtherFocusReason);
        return selection + QStringLiteral(", Link... %1").arg(address);
    }
    QString removeLink()
    {
        const QString selection = selectForLink();
        windowAction(QStringLiteral("formatRemoveLink"))->trigger();
        return selection + QStringLiteral(", Remove Link");
    }
    // The caret at a link's start or end, or inside it, where typing and
    // pasting are to extend it or not.
    QString caretAtLink()
    {
        const Stretches linked = linkedStretches();
        if (linked.isEmpty())
            return moveCaret();
        const auto [from, to] = linked[pick(int(linked.size()))];
        const int position = from + pick(to - from + 1);
        setCaret(position);
        return QStringLiteral("caret to %1 in the link over %2 to %3").arg(position).arg(from).arg(to);
    }

    QString undo()
    {
        key(Qt::Key_Z, Qt::ControlModifier);
        return QStringLiteral("Ctrl+Z");
    }
    QString redo()
    {
        key(Qt::Key_Z, Qt::ControlModifier | Qt::ShiftModifier);
        return QStringLiteral("Ctrl+Shift+Z");
    }
    // Of the selection, with its tags and lists, for a paste later.
    QString copy()
    {
        key(Qt::Key_C, Qt::ControlModifier);
        return QStringLiteral("Ctrl+C");
    }
    QString cut()
    {
        key(Qt::Key_X, Qt::ControlModifier);
        return QStringLiteral("Ctrl+X");
    }
    QString pasteCopied()
    {
        key(Qt::Key_V, Qt::ControlModifier);
        return QStringLiteral("Ctrl+V");
    }

    struct Action {
        int weight;
        QString (State::*act)();
    };
    // Another action is a row here.
    static constexpr Action actions[] = {
        {8, &State::type},
        {2, &State::tabKey},
        {6, &State::newParagraph},
        {2, &State::newLine},
        {2, &State::backspace},
        {1, &State::deleteForward},
        {4, &State::moveCaret},
        {2, &State::select},
        {2, &State::selectLines},
        {2, &State::backspaceAtLineStart},
        {2, &State::backspaceAfterMarker},
        {4, &State::list},
        {3, &State::listOverLines},
        {2, &State::font},
        {3, &State::field},
        {1, &State::messageNumber},
        {1, &State::paste},
        {1, &State::undo},
        {1, &State::redo},
        {1, &State::copy},
        {1, &State::cut},
        {1, &State::pasteCopied},
        {2, &State::align},
        {1, &State::alignLines},
        {2, &State::link},
        {1, &State::removeLink},
        {2, &State::caretAtLink},
    };

    // Each sequence on its own: an empty body with no history, and nothing
    // copied before.
    void reset()
    {
        QGuiApplication::clipboard()->clear();
        document->messageTab().setBodyText(RichText());
        view->setCurrentCharFormat(QTextCharFormat());
        view->setFocus(Qt::OtherFocusReason);
    }

    void open()
    {
        document = std::make_unique<MyDocument>();
        document->showWindows();
        Database &table = document->database();
        table.setFieldNamesFromArray(FieldNames);
        QVariantMap entry;
        for (int slot = 0; slot < FieldValues.size(); ++slot)
            entry.insert(QString::number(slot), FieldValues[slot]);
        table.setEntryArray({entry});
        table.setAddressFieldNo(0);
        table.postUpdatedNotification();
        tab = document->messageTabWidget();
        document->documentWindow()->tabView()->setCurrentWidget(tab);
        QApplication::setActiveWindow(document->window());
        tab->setOption(1);
        view = tab->bodyView();
        reset();
    }

    // What the editor shows of the block from `from` on: the tags'
    // values in their places.
    QString shownCharacters(const QTextCharFormat &format, QChar c) const
    {
        const TextAttachmentRef attachment = RichTextBridge::attachment(format);
        const auto tag = attachment ? std::dynamic_pointer_cast<SimpleTag>(attachment->cell) : nullptr;
        if (c != QChar(0xFFFC) || !tag)
            return QString(c);
        if (std::dynamic_pointer_cast<MessageNumberTag>(tag))
            return QStringLiteral("1");
        return FieldValues.value(int(FieldNames.indexOf(tag->tagName())));
    }

    QString shownText(const QTextBlock &block) const
    {
        QString shown;
        for (auto it = block.begin(); !it.atEnd(); ++it) {
            for (const QChar c : it.fragment().text())
                shown += shownCharacters(it.fragment().charFormat(), c);
        }
        return shown;
    }

    // The lines the editor shows of the block from `from` on, with their
    // links; a tag's value stands in the tag's link, and its line feed
    // ends a line where the value stands.
    QList<ReaderLine> shownLines(const QTextBlock &block, int from) const
    {
        QList<ReaderLine> lines;
        ReaderLineText line;
        const auto endLine = [&] {
            ReaderLine shown;
            line.finishInto(shown);
            lines.append(shown);
            line.clear();
        };
        for (auto it = block.begin(); !it.atEnd(); ++it) {
            const QTextFragment fragment = it.fragment();
            const QString href = linkOf(fragment.charFormat());
            const QString text = fragment.text();
            for (int i = std::max(0, from - (fragment.position() - block.position())); i < text.size(); ++i) {
                for (const QChar c : shownCharacters(fragment.charFormat(), text.at(i))) {
                    if (c == u'\n' || c == QChar::LineSeparator)
                        endLine();
                    else
                        line.append(QStringView(&c, 1), href);
                }
            }
        }
        endLine();
        return lines;
    }

    // The editor shows each link as one (the looks its paragraph's layout
    // draws) and nothing else as one.
    QString linkLooksFault(const QTextBlock &block) const
    {
        Stretches linked;
        for (auto it = block.begin(); !it.atEnd(); ++it) {
            const QTextFragment fragment = it.fragment();
            const int start = fragment.position() - block.position();
            if (!linkOf(fragment.charFormat()).isEmpty())
                addStretch(linked, start, start + fragment.length());
        }
        Stretches shown;
        const QColor linkColour = view->palette().color(QPalette::Link);
        for (const QTextLayout::FormatRange &range : block.layout()->formats()) {
            if (range.format.fontUnderline() && range.format.foreground().color() == linkColour)
                addStretch(shown, range.start, range.start + range.length);
        }
        if (shown == linked)
            return {};
        const auto described = [](const Stretches &stretches) {
            QStringList listed;
            for (const auto &[from, to] : stretches)
                listed << QStringLiteral("%1-%2").arg(from).arg(to);
            return listed.join(u' ');
        };
        return QStringLiteral("line %1 shows links at [%2] where its text has them at [%3]")
            .arg(block.blockNumber())
            .arg(described(shown), described(linked));
    }

    QString check()
    {
        tab->commitEdits();
        const MessageTab &message = document->messageTab();
        const Personalizer personalizer(document->database());
        const QString plain = message.plainTextStringWithPersonalizer(personalizer);
        const QString page = message.htmlTextStringWithFullPath(true, QString(), personalizer);

        QStringList plainLines;
        QList<ReaderLine> expected;
        QStringList faults;
        std::optional<EditorItem> previous;
        int previousNumber = 0;
        for (QTextBlock block = view->document()->begin(); block.isValid(); block = block.next()) {
            plainLines += shownText(block).split(QChar::LineSeparator);
            const std::optional<EditorItem> item = editorItem(block);
            QList<ReaderLine> lines = shownLines(block, item ? item->prefixLength : 0);
            for (ReaderLine &line : lines)
                line.alignment = alignmentName(block.blockFormat().alignment());
            if (item) {
                lines.first().marker = readerKind(item->lists.first().markerFormat);
                lines.first().number = item->number;
            }
            expected += lines;
            if (item && item->number > 0) {
                const int wanted = previous && previous->lists == item->lists ? previousNumber + 1 : 1;
                if (item->number != wanted)
                    faults << QStringLiteral("the editor numbers line %1 as %2, not %3")
                                  .arg(block.blockNumber()).arg(item->number).arg(wanted);
            }
            previous = item;
            previousNumber = item ? item->number : 0;
            const QString looks = linkLooksFault(block);
            if (!looks.isEmpty())
                faults << looks;
        }
        // Blank lines that end the message show nothing after the text.
        const auto withoutBlankEnd = [](QList<ReaderLine> lines) {
            lines = withVisibleAlignments(lines);
            while (!lines.isEmpty() && lines.last() == ReaderLine{})
                lines.removeLast();
            return lines;
        };
        expected = withoutBlankEnd(expected);

        // The plain part shows no links: only the text is compared there.
        if (plain != plainLines.join(u'\n'))
            faults << QStringLiteral("plain part \"%1\", the editor shows \"%2\"")
                          .arg(visible(plain), visible(plainLines.join(u'\n')));
        const QList<ReaderLine> read = withoutBlankEnd(readerLines(page));
        if (read != expected)
            faults << QStringLiteral("a reader shows\n%1\n-- where the editor shows\n%2\n-- page: %3")
                          .arg(describeLines(read, Alignments::Shown), describeLines(expected, Alignments::Shown),
                               page);
        if (faults.isEmpty())
            return {};
        return faults.join(u'\n') + QStringLiteral("\n-- text: \"%1\"").arg(visible(view->toPlainText()));
    }
};

EditorLayoutDriver::EditorLayoutDriver(Choose choose)
    : m_state(std::make_unique<State>())
{
    m_state->choose = std::move(choose);
    m_state->open();
}

EditorLayoutDriver::~EditorLayoutDriver() = default;

void EditorLayoutDriver::restart(Choose choose)
{
    m_state->choose = std::move(choose);
    m_state->ended = false;
    m_state->steps.clear();
    m_state->reset();
}

QString EditorLayoutDriver::run(int steps)
{
    State &state = *m_state;
    int total = 0;
    for (const State::Action &action : State::actions)
        total += action.weight;
    for (int step = 0; step < steps && !state.ended; ++step) {
        int chosen = state.pick(total);
        if (state.ended)
            break;
        for (const State::Action &action : State::actions) {
            if (chosen < action.weight) {
                state.steps << (state.*action.act)();
                break;
            }
            chosen -= action.weight;
        }
        QCoreApplication::processEvents();
        const QString fault = state.check();
        if (!fault.isEmpty())
            return fault;
    }
    return {};
}

QString EditorLayoutDriver::log() const
{
    return m_state->steps.join(u'\n');
}
