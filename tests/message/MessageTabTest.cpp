// The message of a project: its four forms, its stored form through the
// project file's archive, each recipient's outputs, and the copy a send
// run reads on its worker threads.

#include "ConditionTag.h"
#include "HTMLFileLinkTag.h"
#include "ImageTag.h"
#include "MessageTab.h"
#include "Personalizer.h"
#include "TemplateManager.h"
#include "TextFixtures.h"

#include "KeyedArchiver.h"
#include "KeyedUnarchiver.h"
#include "Settings.h"
#include "TestSupport.h"

#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <thread>

using namespace TextFixtures;
using Mode = MessageTab::Mode;

namespace {

SimpleTagRef field(const QString &name)
{
    return std::make_shared<SimpleTag>(name);
}

class Delegate : public TagDelegate {
public:
    bool editConditionTag(ConditionTag *) override { return true; }
    bool editImageTag(ImageTag *) override { return true; }
};

struct Outputs {
    QString subject;
    bool htmlAvailable = false;
    QString plain;
    QString html;
    QStringList inlineFiles;
    bool operator==(const Outputs &) const = default;
};

// As the send engine (content ids) and the preview (local paths) ask.
template <typename Message>
QList<Outputs> outputsOf(const Message &message, const Database &table)
{
    QList<Outputs> all;
    for (int row = 0; row < table.entryCount(); ++row) {
        for (const bool preview : {false, true}) {
            Personalizer p(table);
            p.setAddressNumber(row);
            p.setUseLocalPath(preview);
            const QString id = preview ? QString() : QStringLiteral("@m%1").arg(row);
            if (!preview)
                p.setMessageId(id);
            all << Outputs{AttributedTagString::taglessString(p.personalizeAttributedString(message.subjectString())),
                           message.htmlPartAvailable(), message.plainTextStringWithPersonalizer(p),
                           message.htmlTextStringWithFullPath(preview, preview ? QString("") : id, p),
                           message.inlineAttachments()};
        }
    }
    return all;
}

QVariantMap throughProjectArchive(const QVariantMap &data)
{
    QString error;
    const QVariant back =
        KeyedUnarchiver::unarchiveObjectWithData(KeyedArchiver::archivedDataWithRootObject(data), &error);
    EXPECT_TRUE(error.isEmpty()) << error.toStdString();
    return back.toMap();
}

class MessageTabTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(dir.isValid());
        picture = dir.filePath("logo one.png");
        ASSERT_TRUE(writePng(picture, 40, 20));
        writeFile(dir.filePath("tpl/Letter/head.png"), "png");
        writeFile(dir.filePath("tpl/Letter/index.html"), "<html><body><img src=\"head.png\">[[[message]]]</body></html>");
        TemplateManager::defaultManager().addTemplatesAtPath(dir.filePath("tpl"));

        table.addField("Name");
        table.addField("City");
        table.addField("Note");
        table.addEntryWithData(-1, {"Ann", "Bern", "a<b & \"c\""});
        table.addEntryWithData(-1, {"Bob", "Paris", "x>y"});
    }

    // "Dear <Name>, <Town>\n<image><image>"; a condition and a picture used twice.
    RichText formattedBody() const
    {
        const RichText greeting(QStringLiteral("greetings"), font("DejaVu Sans", 12));
        RichText body(QStringLiteral("Dear , "), font("DejaVu Sans", 12));
        DoInsertTagInAttributedString(field("Name"), body, 5);
        body.append(withTag({}, std::make_shared<ConditionTag>(
                                    "Town", QList<ConditionRule>{rule("City", ConditionRule::Equals, "Bern", greeting)}),
                            "\n"));
        auto image = std::make_shared<ImageTag>(picture);
        body.append(withTag({}, image));
        body.append(withTag({}, std::make_shared<ImageTag>(picture)));
        return body;
    }

    // A message in the mode; a raw-HTML one shows its plain part, the hidden
    // part being the HTML source.
    void fill(MessageTab &tab, Mode mode) const
    {
        tab.setSubjectText(withTag("Hello ", field("Name")));
        tab.setBackgroundColor(RgbaColor{1.0f, 0.5f, 0.0f, 1.0f});
        tab.setMode(mode, mode == Mode::Template ? QStringLiteral("Letter") : QString());
        if (mode != Mode::RawHTML) {
            tab.setBodyText(formattedBody());
            return;
        }
        RichText source = withTag("<p title=\"", field("Note"), "\">Hi ");
        source.append(withTag({}, field("Name"), "</p><img src=\""));
        source.append(withTag({}, std::make_shared<HTMLFileLinkTag>(dir.filePath("x&y.png")), "\">"));
        tab.setBodyText(source);
        tab.setEditHTMLPart(false);
        RichText plain = withTag("Hi ", field("Name"), ", ");
        plain.append(withTag({}, field("Note")));
        tab.setBodyText(plain);
    }

    QTemporaryDir dir;
    QString picture;
    Database table;
    Delegate delegate;
};

} // namespace

TEST_F(MessageTabTest, NewMessageIsPlainText)
{
    MessageTab tab;
    tab.setBodyText(withTag("Dear ", field("Name")));
    EXPECT_EQ(outputsOf(tab, table).at(0), (Outputs{"", false, "Dear Ann", QString(), {}}));
}

TEST_F(MessageTabTest, EachModeReadsBackAndItsSnapshotServesWorkerThreads)
{
    for (const Mode mode : {Mode::Formatted, Mode::RawHTML, Mode::Plain, Mode::Template}) {
        SCOPED_TRACE(int(mode));
        MessageTab tab;
        fill(tab, mode);
        const QVariantMap data = tab.fileData();
        EXPECT_EQ(data.value("Formatted Text").toString(), mode == Mode::Formatted || mode == Mode::Template ? "1" : "0");
        EXPECT_EQ(data.value("Treat as html").toString(), mode == Mode::RawHTML ? "1" : "0");
        EXPECT_EQ(data.value("Use Template"), mode == Mode::Template);
        EXPECT_EQ(data.contains("Template Name"), mode == Mode::Template);
        EXPECT_EQ(data.contains("Alternative Body String"), mode == Mode::RawHTML);
        EXPECT_EQ(data.value("Subject String"), QString("Hello ") + QChar(0xFFFC));
        if (mode == Mode::RawHTML) {
            // Stored with the plain part shown: the HTML source is still the body.
            EXPECT_TRUE(data.value("Rich Body String").value<RichText>().string().startsWith("<p title="));
            EXPECT_EQ(data.value("Alternative Body String").value<RichText>(), tab.bodyString());
        }

        MessageTab back;
        back.setTagDelegate(&delegate);
        back.readFileData(throughProjectArchive(data));
        // The threads are the first to ask the restored tags anything.
        const QList<Outputs> expected = outputsOf(tab, table);
        const MessageSnapshotRef snapshot = back.snapshot();
        QList<QList<Outputs>> results(4);
        std::vector<std::thread> workers;
        for (int t = 0; t < results.size(); ++t)
            workers.emplace_back([&, t] {
                for (int round = 0; round < 20; ++round)
                    results[t] = outputsOf(*snapshot, table);
            });
        for (std::thread &worker : workers)
            worker.join();
        for (const QList<Outputs> &result : results)
            EXPECT_EQ(result, expected);
        EXPECT_EQ(outputsOf(back, table), expected);

        EXPECT_EQ(back.mode(), mode);
        EXPECT_EQ(back.templateName(), tab.templateName());
        EXPECT_EQ(back.editHTMLPart(), mode == Mode::RawHTML);
        EXPECT_EQ(back.backgroundColor(), tab.backgroundColor());
        // Formatted text keeps the fonts it was stored with.
        if (tab.formattedText()) {
            EXPECT_EQ(back.bodyString().attributesAtIndex(0), tab.bodyString().attributesAtIndex(0));
        }
        for (const SimpleTagRef &tag : AttributedTagString::tags(back.bodyString()))
            EXPECT_EQ(tag->delegate(), &delegate);

        // Later edits of the tab and its tags do not reach the snapshot.
        back.tagNameChanged("Name", "Renamed");
        back.setSubjectText(RichText("Other subject"));
        if (auto condition = std::dynamic_pointer_cast<ConditionTag>(AttributedTagString::tags(back.bodyString()).value(1)))
            condition->setDataArray({});
        back.setMode(Mode::Plain);
        back.setBodyText(RichText("changed"));
        EXPECT_NE(outputsOf(back, table), expected);
        EXPECT_EQ(outputsOf(*snapshot, table), expected);
    }
}

TEST_F(MessageTabTest, FormattedAndTemplateParts)
{
    MessageTab tab;
    fill(tab, Mode::Formatted);
    QList<Outputs> out = outputsOf(tab, table);
    EXPECT_EQ(out[0].plain, "Dear Ann, greetings\n");
    EXPECT_EQ(out[2].plain, "Dear Bob, \n");
    EXPECT_TRUE(out[0].html.startsWith("<html><body bgcolor=\"FF7F00\">"));
    EXPECT_TRUE(out[0].html.contains("Ann"));
    EXPECT_EQ(out[0].html.count("src=\"cid:logo_one.png@m0\""), 2);
    EXPECT_TRUE(out[1].html.contains(picture));
    // The same picture twice is one inline part.
    EXPECT_EQ(out[0].inlineFiles, QStringList{picture});

    tab.setMode(Mode::Template, "Letter");
    out = outputsOf(tab, table);
    EXPECT_TRUE(out[0].html.startsWith("<html><body><img src=\"cid:head.png@m0\">"));
    EXPECT_TRUE(out[0].html.endsWith("</body></html>"));
    EXPECT_EQ(out[0].html.count("<html>"), 1);
    EXPECT_TRUE(out[0].html.contains("src=\"cid:logo_one.png@m0\""));
    EXPECT_TRUE(out[1].html.startsWith("<html><body><img src=\"file://" + dir.filePath("tpl/Letter/head.png")));
    EXPECT_EQ(out[0].plain, "Dear Ann, greetings\n");
    ASSERT_EQ(out[0].inlineFiles.size(), 2);
    EXPECT_EQ(out[0].inlineFiles[0], picture);
    EXPECT_TRUE(out[0].inlineFiles[1].endsWith("/tpl/Letter/head.png"));
}

TEST_F(MessageTabTest, MissingTemplateSendsTheFormattedPage)
{
    MessageTab tab;
    fill(tab, Mode::Template);
    tab.setMode(Mode::Template, "Uninstalled Design");
    const QList<Outputs> missing = outputsOf(tab, table);
    tab.setMode(Mode::Formatted);
    const QList<Outputs> formatted = outputsOf(tab, table);
    EXPECT_EQ(missing, formatted);
    EXPECT_FALSE(missing[0].html.isEmpty());
    EXPECT_EQ(missing[0].inlineFiles, QStringList{picture});
}

TEST_F(MessageTabTest, RawHTMLEscapesValuesButNotTheSource)
{
    MessageTab tab;
    fill(tab, Mode::RawHTML);
    const RichText writtenPlainPart = tab.bodyString();
    const QList<Outputs> out = outputsOf(tab, table);
    EXPECT_TRUE(out[0].htmlAvailable);
    EXPECT_EQ(out[0].html, "<p title=\"a&lt;b &amp; &quot;c&quot;\">Hi Ann</p><img src=\"cid:x&amp;y.png@m0\">");
    EXPECT_EQ(out[3].html, "<p title=\"x&gt;y\">Hi Bob</p><img src=\"file://" + dir.filePath("x&amp;y.png") + "\">");
    // The plain part is text and stays as the recipient's values are.
    EXPECT_EQ(out[0].plain, "Hi Ann, a<b & \"c\"");
    EXPECT_EQ(out[0].inlineFiles, QStringList{dir.filePath("x&y.png")});
    // A plain part of nothing but white space is none: the page's text stands in.
    tab.setBodyText(RichText(QStringLiteral(" \n\t")));
    EXPECT_EQ(outputsOf(tab, table)[0].plain, "Hi Ann");
    // As a send run's threads read it.
    const MessageSnapshotRef snapshot = tab.snapshot();
    QStringList plains(2);
    std::vector<std::thread> readers;
    for (QString &plain : plains)
        readers.emplace_back([&] { plain = snapshot->plainTextStringWithPersonalizer(Personalizer(table)); });
    for (std::thread &reader : readers)
        reader.join();
    EXPECT_EQ(plains, QStringList({"Hi Ann", "Hi Ann"}));
    tab.setBodyText(writtenPlainPart);

    // Choosing raw HTML again while the plain part is shown shows the source
    // instead of taking the plain part for it.
    tab.setMode(Mode::RawHTML);
    EXPECT_TRUE(tab.editHTMLPart());
    EXPECT_TRUE(tab.bodyString().string().startsWith("<p title="));
    EXPECT_EQ(outputsOf(tab, table), out);
}

TEST_F(MessageTabTest, StoredFormsOfEveryAge)
{
    MessageTab tab;
    // Both flags set: the HTML source is what the user wrote.
    tab.readFileData({{"Rich Body String", QVariant::fromValue(withTag("<b>", field("Name"), "</b>"))},
                      {"Formatted Text", "1"}, {"Treat as html", "1"}});
    EXPECT_EQ(tab.mode(), Mode::RawHTML);
    EXPECT_FALSE(tab.formattedText());
    EXPECT_EQ(outputsOf(tab, table).at(0).html, "<b>Ann</b>");
    EXPECT_TRUE(tab.alternativeBodyPart().has_value());

    // The next message read leaves nothing of the hidden part behind.
    tab.readFileData({{"Subject String", "Plain subject"}, {"Body String", "Body"},
                      {"Rich Body String", "damaged"}, {"Formatted Text", "1"}, {"Use Template", false},
                      {"Template Name", "Letter"}});
    EXPECT_EQ(tab.mode(), Mode::Formatted);
    EXPECT_TRUE(tab.templateName().isNull());
    EXPECT_FALSE(tab.alternativeBodyPart().has_value());
    EXPECT_EQ(tab.subjectString(), RichText("Plain subject"));
    EXPECT_EQ(tab.bodyString().string(), "Body");
    tab.setMode(Mode::RawHTML);
    EXPECT_EQ(tab.alternativeBodyPart(), RichText());

    tab.readDataString("Subject/#+D2+#/Body/#+D2+#/more");
    EXPECT_EQ(tab.subjectString().string(), "Subject");
    EXPECT_EQ(tab.bodyString().string(), "Body/#+D2+#/more");
    tab.readDataString("All of it is the body");
    EXPECT_EQ(tab.subjectString().string(), "");
    EXPECT_EQ(tab.bodyString().string(), "All of it is the body");
}

TEST_F(MessageTabTest, DefaultFontOnlyOnTheWayIntoFormattedText)
{
    const FontDescriptor messageFont{"DejaVu Serif", 15.0, false, false};
    const FontDescriptor chosen{"DejaVu Sans Mono", 30.0, true, false};
    const auto fontAt = [](const MessageTab &tab, int index) {
        return tab.bodyString().attributesAtIndex(index).value(TextAttributeName::Font).value<FontDescriptor>();
    };
    const FontOfNewMessagesKept keptFont;
    Settings::setDefaultMessageFont(messageFont);
    MessageTab tab;
    tab.setBodyText(RichText("abc"));
    tab.setMode(Mode::Formatted);
    EXPECT_TRUE(tab.bodyIsRichText());
    EXPECT_EQ(fontAt(tab, 2), messageFont);
    EXPECT_EQ(tab.bodyFont(), messageFont);

    tab.textStorage().setAttributes(font(chosen.family, chosen.pointSize, true), TextRange{0, 1});
    tab.setMode(Mode::Formatted);
    tab.setMode(Mode::Template, "Letter");
    tab.setMode(Mode::Formatted);
    EXPECT_EQ(fontAt(tab, 0), chosen);

    // Family and size follow the form; bold stays bold through the round trip.
    tab.setMode(Mode::Plain);
    EXPECT_EQ(fontAt(tab, 0), (FontDescriptor{Settings::userFixedPitchFontFamily(), 10.0, true, false}));
    EXPECT_EQ(fontAt(tab, 2), (FontDescriptor{Settings::userFixedPitchFontFamily(), 10.0, false, false}));
    tab.setMode(Mode::Template, "Letter");
    EXPECT_EQ(fontAt(tab, 0), (FontDescriptor{messageFont.family, messageFont.pointSize, true, false}));
    EXPECT_EQ(fontAt(tab, 2), messageFont);

    // Text without a font of its own is sent in the font it is shown in.
    const Personalizer personalizer(table);
    const QString written = R"(<font face="DejaVu Serif, serif" size="4" style="font-size:15pt">x</font>)";
    for (const Mode mode : {Mode::Template, Mode::Formatted}) {
        tab.setMode(mode, "Letter");
        tab.setBodyText(RichText("x"));
        EXPECT_TRUE(tab.htmlTextStringWithFullPath(true, {}, personalizer).contains(written));
        EXPECT_TRUE(tab.snapshot()->htmlTextStringWithFullPath(false, "@m", personalizer).contains(written));
    }
}

TEST_F(MessageTabTest, FieldRenameReachesEveryPart)
{
    const auto names = [](const RichText &text) {
        QStringList list;
        for (const SimpleTagRef &tag : AttributedTagString::tags(text))
            list << tag->tagName();
        return list;
    };
    MessageTab tab;
    fill(tab, Mode::RawHTML);
    tab.observeFieldNameChanges(&table);
    // Reported as tags edited in place, never as new text: a view holding
    // typed text would otherwise take the message's older text back.
    int edits = 0;
    int textEdits = 0;
    tab.textStorage().setEditObserver([&](TagTextStorage::EditKind kind, TextRange, int delta) {
        edits += kind == TagTextStorage::EditKind::Tags && delta == 0;
        textEdits += kind != TagTextStorage::EditKind::Tags;
    });

    table.changeFieldNameTo("First", table.columnIDForFieldIndex(0));
    EXPECT_EQ(names(tab.subjectString()), QStringList{"First"});
    EXPECT_EQ(names(tab.bodyString()), QStringList({"First", "Note"}));
    // The hidden HTML source is sent too, so it follows the rename.
    EXPECT_EQ(names(*tab.alternativeBodyPart()), QStringList({"Note", "First", "x&y.png"}));
    EXPECT_GT(edits, 0);
    EXPECT_EQ(textEdits, 0);
    EXPECT_EQ(outputsOf(tab, table).at(0).html.count("Ann"), 1);

    Database other;
    other.addField("First");
    other.changeFieldNameTo("Elsewhere", other.columnIDForFieldIndex(0));
    tab.fieldNameChangedNotification({{"oldName", "First"}});
    EXPECT_EQ(names(tab.subjectString()), QStringList{"First"});
}

TEST_F(MessageTabTest, ImportedPageIsTheSourceWhicheverPartIsShown)
{
    // While the plain part is shown, an import must not take the plain part's
    // place: the page becomes the source, the plain part stays the plain part.
    MessageTab tab;
    fill(tab, Mode::RawHTML);
    const RichText plain = tab.bodyString();
    const RichText page(QStringLiteral("<p>new</p>"));
    const MessageTab::FormChange change = tab.importChange(page);
    tab.setForm(change.form);
    tab.setBodyText(change.body);
    EXPECT_TRUE(tab.editHTMLPart());
    EXPECT_EQ(tab.bodyString().string(), page.string());
    ASSERT_TRUE(tab.alternativeBodyPart());
    EXPECT_EQ(tab.alternativeBodyPart()->string(), plain.string());

    // Worked out without being made, a change leaves the message as it is.
    const RichText before = tab.bodyString();
    (void)tab.modeChange(Mode::Formatted);
    (void)tab.editHTMLPartChange(false);
    EXPECT_EQ(tab.mode(), Mode::RawHTML);
    EXPECT_EQ(tab.bodyString(), before);
}
