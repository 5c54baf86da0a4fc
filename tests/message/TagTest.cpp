#include "AttributedTagString.h"
#include "ConditionTag.h"
#include "ContentId.h"
#include "ContentIdNames.h"
#include "HTMLFileLinkTag.h"
#include "ImageTag.h"
#include "MessageNumberTag.h"

#include "NotificationCenter.h"
#include "TypedArchiver.h"
#include "TypedUnarchiver.h"

#include "TextFixtures.h"

#include <gtest/gtest.h>

#include <QRegularExpression>
#include <QTemporaryDir>
#include <QThread>

#include <cmath>
#include <functional>
#include <limits>
#include <sys/stat.h>

using namespace TextFixtures;

namespace {

const QMap<QString, QString> Mapping{{QStringLiteral("City"), QStringLiteral("c1")},
                                     {QStringLiteral("Name"), QStringLiteral("c2")}};

QVariantMap entry(const QString &city, const QString &name = QStringLiteral("Ann"))
{
    return {{QStringLiteral("c1"), city}, {QStringLiteral("c2"), name}};
}

// Writes whatever layout a test needs under a real tag class name, so older
// and hostile forms can be produced the way the archiver writes them.
class RawTag : public AttachmentCell, public Codable {
public:
    RawTag(QString className, std::function<void(TypedArchiver &)> write)
        : m_className(std::move(className))
        , m_write(std::move(write))
    {
    }
    std::shared_ptr<AttachmentCell> clone() const override { return nullptr; }
    QString archiveClassName() const override { return m_className; }
    void encodeWithCoder(TypedArchiver &coder) const override
    {
        encodeCellBase(coder);
        m_write(coder);
    }

private:
    QString m_className;
    std::function<void(TypedArchiver &)> m_write;
};

QByteArray rawArchive(const QString &className, const QString &name, const QVariant &part)
{
    return TypedArchiver::archivedDataWithRootObject(
        codableVariant(std::make_shared<RawTag>(className, [=](TypedArchiver &coder) {
            coder.encodeObject(name);
            coder.encodeObject(QVariant());
            coder.encodeObject(part);
        })));
}

// A one-character text whose attachment holds the bytes, as a stored text reads back.
RichText textWithWrapper(const QByteArray &contents)
{
    auto attachment = std::make_shared<TextAttachment>(FileWrapper{contents, SimpleTag::FileWrapperName});
    return RichText(QString(QChar(0xFFFC)), {{TextAttributeName::Attachment, QVariant::fromValue(attachment)}});
}

SimpleTagRef loadedTag(const QByteArray &contents)
{
    const RichText text = textWithWrapper(contents);
    AttributedTagString::loadAttachments(text);
    return tagInAttributes(text.attributesAtIndex(0));
}

RichText archivedAndRestored(const RichText &text)
{
    QString error;
    const QVariant back = TypedUnarchiver::unarchiveObjectWithData(
        TypedArchiver::archivedDataWithRootObject(QVariant::fromValue(text)), &error);
    EXPECT_TRUE(back.isValid()) << error.toStdString();
    const RichText restored = back.value<RichText>();
    AttributedTagString::loadAttachments(restored);
    return restored;
}

} // namespace

TEST(TagValues, FieldNumberAndFileLinkTags)
{
    auto name = std::make_shared<SimpleTag>(QStringLiteral("Name"));
    const FontDescriptor font{QStringLiteral("Serif"), 14.0, true, false};
    name->setAttributes(TextAttributes{{TextAttributeName::Font, QVariant::fromValue(font)}});
    const Database::Entry ann(entry(QStringLiteral("Bern")));
    const RichText value = name->getValueForData(&ann, &Mapping, nullptr);
    EXPECT_EQ(value.string(), QStringLiteral("Ann"));
    EXPECT_EQ(value.attributesAtIndex(0), *name->attributes());

    const QMap<QString, QString> noName{{QStringLiteral("City"), QStringLiteral("c1")}};
    EXPECT_TRUE(name->getValueForData(&ann, &noName, nullptr).isEmpty());

    MessageNumberTag number;
    const MessageData seventh{7, false, std::nullopt};
    EXPECT_EQ(number.getValueForData(nullptr, nullptr, &seventh).string(), QStringLiteral("7"));
    EXPECT_TRUE(number.getValueForData(nullptr, nullptr, nullptr).isEmpty());

    HTMLFileLinkTag link(QStringLiteral("/t/Bild grün 1.png"));
    const MessageData local{1, true, QStringLiteral("X")};
    const MessageData sending{1, false, QStringLiteral("X")};
    const MessageData neither{1, false, std::nullopt};
    EXPECT_EQ(link.getValueForData(nullptr, nullptr, &local).string(), QStringLiteral("file:///t/Bild grün 1.png"));
    // A "#", "?" or "%" in a path would read as URL syntax and lose the picture.
    EXPECT_EQ(HTMLFileLinkTag(QStringLiteral("/t/50% #1?.png")).getValueForData(nullptr, nullptr, &local).string(),
              QStringLiteral("file:///t/50%25 %231%3F.png"));
    EXPECT_EQ(link.getValueForData(nullptr, nullptr, &sending).string(), QStringLiteral("cid:Bild_gr=C3=BCn_1.pngX"));
    EXPECT_TRUE(link.getValueForData(nullptr, nullptr, &neither).isEmpty());
    // Characters outside printable ASCII are written out, not lost to a "?"
    // (which a cid: URL would read as its query); nothing that would break
    // the Content-ID header or the URL survives.
    EXPECT_EQ(contentIdNameForPath(QStringLiteral("/a/b c\tä😀.gif")),
              QStringLiteral("b_c=09=C3=A4=F0=9F=98=80.gif"));
    EXPECT_EQ(contentIdNameForPath(QStringLiteral("/a/x\"<y>@[z];%#(1)?.png")), QStringLiteral("x__y___z_____1__.png"));
}

TEST(TagValues, EveryInlineFileHasAContentIdNameOfItsOwn)
{
    const struct {
        QStringList files;
        QStringList names;
    } rows[] = {
        {{"/a/logo.png", "/b/logo.png", "/c/logo.png"}, {"logo.png", "logo-2.png", "logo-3.png"}},
        // A number is never another file's own name.
        {{"/a/logo.png", "/b/logo.png", "/c/logo-2.png"}, {"logo.png", "logo-3.png", "logo-2.png"}},
        {{"/a/a b.png", "/b/a_b.png", "/c/README", "/d/README"}, {"a_b.png", "a_b-2.png", "README", "README-2"}},
        {{u"/x/写真.png"_qs, u"/y/照片.png"_qs}, {"=E5=86=99=E7=9C=9F.png", "=E7=85=A7=E7=89=87.png"}},
    };
    for (const auto &row : rows) {
        const ContentIdNames names(row.files);
        EXPECT_EQ(names.names(), row.names) << row.files.join(' ').toStdString();
        for (qsizetype i = 0; i < row.files.size(); ++i)
            EXPECT_EQ(names.nameForPath(row.files[i]), row.names[i]);
    }

    // The file attachments get names that no inline file has.
    const ContentIdNames names({"/a/logo.png", "/b/logo.png"});
    EXPECT_EQ(names.nameForPath("/c/logo.png"), "logo.png");
    EXPECT_EQ(names.namesForFurtherParts({"/a/logo.png", "/d/x.pdf", "/e/x.pdf"}),
              QStringList({"logo-3.png", "x.pdf", "x-2.pdf"}));

    // Long names are cut before their extension, and still told apart.
    const QString stem = "/f/" + QString(300, u'ü');
    const ContentIdNames cut({stem + "1.png", stem + "2.png"});
    for (const QString &name : cut.names()) {
        EXPECT_LE(name.size(), MaxContentIdNameLength);
        EXPECT_TRUE(name.endsWith(".png") && !name.contains(QRegularExpression("=(?![0-9A-F]{2})")))
            << name.toStdString();
    }
    EXPECT_NE(cut.names()[0], cut.names()[1]);
}

TEST(TagValues, ConditionInsideItselfEnds)
{
    auto tag = std::make_shared<ConditionTag>(QStringLiteral("Loop"), QList<ConditionRule>());
    tag->setDataArray({rule(QStringLiteral("City"), ConditionRule::DoesNotContain, QStringLiteral("x"),
                            withTag(QStringLiteral("a"), tag))});
    const Database::Entry row(entry(QStringLiteral("Bern")));
    EXPECT_EQ(tag->getValueForData(&row, &Mapping, nullptr).string(), QString(16, QLatin1Char('a')));
    tag->tagNameChanged(QStringLiteral("City"), QStringLiteral("Town"));
    EXPECT_EQ(tag->dataArray().at(0).field, QStringLiteral("Town"));
    tag->setDataArray({}); // break the cycle
}

TEST(ImageTags, SizeHtmlAndScaling)
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("Bild grün 1.png"));
    ASSERT_TRUE(writePng(path, 200, 100));
    ImageTag image(path);
    EXPECT_EQ(image.imageWidth(), 200);
    EXPECT_EQ(image.imageHeight(), 100);
    EXPECT_TRUE(image.getValueForData(nullptr, nullptr, nullptr).isEmpty());

    int posted = 0;
    const auto observation = NotificationCenter::defaultCenter().addObserver(ImageTag::UpdateScalingNotification,
                                                                             nullptr, [&](const Notification &note) {
                                                                                 EXPECT_EQ(note.object, nullptr);
                                                                                 ++posted;
                                                                             });
    image.setAlignment(ImageTag::AlignCenter);
    image.setMargin(4);
    image.setScaling(0.5f);
    EXPECT_EQ(posted, 1);
    EXPECT_EQ(image.getHTMLCodeWithAbsolutePath(false, QStringLiteral("X")),
              QStringLiteral("<center><img src=\"cid:Bild_gr=C3=BCn_1.pngX\" style=\"margin: 4px;\" width=\"100\" "
                             "height=\"50\"></center>"));

    image.setAlignment(ImageTag::AlignRight);
    image.setScaling(0.333f);
    EXPECT_EQ(
        image.getHTMLCodeWithAbsolutePath(true, {}),
        QStringLiteral("<img src=\"file://%1\" style=\"margin: 4px;\" align=\"right\" width=\"66\" height=\"33\">")
            .arg(path));

    for (float bad : {std::nanf(""), std::numeric_limits<float>::infinity(), 0.0f, -2.0f, ImageTag::MaxScaling * 2}) {
        image.setScaling(bad);
        EXPECT_EQ(image.scaling(), 1.0f) << bad;
    }
}

TEST(ImageTags, UnreadableFilesAndEscapedSource)
{
    QTemporaryDir dir;
    ImageTag missing(dir.filePath(QStringLiteral("a\"b<c>&d.png")));
    EXPECT_EQ(missing.imageWidth(), 0);
    missing.setAlignment(ImageTag::AlignLeft);
    EXPECT_EQ(
        missing.getHTMLCodeWithAbsolutePath(false, QStringLiteral("<m>")),
        QStringLiteral("<img src=\"cid:a_b_c_&amp;d.png&lt;m&gt;\" style=\"margin: 0px;\" align=\"left\">"));
    EXPECT_TRUE(missing.getHTMLCodeWithAbsolutePath(true, {}).contains(QStringLiteral("/a&quot;b&lt;c&gt;&amp;d.png\"")));

    // Opening a FIFO for reading would wait for a writer forever.
    const QString fifo = dir.filePath(QStringLiteral("pipe.png"));
    ASSERT_EQ(::mkfifo(fifo.toLocal8Bit().constData(), 0600), 0);
    ImageTag pipe(fifo);
    EXPECT_TRUE(pipe.image().isNull());
}

TEST(TagArchives, EveryKindSurvivesATextArchive)
{
    QTemporaryDir dir;
    const QString png = dir.filePath(QStringLiteral("p.png"));
    ASSERT_TRUE(writePng(png, 8, 6));
    const FontDescriptor font{QStringLiteral("Mono"), 9.5, false, true};

    auto field = std::make_shared<SimpleTag>(QStringLiteral("Name"));
    field->setAttributes(TextAttributes{{TextAttributeName::Font, QVariant::fromValue(font)},
                                        {TextAttributeName::Color, QVariant::fromValue(RgbaColor{1, 0, 0, 1})}});
    auto condition = std::make_shared<ConditionTag>(
        QStringLiteral("Greeting"),
        QList<ConditionRule>{
            rule(QStringLiteral("City"), ConditionRule::DoesNotEqual, QStringLiteral("Bern"),
                 withTag(QStringLiteral("Hi "), std::make_shared<SimpleTag>(QStringLiteral("Name"))))});
    auto image = std::make_shared<ImageTag>(png);
    image->setAlignment(ImageTag::AlignRight);
    image->setMargin(3);
    auto link = std::make_shared<HTMLFileLinkTag>(QStringLiteral("/x/style.css"));
    auto number = std::make_shared<MessageNumberTag>(QStringLiteral("No"));

    RichText text(QStringLiteral("...."));
    for (const SimpleTagRef &tag : QList<SimpleTagRef>{number, link, image, condition, field})
        DoInsertTagInAttributedString(tag, text, 2);
    // Changed after insertion: archiving writes the tag as it is now.
    image->setScaling(2.5f);

    const RichText plain = [&] {
        const QVariant back = TypedUnarchiver::unarchiveObjectWithData(
            TypedArchiver::archivedDataWithRootObject(QVariant::fromValue(text)));
        return back.value<RichText>();
    }();
    EXPECT_EQ(AttributedTagString::textTagString(plain), QStringLiteral("...."));

    const RichText restored = archivedAndRestored(text);
    EXPECT_EQ(AttributedTagString::textTagString(restored),
              QStringLiteral("..<Name><Greeting><p.png><style.css><No>.."));
    const QList<SimpleTagRef> tags = AttributedTagString::tags(restored);
    ASSERT_EQ(tags.size(), 5);

    EXPECT_EQ(tags[0]->archiveClassName(), QStringLiteral("SimpleTag"));
    EXPECT_EQ(tags[0]->attributes(), field->attributes());
    EXPECT_EQ(tags[0]->font(), font);

    auto restoredCondition = std::dynamic_pointer_cast<ConditionTag>(tags[1]);
    ASSERT_TRUE(restoredCondition);
    ASSERT_EQ(restoredCondition->dataArray().size(), 1);
    const ConditionRule &restoredRule = restoredCondition->dataArray().at(0);
    EXPECT_EQ(std::tuple(restoredRule.field, restoredRule.op, restoredRule.content),
              std::tuple(QStringLiteral("City"), qint64(ConditionRule::DoesNotEqual), QStringLiteral("Bern")));
    EXPECT_EQ(AttributedTagString::textTagString(restoredRule.result), QStringLiteral("Hi <Name>"));
    const Database::Entry row(entry(QStringLiteral("Paris")));
    EXPECT_EQ(restoredCondition->getValueForData(&row, &Mapping, nullptr).string(), QStringLiteral("Hi Ann"));

    auto restoredImage = std::dynamic_pointer_cast<ImageTag>(tags[2]);
    ASSERT_TRUE(restoredImage);
    EXPECT_EQ(restoredImage->getHTMLCodeWithAbsolutePath(true, {}), image->getHTMLCodeWithAbsolutePath(true, {}));
    EXPECT_EQ(restoredImage->scaling(), 2.5f);
    EXPECT_FALSE(restoredImage->image().isNull());

    auto restoredLink = std::dynamic_pointer_cast<HTMLFileLinkTag>(tags[3]);
    ASSERT_TRUE(restoredLink);
    EXPECT_EQ(restoredLink->imagePath(), QStringLiteral("/x/style.css"));
    EXPECT_TRUE(std::dynamic_pointer_cast<MessageNumberTag>(tags[4]));
    EXPECT_EQ(tags[4]->tagName(), QStringLiteral("No"));
}

TEST(TagArchives, OlderForms)
{
    QTemporaryDir dir;
    const QString png = dir.filePath(QStringLiteral("old.png"));
    ASSERT_TRUE(writePng(png, 5, 4));

    const QVariantList oldRules{QVariantMap{{QStringLiteral("Field"), QStringLiteral("City")},
                                            {QStringLiteral("Operator"), 2},
                                            {QStringLiteral("Content"), QStringLiteral("Bern")},
                                            {QStringLiteral("Insert"), QStringLiteral("Grüezi")}}};
    auto condition = std::dynamic_pointer_cast<ConditionTag>(
        loadedTag(rawArchive(QStringLiteral("ConditionTag"), QStringLiteral("C"), oldRules)));
    ASSERT_TRUE(condition);
    ASSERT_EQ(condition->dataArray().size(), 1);
    EXPECT_EQ(condition->dataArray().at(0).op, ConditionRule::Equals);
    EXPECT_EQ(condition->dataArray().at(0).result, RichText(QStringLiteral("Grüezi")));

    auto image = std::dynamic_pointer_cast<ImageTag>(
        loadedTag(rawArchive(QStringLiteral("ImageTag"), QStringLiteral("I"), png)));
    ASSERT_TRUE(image);
    EXPECT_EQ(image->imagePath(), png);
    EXPECT_EQ(image->alignment(), ImageTag::AlignNone);
    EXPECT_EQ(image->margin(), 0);
    EXPECT_EQ(image->scaling(), 1.0f);
    EXPECT_EQ(image->imageWidth(), 5);

    auto link = std::dynamic_pointer_cast<HTMLFileLinkTag>(
        loadedTag(rawArchive(QStringLiteral("HTMLFileLinkTag"), QStringLiteral("L"), QStringLiteral("/s.css"))));
    ASSERT_TRUE(link);
    EXPECT_EQ(link->imagePath(), QStringLiteral("/s.css"));
}

TEST(TagArchives, HostileData)
{
    // Only registered tag classes become tags; everything else stays as it was.
    const QByteArray unknown = rawArchive(QStringLiteral("NotATag"), QStringLiteral("N"), QVariant());
    QByteArray truncated = rawArchive(QStringLiteral("HTMLFileLinkTag"), QStringLiteral("L"), QStringLiteral("/s"));
    truncated.chop(3);
    for (const QByteArray &bad :
         {unknown, truncated, QByteArray("CVTA\x01\xff\xff\xff\xff", 9), QByteArray(300, '\xff'), QByteArray()}) {
        const RichText text = textWithWrapper(bad);
        EXPECT_NO_THROW(AttributedTagString::loadAttachments(text));
        const auto attachment =
            text.attributesAtIndex(0).value(TextAttributeName::Attachment).value<TextAttachmentRef>();
        EXPECT_FALSE(attachment->cell);
        EXPECT_EQ(attachment->fileWrapper.regularFileContents, bad);
    }
    // A font attribute that is no font is no tag of ours.
    EXPECT_FALSE(loadedTag(TypedArchiver::archivedDataWithRootObject(
        codableVariant(std::make_shared<RawTag>(QStringLiteral("SimpleTag"), [](TypedArchiver &coder) {
            coder.encodeObject(QStringLiteral("N"));
            coder.encodeObject(QVariantMap{{TextAttributeName::Font, QStringLiteral("Helvetica")}});
        })))));

    const QVariantMap settings{{QStringLiteral("imagePath"), QStringLiteral("/nowhere.png")},
                               {QStringLiteral("imageWidth"), std::numeric_limits<qint64>::max()},
                               {QStringLiteral("imageHeight"), -5},
                               {QStringLiteral("scaling"), std::nan("")}};
    auto image = std::dynamic_pointer_cast<ImageTag>(
        loadedTag(rawArchive(QStringLiteral("ImageTag"), QStringLiteral("I"), settings)));
    ASSERT_TRUE(image);
    EXPECT_EQ(image->scaling(), 1.0f);
    EXPECT_EQ(image->imageHeight(), 0);
    EXPECT_GT(image->imageWidth(), 0);
    EXPECT_LE(double(image->imageWidth()) * ImageTag::MaxScaling, double(std::numeric_limits<int>::max()));
    QVariantMap huge = settings;
    huge[QStringLiteral("scaling")] = 1e30;
    image = std::dynamic_pointer_cast<ImageTag>(
        loadedTag(rawArchive(QStringLiteral("ImageTag"), QStringLiteral("I"), huge)));
    ASSERT_TRUE(image);
    EXPECT_EQ(image->scaling(), 1.0f);
}

TEST(TagArchives, NestingIsBounded)
{
    // Conditions whose result holds the next condition, far deeper than any message.
    SimpleTagRef inner = std::make_shared<SimpleTag>(QStringLiteral("Name"));
    for (int level = 0; level < 40; ++level)
        inner = std::make_shared<ConditionTag>(
            QStringLiteral("C%1").arg(level),
            QList<ConditionRule>{
                rule(QStringLiteral("City"), ConditionRule::DoesNotContain, QStringLiteral("x"), withTag({}, inner))});
    const RichText text = withTag({}, inner);
    const QByteArray archive = TypedArchiver::archivedDataWithRootObject(QVariant::fromValue(text));
    const RichText restored = archivedAndRestored(text);

    int depth = 0;
    TextAttachmentRef attachment =
        restored.attributesAtIndex(0).value(TextAttributeName::Attachment).value<TextAttachmentRef>();
    while (auto condition = std::dynamic_pointer_cast<ConditionTag>(attachment->cell)) {
        ++depth;
        attachment = condition->dataArray()
                         .at(0)
                         .result.attributesAtIndex(0)
                         .value(TextAttributeName::Attachment)
                         .value<TextAttachmentRef>();
    }
    EXPECT_EQ(depth, 16);
    EXPECT_FALSE(attachment->cell);
    // The levels left unread keep their data and are written back as they came.
    EXPECT_EQ(TypedArchiver::archivedDataWithRootObject(QVariant::fromValue(restored)), archive);
}

TEST(TagArchives, NestedArchivesFitAWorkersStack)
{
    // At every level a condition sits at the bottom of a value nested about as
    // deep as an archive allows, and its result holds the next level.
    QByteArray archive;
    for (int i = 0; i < 24; ++i) {
        QVariant deep = codableVariant(std::make_shared<ConditionTag>(
            QStringLiteral("C"), QList<ConditionRule>{rule(QStringLiteral("City"), ConditionRule::DoesNotContain,
                                                           QStringLiteral("x"), textWithWrapper(archive))}));
        for (int depth = 0; depth < 240; ++depth)
            deep = QVariantList{deep};
        SimpleTag carrier(QStringLiteral("Carrier"));
        carrier.setAttribute(QStringLiteral("deep"), deep);
        archive = carrier.currentFileWrapper().value().regularFileContents;
    }
    const RichText restored = textWithWrapper(archive);
    std::unique_ptr<QThread> loader(QThread::create([&] { AttributedTagString::loadAttachments(restored); }));
    loader->setStackSize(2 * 1024 * 1024);
    loader->start();
    ASSERT_TRUE(loader->wait(60000));
    ASSERT_TRUE(tagInAttributes(restored.attributesAtIndex(0)));
    EXPECT_EQ(tagInAttributes(restored.attributesAtIndex(0))->tagName(), QStringLiteral("Carrier"));
}
