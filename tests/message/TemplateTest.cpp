#include "AttributedTagString.h"
#include "HTMLFileLinkTag.h"
#include "HTMLTranslator.h"
#include "MessageTemplate.h"
#include "TemplateManager.h"

#include "AppPaths.h"
#include "TextFixtures.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStringEncoder>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <atomic>
#include <sys/stat.h>
#include <thread>

using TextFixtures::writeFile;

namespace {

const QChar Tag(u'\uFFFC');

QStringList tagPaths(const RichText &text)
{
    QStringList paths;
    for (const auto &tag : AttributedTagString::tags(text)) {
        const auto *link = dynamic_cast<const HTMLFileLinkTag *>(tag.get());
        paths.append(link ? link->imagePath() : QStringLiteral("<not a file link>"));
    }
    return paths;
}

struct RecordingDelegate : HTMLTranslatorDelegate {
    QList<QVariantMap> seen;
    void htmlTranslatorHandleTagAttribute(HTMLTranslator &translator, const QVariantMap &attribute) override
    {
        seen.append(attribute);
        if (attribute.value("name") == "b")
            translator.setReplacementString(RichText("B", {{TextAttributeName::Link, QStringLiteral("x")}}));
    }
};

} // namespace

TEST(HTMLTranslator, copiesOutsideTagsAndRejoinsWordsInside)
{
    HTMLTranslator translator;
    EXPECT_EQ(translator.parseHTMLString("a\r\nb <p  class = \"x\"\tid=y\n>\r\nc").string(),
              "a\r\nb <p  class=\"x\" id=y >\r\nc");
    EXPECT_EQ(translator.parseHTMLString("1 < 2 and x<y").string(), "1 < 2 and x<y");
    EXPECT_EQ(translator.parseHTMLString("<><a>").string(), "<><a>");
    // A quote left open does not swallow the page: the first ">" ends the tag.
    EXPECT_EQ(translator.parseHTMLString("<a title=\"x>y <b>").string(), "<a title=\"x>y <b>");

    RecordingDelegate delegate;
    translator.setDelegate(&delegate);
    const RichText out = translator.parseHTMLString("<img SRC=\"a.png?v=2\" alt b>");
    ASSERT_EQ(delegate.seen.size(), 4);
    EXPECT_EQ(delegate.seen[0], (QVariantMap{{"name", "img"}}));
    EXPECT_EQ(delegate.seen[1], (QVariantMap{{"name", "SRC"}, {"value", "a.png?v"}}));
    EXPECT_FALSE(delegate.seen[2].contains("value"));
    EXPECT_EQ(out.string(), "<img SRC=\"a.png?v=2\" alt B>");
    EXPECT_EQ(out.attributesAtIndex(out.length() - 2).value(TextAttributeName::Link), "x");
    EXPECT_TRUE(out.attributesAtIndex(0).isEmpty());
}

TEST(MessageTemplate, fileReferencesInTheFolderBecomeFileLinkTags)
{
    QTemporaryDir dir;
    const QString folder = dir.path() + "/Letter";
    writeFile(folder + "/pic.png", "png");
    writeFile(folder + "/img/logo.png", "png");
    writeFile(folder + "/index.html", "<p>Hi\n</p><img src=\"pic.png\" alt=\"x\"><img  SRC = \"img/logo.png\">"
                                      "<img src=\"missing.png\"><td background=pic.png>[[[message]]]"
                                      "<a href=\"pic.png?v=2\"><img src=\"pic.png\"/><link HREF=\"img/../pic.png\">");
    const MessageTemplate tmpl(folder);
    EXPECT_EQ(tmpl.name(), "Letter");
    EXPECT_EQ(tmpl.startString().string(), QString("<p>Hi\n</p><img src=\"%1\" alt=\"x\"><img  SRC=\"%1\">"
                                                   "<img src=\"missing.png\"><td background=\"%1\">")
                                               .arg(Tag));
    EXPECT_EQ(tagPaths(tmpl.startString()), QStringList({folder + "/pic.png", folder + "/img/logo.png", folder + "/pic.png"}));
    // A cut value and a word with more than name and value stay text.
    EXPECT_EQ(tmpl.endString().string(),
              QString("<a href=\"pic.png?v=2\"><img src=\"pic.png\"/><link HREF=\"%1\">").arg(Tag));
    EXPECT_EQ(tmpl.inlineAttachments(),
              QStringList({folder + "/pic.png", folder + "/img/logo.png", folder + "/pic.png", folder + "/pic.png"}));

    const RichText applied = tmpl.applyToString(RichText("BODY"));
    EXPECT_EQ(applied.string(), tmpl.startString().string() + "BODY" + tmpl.endString().string());
    EXPECT_EQ(AttributedTagString::inlineFileAttachments(applied), tmpl.inlineAttachments());
}

TEST(MessageTemplate, quotedValuesKeepTheirGreaterThanSignsAndWordsToThemselves)
{
    // A ">" or a "src=" inside a quoted value is text of that value: the
    // tag goes on, and its real references, quoted either way, still travel
    // with the message.
    QTemporaryDir dir;
    const QString folder = dir.path() + "/Quoted";
    writeFile(folder + "/logo.png", "png");
    writeFile(folder + "/index.html", "<img alt=\"a > b\" src=\"logo.png\"><img title='x src=logo.png  y' src=logo.png>"
                                      "<a href = 'logo.png' title=\"1>0\">[[[message]]]");
    const MessageTemplate tmpl(folder);
    EXPECT_EQ(tmpl.startString().string(), QString("<img alt=\"a > b\" src=\"%1\"><img title='x src=logo.png  y' "
                                                   "src=\"%1\"><a href=\"%1\" title=\"1>0\">")
                                               .arg(Tag));
    EXPECT_EQ(tagPaths(tmpl.startString()), QStringList(3, folder + "/logo.png"));
}

TEST(MessageTemplate, referencesLeavingTheFolderOrNamingNoRegularFileAreRefused)
{
    QTemporaryDir dir;
    const QString folder = dir.path() + "/T";
    writeFile(dir.path() + "/secret.txt", "secret");
    writeFile(folder + "/ok.png", "png");
    QDir().mkpath(folder + "/dir.png");
    QDir().mkpath(dir.path() + "/outside");
    ASSERT_TRUE(QFile::link(dir.path() + "/secret.txt", folder + "/link.png"));
    ASSERT_TRUE(QFile::link(dir.path() + "/outside", folder + "/linkdir"));
    writeFile(dir.path() + "/outside/x.png", "png");
    ASSERT_EQ(::mkfifo(QFile::encodeName(folder + "/pipe.png").constData(), 0600), 0);
    const QString html = QString("<img src=\"../secret.txt\"><img src=\"%1/secret.txt\"><img src=\"link.png\">"
                                 "<img src=\"linkdir/x.png\"><img src=\"pipe.png\"><img src=\"dir.png\">"
                                 "<img src=\"\"><img src=\"../T/ok.png\">[[[message]]]")
                             .arg(dir.path());
    writeFile(folder + "/index.html", html.toUtf8());
    const MessageTemplate tmpl(folder);
    EXPECT_EQ(tmpl.inlineAttachments(), QStringList{folder + "/ok.png"});
    EXPECT_EQ(tmpl.startString().string().count(Tag), 1);

    // An index file that is a FIFO, too large, or a link out gives an empty template, and does not block.
    const QString fifoFolder = dir.path() + "/Fifo";
    QDir().mkpath(fifoFolder);
    ASSERT_EQ(::mkfifo(QFile::encodeName(fifoFolder + "/index.html").constData(), 0600), 0);
    EXPECT_TRUE(MessageTemplate(fifoFolder).startString().isEmpty());
    writeFile(dir.path() + "/Big/index.html", QByteArray(16 * 1024 * 1024 + 1, ' '));
    EXPECT_TRUE(MessageTemplate(dir.path() + "/Big").startString().isEmpty());
    QDir().mkpath(dir.path() + "/Linked");
    ASSERT_TRUE(QFile::link(folder + "/index.html", dir.path() + "/Linked/index.html"));
    EXPECT_TRUE(MessageTemplate(dir.path() + "/Linked").startString().isEmpty());
}

TEST(MessageTemplate, splitsAtTheFirstMarkerOnly)
{
    QTemporaryDir dir;
    writeFile(dir.path() + "/None/index.html", "<p>no marker</p>");
    const MessageTemplate none(dir.path() + "/None");
    EXPECT_EQ(none.startString().string(), "<p>no marker</p>");
    EXPECT_TRUE(none.endString().isEmpty());

    writeFile(dir.path() + "/Two/a.png", "a");
    writeFile(dir.path() + "/Two/b.png", "b");
    writeFile(dir.path() + "/Two/index.html", "<img src=b.png>[[[message]]]<img src=a.png>[[[message]]]unused");
    const MessageTemplate two(dir.path() + "/Two");
    EXPECT_EQ(two.endString().string(), QString("<img src=\"%1\">").arg(Tag));
    EXPECT_EQ(two.inlineAttachments(), QStringList({dir.path() + "/Two/b.png", dir.path() + "/Two/a.png"}));

    const MessageTemplate empty(dir.path() + "/Missing");
    EXPECT_EQ(empty.applyToString(RichText("text")).string(), "text");
    EXPECT_TRUE(empty.inlineAttachments().isEmpty());
}

TEST(MessageTemplate, decodesByMarkThenUtf8ThenWindows1252)
{
    const QString text = QString::fromUtf8("<p>Grüße “ok” 😀</p>");
    QStringEncoder be(QStringConverter::Utf16BE);
    QStringEncoder le(QStringConverter::Utf16LE);
    EXPECT_EQ(MessageTemplate::decodeText(QByteArray("\xFE\xFF") + QByteArray(be.encode(text))), text);
    EXPECT_EQ(MessageTemplate::decodeText(QByteArray("\xFF\xFE") + QByteArray(le.encode(text))), text);
    EXPECT_EQ(MessageTemplate::decodeText("\xEF\xBB\xBF" + text.toUtf8()), text);
    EXPECT_EQ(MessageTemplate::decodeText(text.toUtf8()), text);
    EXPECT_EQ(MessageTemplate::decodeText("\x93quoted\x94 \x80 caf\xE9 \x81"),
              QString::fromUtf8("“quoted” € café \u0081"));
    // A sequence cut off at the end is not UTF-8 either.
    EXPECT_EQ(MessageTemplate::decodeText("ab\xC3"), QString::fromUtf8("abÃ"));

    QTemporaryDir dir;
    writeFile(dir.path() + "/U16/index.html",
              QByteArray("\xFF\xFE") + QByteArray(le.encode(QStringLiteral("<b>[[[message]]]</b>"))));
    EXPECT_EQ(MessageTemplate(dir.path() + "/U16").endString().string(), "</b>");
    EXPECT_TRUE(TemplateManager::checkTemplateFolder(dir.path() + "/U16").isNull());
}

TEST(MessageTemplate, previewFallsBackToTheApplicationPicture)
{
    QTemporaryDir dir;
    QDir().mkpath(dir.path() + "/P");
    ASSERT_TRUE(QImage(20, 10, QImage::Format_RGB32).save(dir.path() + "/P/preview.jpg", "JPG"));
    EXPECT_EQ(MessageTemplate(dir.path() + "/P").previewImage().size(), QSize(20, 10));

    const QImage fallback = MessageTemplate(dir.path() + "/None").previewImage();
    EXPECT_FALSE(fallback.isNull());
    writeFile(dir.path() + "/Broken/preview.jpg", "not a picture");
    EXPECT_EQ(MessageTemplate(dir.path() + "/Broken").previewImage(), fallback);
    QDir().mkpath(dir.path() + "/Out");
    ASSERT_TRUE(QFile::link(dir.path() + "/P/preview.jpg", dir.path() + "/Out/preview.jpg"));
    EXPECT_EQ(MessageTemplate(dir.path() + "/Out").previewImage(), fallback);

    EXPECT_FALSE(MessageTemplate(dir.path() + "/P").inBundle());
    EXPECT_TRUE(MessageTemplate(TemplateManager::bundledTemplatesPath() + "/Newsletter").inBundle());
    EXPECT_FALSE(MessageTemplate(AppPaths::resourcesPath() + "-other/Newsletter").inBundle());
}

TEST(TemplateManager, checksInstallsAndUninstallsUserTemplates)
{
    QTemporaryDir dir;
    const QString source = dir.path() + "/Installable";
    EXPECT_EQ(TemplateManager::checkTemplateFolder(source), "TEMPLATE_NO_INDEX_FILE");
    writeFile(source + "/index.html", "<p>no marker</p>");
    EXPECT_EQ(TemplateManager::checkTemplateFolder(source), "TEMPLATE_NO_MESSAGE_TAG");
    writeFile(source + "/index.html", "<p>[[[message]]]</p>");
    EXPECT_TRUE(TemplateManager::checkTemplateFolder(source).isNull());

    writeFile(source + "/img/a.png", "a");
    writeFile(dir.path() + "/secret.txt", "secret");
    ASSERT_TRUE(QFile::link(dir.path() + "/secret.txt", source + "/img/link.png"));
    const QString installed = TemplateManager::templateInstallPath() + "/Installable";
    ASSERT_TRUE(TemplateManager::installTemplate(source));
    EXPECT_TRUE(QFileInfo(installed + "/img/a.png").isFile());
    EXPECT_FALSE(QFileInfo(installed + "/img/link.png").exists());

    writeFile(source + "/index.html", "changed [[[message]]]");
    writeFile(source + "/new.png", "n");
    EXPECT_FALSE(TemplateManager::installTemplate(source));
    EXPECT_FALSE(QFileInfo::exists(installed + "/new.png"));
    EXPECT_EQ(QFile(installed + "/index.html").size(), 20);
    EXPECT_FALSE(TemplateManager::installTemplate(TemplateManager::templateInstallPath()));
    EXPECT_FALSE(TemplateManager::installTemplate(dir.path() + "/nothing"));

    for (const char *name : {"", "..", "../Installable", "Installable/img", ".Installable", "Nothing"})
        EXPECT_FALSE(TemplateManager::uninstallTemplate(name)) << name;
    EXPECT_TRUE(QFileInfo::exists(installed));
    EXPECT_TRUE(TemplateManager::uninstallTemplate("Installable"));
    EXPECT_FALSE(QFileInfo::exists(installed));
    EXPECT_TRUE(QFileInfo::exists(dir.path() + "/secret.txt"));
}

TEST(TemplateManager, userTemplatesShadowBuiltInOnesAndHeldTemplatesOutliveReloads)
{
    TemplateManager &manager = TemplateManager::defaultManager();
    TemplateManager::loadTemplates();
    const QStringList builtIn = manager.templateNames();
    ASSERT_TRUE(builtIn.contains("Newsletter") && builtIn.contains("Simple Letter"));
    const MessageTemplateRef held = manager.templateForName("Newsletter");
    ASSERT_TRUE(held && held->inBundle());
    const QString heldStart = held->startString().string();

    QTemporaryDir dir;
    writeFile(dir.path() + "/Newsletter/index.html", "mine [[[message]]]");
    ASSERT_TRUE(TemplateManager::installTemplate(dir.path() + "/Newsletter"));
    QDir().mkpath(TemplateManager::templateInstallPath() + "/.hidden");

    std::atomic<bool> stop = false;
    std::thread reader([&] {
        while (!stop) {
            if (const MessageTemplateRef t = manager.templateForName("Simple Letter"))
                (void)t->applyToString(RichText("x")).length();
        }
    });
    for (int i = 0; i < 5; ++i)
        TemplateManager::loadTemplates();
    stop = true;
    reader.join();

    const QStringList names = manager.templateNames();
    EXPECT_EQ(names, builtIn);
    EXPECT_FALSE(manager.templateForName("Newsletter")->inBundle());
    EXPECT_EQ(manager.templateForName("Newsletter")->startString().string(), "mine ");
    EXPECT_EQ(held->startString().string(), heldStart);

    ASSERT_TRUE(TemplateManager::uninstallTemplate("Newsletter"));
    QDir(TemplateManager::templateInstallPath() + "/.hidden").removeRecursively();
    manager.clearTemplateList();
    EXPECT_TRUE(manager.templateNames().isEmpty());
    manager.addTemplatesAtPath(TemplateManager::bundledTemplatesPath());
    EXPECT_TRUE(manager.templateForName("Newsletter")->inBundle());
}

TEST(TemplateManager, shippedTemplatesAreCompleteAndReferOnlyToTheirOwnFiles)
{
    const QDir bundled(TemplateManager::bundledTemplatesPath());
    const QStringList names = bundled.entryList(QDir::Dirs | QDir::NoDotAndDotDot);
    ASSERT_GE(names.size(), 2);
    const QImage fallback = MessageTemplate(QDir::tempPath() + "/no-such-template").previewImage();
    for (const QString &name : names) {
        SCOPED_TRACE(name.toStdString());
        const QString folder = bundled.filePath(name);
        EXPECT_TRUE(TemplateManager::checkTemplateFolder(folder).isNull());
        const QByteArray html = [&] {
            QFile f(folder + "/index.html");
            return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
        }();
        EXPECT_EQ(html.count("[[[message]]]"), 1);
        const MessageTemplate tmpl(folder);
        EXPECT_FALSE(tmpl.endString().isEmpty());
        EXPECT_EQ(tmpl.applyToString(RichText("BODY")).string(), tmpl.startString().string() + "BODY" + tmpl.endString().string());
        const QStringList files = tmpl.inlineAttachments();
        EXPECT_FALSE(files.isEmpty());
        // Every src/href in the page became a tag: nothing refers to a missing file.
        EXPECT_EQ(tmpl.startString().string().count(Tag) + tmpl.endString().string().count(Tag),
                  int(html.count("src=") + html.count("href=")));
        for (const QString &file : files)
            EXPECT_TRUE(QFileInfo(file).isFile()) << file.toStdString();
        const QImage preview = tmpl.previewImage();
        EXPECT_EQ(preview.size(), QSize(200, 150));
        EXPECT_NE(preview, fallback);
    }
    EXPECT_EQ(fallback.size(), QSize(200, 150));
}
