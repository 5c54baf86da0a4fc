// The pieces together, the way a send run uses them: a stored message is
// restored, then every recipient's subject, plain text, HTML and
// attachment are produced on several worker threads at once from the same
// message objects, and must match what one thread produces.

#include "AttributedTagString.h"
#include "ConditionTag.h"
#include "ImageTag.h"
#include "MessageNumberTag.h"
#include "Personalizer.h"
#include "SmartAttachment.h"
#include "StringToHTML.h"
#include "TemplateManager.h"

#include "TypedArchiver.h"
#include "TypedUnarchiver.h"

#include <QFile>
#include <QImage>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <thread>

namespace {

struct Output {
    QString subject;
    QString plain;
    QString html;
    AttachmentResolution attachment;
    bool operator==(const Output &other) const
    {
        return subject == other.subject && plain == other.plain && html == other.html
            && attachment.decision == other.attachment.decision && attachment.filePath == other.attachment.filePath;
    }
};

RichText tagged(const QString &before, const SimpleTagRef &tag)
{
    RichText text(before, {{TextAttributeName::Font, QVariant::fromValue(FontDescriptor{"DejaVu Sans", 12, false, false})}});
    DoInsertTagInAttributedString(tag, text, text.length());
    return text;
}

// Through the typed archive and back, as a stored message or a snapshot is.
RichText restored(const RichText &text)
{
    const QVariant back = TypedUnarchiver::unarchiveObjectWithData(
        TypedArchiver::archivedDataWithRootObject(QVariant::fromValue(text)));
    RichText result = back.value<RichText>();
    AttributedTagString::loadAttachments(result);
    return result;
}

Output compose(const RichText &subject, const RichText &body, const SmartAttachment &attachment,
               const Personalizer &personalizer)
{
    Output out;
    out.subject = AttributedTagString::taglessString(personalizer.personalizeAttributedString(subject));
    const RichText personalised = personalizer.personalizeAttributedString(body);
    out.plain = AttributedTagString::taglessString(personalised);
    out.html = StringToHTML::htmlString(personalised, std::nullopt, false, personalizer.messageId(), true);
    out.attachment = attachment.resolve(&personalizer);
    return out;
}

} // namespace

TEST(CompositionTest, StoredMessageComposedOnWorkerThreadsMatchesOneThread)
{
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    QImage picture(40, 20, QImage::Format_RGB32);
    picture.fill(Qt::darkCyan);
    const QString picturePath = dir.filePath(QStringLiteral("logo one.png"));
    ASSERT_TRUE(picture.save(picturePath));
    QDir(dir.path()).mkdir(QStringLiteral("files"));

    Database table;
    table.addField(QStringLiteral("Name"));
    table.addField(QStringLiteral("City"));
    constexpr int Rows = 300;
    for (int row = 0; row < Rows; ++row) {
        const QString name = QStringLiteral("R%1").arg(row);
        table.addEntryWithData(-1, {name, row % 3 == 0 ? QStringLiteral("Bern") : QStringLiteral("Paris")});
        if (row % 2 == 0) {
            QFile file(dir.filePath(QStringLiteral("files/%1.txt").arg(name)));
            ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        }
    }

    RichText subject = tagged(QStringLiteral("Hello "), std::make_shared<SimpleTag>(QStringLiteral("Name")));
    RichText body = tagged(QStringLiteral("Dear "), std::make_shared<SimpleTag>(QStringLiteral("Name")));
    body.append(tagged(QStringLiteral(", greetings to "),
                       std::make_shared<ConditionTag>(
                           QStringLiteral("Town"),
                           QList<ConditionRule>{{QStringLiteral("City"), ConditionRule::Equals, QStringLiteral("Bern"),
                                                 tagged(QStringLiteral("Bern, "), std::make_shared<SimpleTag>(
                                                                                      QStringLiteral("Name")))}})));
    body.append(tagged(QStringLiteral(". You are number "), std::make_shared<MessageNumberTag>()));
    auto image = std::make_shared<ImageTag>(picturePath);
    image->setAlignment(ImageTag::AlignCenter);
    image->setScaling(0.5f);
    body.append(tagged(QStringLiteral("\n"), image));

    SmartAttachment attachment;
    attachment.setRootFilePath(dir.filePath(QStringLiteral("files")));
    RichText fileName;
    DoInsertTagInAttributedString(std::make_shared<SimpleTag>(QStringLiteral("Name")), fileName, 0);
    fileName.append(RichText(QStringLiteral(".txt")));
    attachment.setFileName(fileName);
    attachment.setNotFoundAction(SmartAttachment::SkipMessage);

    const RichText storedSubject = restored(subject);
    const RichText storedBody = restored(body);

    QList<Output> expected;
    for (int row = 0; row < Rows; ++row) {
        Personalizer personalizer(table);
        personalizer.setAddressNumber(row);
        personalizer.setMessageId(QStringLiteral("@m%1").arg(row));
        expected << compose(subject, body, attachment, personalizer);
    }
    // Spot checks of one recipient, so that equal-but-wrong output cannot pass.
    EXPECT_EQ(expected[3].subject, "Hello R3");
    EXPECT_EQ(expected[3].plain, "Dear R3, greetings to Bern, R3. You are number 4\n");
    EXPECT_TRUE(expected[3].html.contains(
        "<center><img src=\"cid:logo_one.png@m3\" style=\"margin: 0px;\" width=\"20\" height=\"10\"></center>"));
    EXPECT_EQ(expected[1].attachment.decision, AttachmentResolution::Decision::SkipMessage);
    EXPECT_EQ(expected[2].attachment.decision, AttachmentResolution::Decision::Attach);
    EXPECT_TRUE(expected[2].attachment.filePath.endsWith("/files/R2.txt"));

    // The worker threads share the restored message, tags and attachment.
    constexpr int Threads = 4;
    QList<Output> results(Rows);
    std::vector<std::thread> workers;
    for (int t = 0; t < Threads; ++t) {
        workers.emplace_back([&, t] {
            for (int row = t; row < Rows; row += Threads) {
                Personalizer personalizer(table);
                personalizer.setAddressNumber(row);
                personalizer.setMessageId(QStringLiteral("@m%1").arg(row));
                results[row] = compose(storedSubject, storedBody, attachment, personalizer);
            }
        });
    }
    for (std::thread &worker : workers)
        worker.join();
    for (int row = 0; row < Rows; ++row)
        EXPECT_TRUE(results[row] == expected[row]) << "row " << row;
}

// The built-in designs are usable as they ship: each wraps a message and
// names files that exist, which the send run will attach inline.
TEST(CompositionTest, BuiltInTemplatesWrapAMessageAndNameTheirFiles)
{
    TemplateManager::loadTemplates();
    const QStringList names = TemplateManager::defaultManager().templateNames();
    ASSERT_GE(names.size(), 2);
    for (const QString &name : names) {
        const MessageTemplateRef design = TemplateManager::defaultManager().templateForName(name);
        ASSERT_TRUE(design) << name.toStdString();
        EXPECT_TRUE(design->inBundle());
        const RichText page = design->applyToString(RichText(QStringLiteral("BODY")));
        const QString html = AttributedTagString::taglessString(
            Personalizer::personalizeAttributedString(page, nullptr, nullptr, nullptr));
        EXPECT_TRUE(html.contains("BODY")) << name.toStdString();
        EXPECT_FALSE(html.contains(MessageTemplate::MessageMarker));
        const QStringList files = design->inlineAttachments();
        EXPECT_FALSE(files.isEmpty()) << name.toStdString();
        for (const QString &file : files)
            EXPECT_TRUE(QFileInfo(file).isFile()) << file.toStdString();
        EXPECT_FALSE(design->previewImage().isNull());
    }
}
