#include "AttachmentManager.h"
#include "AttributedTagString.h"
#include "Personalizer.h"
#include "SmartAttachment.h"
#include "StaticAttachment.h"

#include "AppException.h"
#include "Database.h"
#include "KeyedArchiver.h"
#include "KeyedUnarchiver.h"
#include "NotificationCenter.h"
#include "TypedArchiver.h"
#include "TypedUnarchiver.h"

#include "TextFixtures.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <sys/stat.h>
#include <thread>

using TextFixtures::writeFile;

namespace {

using Decision = AttachmentResolution::Decision;

// "<prefix><Name tag><suffix>"
RichText taggedName(const QString &prefix, const QString &suffix = {})
{
    return TextFixtures::withTag(prefix, std::make_shared<SimpleTag>(QStringLiteral("Name")), suffix);
}

std::shared_ptr<SmartAttachment> smart(const QString &root, const QString &name, qint32 action)
{
    auto attachment = std::make_shared<SmartAttachment>();
    attachment->setRootFilePath(root);
    attachment->setFileName(RichText(name));
    attachment->setNotFoundAction(action);
    return attachment;
}

// A table whose rows hold the given names in the field "Name".
struct Recipients {
    Database db;
    explicit Recipients(const QStringList &names)
    {
        const QString column = db.addField(QStringLiteral("Name"));
        for (const QString &name : names)
            db.addEntryWithDict(-1, {{column, name}});
    }
    Personalizer forRow(int row) const
    {
        Personalizer personalizer(db);
        personalizer.setAddressNumber(row);
        return personalizer;
    }
};

} // namespace

TEST(AttachmentTest, NeverPersonalisedAndSuffixLookup)
{
    QTemporaryDir dir;
    const QString root = dir.path();
    for (const char *name : {"bob.txt", "bob.pdf", "bobby.doc", "exact"})
        writeFile(root + "/" + name);

    EXPECT_FALSE(SmartAttachment().fileExists());
    auto bob = smart(root, "bob", SmartAttachment::SkipAttachment);
    bob->setPersonalizer(nullptr);
    EXPECT_TRUE(bob->fileExists());
    EXPECT_EQ(bob->filePath(), root + "/bob.pdf"); // first in sorted order

    // "bobb" continues with "y", not with "."
    EXPECT_EQ(smart(root, "bobb", 2)->resolve(nullptr).decision, Decision::SkipAttachment);
    EXPECT_EQ(smart(root, "exact", 2)->resolve(nullptr).filePath, root + "/exact");
    // A root written with a trailing slash and a harmless detour stay usable.
    EXPECT_EQ(smart(root + "/", "x/../exact", 2)->resolve(nullptr).filePath, root + "/exact");
}

TEST(AttachmentTest, PerRecipientFileFromFieldTag)
{
    QTemporaryDir dir;
    writeFile(dir.path() + "/report-alice.pdf");
    Recipients recipients({"alice", "bob"});

    SmartAttachment attachment;
    attachment.setRootFilePath(dir.path());
    attachment.setFileName(taggedName("report-"));
    attachment.setNotFoundAction(SmartAttachment::SkipMessage);
    EXPECT_EQ(attachment.infoString(), "report-<Name>");

    const Personalizer alice = recipients.forRow(0);
    attachment.setPersonalizer(&alice);
    EXPECT_TRUE(attachment.fileExists());
    EXPECT_EQ(attachment.filePath(), dir.path() + "/report-alice.pdf");
    EXPECT_FALSE(attachment.shouldAbortSending() || attachment.shouldSkipMessage() || attachment.shouldSkipAttachment());

    const Personalizer bob = recipients.forRow(1);
    attachment.setPersonalizer(&bob);
    EXPECT_FALSE(attachment.fileExists());
    EXPECT_TRUE(attachment.shouldSkipMessage());
    EXPECT_EQ(attachment.filePath(), dir.path() + "/report-bob");

    // A row outside the table reaches the caller, and no earlier answer survives.
    const Personalizer outside = recipients.forRow(5);
    EXPECT_THROW((void)attachment.resolve(&outside), AppException);
    attachment.setPersonalizer(&alice);
    EXPECT_THROW(attachment.setPersonalizer(&outside), AppException);
    EXPECT_TRUE(attachment.filePath().isNull());
    EXPECT_FALSE(attachment.fileExists());

    // The worker and the preview resolve the same object at once.
    auto resolveMany = [&](const Personalizer *p, const QString &expected) {
        for (int i = 0; i < 50; ++i)
            EXPECT_EQ(attachment.resolve(p).filePath, expected);
    };
    std::thread first(resolveMany, &alice, dir.path() + "/report-alice.pdf");
    std::thread second(resolveMany, &bob, dir.path() + "/report-bob");
    first.join();
    second.join();
}

TEST(AttachmentTest, HostileNamesNeverReachOutsideTheRootFolder)
{
    QTemporaryDir dir;
    const QString root = dir.path() + "/root";
    const QString outside = dir.path() + "/outside";
    ASSERT_TRUE(QDir().mkpath(root + "/folder") && QDir().mkpath(outside));
    writeFile(outside + "/secret.txt");
    writeFile(root + "/inside.txt");
    ASSERT_TRUE(QFile::link(outside + "/secret.txt", root + "/link"));
    ASSERT_TRUE(QFile::link(outside, root + "/dirlink"));
    ASSERT_TRUE(QFile::link(root + "/inside.txt", root + "/alias"));
    ASSERT_EQ(::mkfifo(QFile::encodeName(root + "/fifo").constData(), 0600), 0);

    for (const char *name : {"../outside/secret.txt", "../outside/secret", "sub/../../outside/secret.txt", "/etc/passwd",
                             "link", "dirlink/secret.txt", "dirlink/secret", "", ".", "folder", "fifo"}) {
        SCOPED_TRACE(name);
        auto attachment = smart(root, name, SmartAttachment::AbortRun);
        const AttachmentResolution result = attachment->resolve(nullptr);
        EXPECT_EQ(result.decision, Decision::AbortSending);
        attachment->setPersonalizer(nullptr);
        EXPECT_FALSE(attachment->fileExists());
        attachment->setNotFoundAction(SmartAttachment::SkipAttachment);
        EXPECT_EQ(attachment->resolve(nullptr).decision, Decision::SkipAttachment);
    }
    // A link that stays inside the folder is an ordinary file.
    EXPECT_EQ(smart(root, "alias", 0)->resolve(nullptr).decision, Decision::Attach);
    EXPECT_EQ(smart("", "inside.txt", 0)->resolve(nullptr).decision, Decision::AbortSending);
}

TEST(AttachmentTest, NotFoundActionsAndStaticFiles)
{
    QTemporaryDir dir;
    const QString fallback = dir.path() + "/fallback.pdf";
    writeFile(fallback);
    auto missing = smart(dir.path(), "nobody", 0);
    const struct {
        qint32 action;
        QString defaultPath;
        Decision decision;
        QString filePath;
    } cases[] = {
        {0, {}, Decision::AbortSending, dir.path() + "/nobody"},
        {1, {}, Decision::SkipMessage, dir.path() + "/nobody"},
        {2, {}, Decision::SkipAttachment, dir.path() + "/nobody"},
        {7, {}, Decision::SkipAttachment, dir.path() + "/nobody"},
        {-1, {}, Decision::SkipAttachment, dir.path() + "/nobody"},
        {3, fallback, Decision::Attach, fallback},
        {3, dir.path() + "/gone.pdf", Decision::AbortSending, dir.path() + "/gone.pdf"},
        {3, dir.path(), Decision::AbortSending, dir.path()},
        {3, "", Decision::AbortSending, ""},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.action);
        missing->setNotFoundAction(c.action);
        missing->setDefaultFilePath(c.defaultPath);
        missing->setPersonalizer(nullptr);
        EXPECT_EQ(missing->filePath(), c.filePath);
        EXPECT_EQ(missing->shouldAbortSending(), c.decision == Decision::AbortSending);
        EXPECT_EQ(missing->shouldSkipMessage(), c.decision == Decision::SkipMessage);
        EXPECT_EQ(missing->shouldSkipAttachment(), c.decision == Decision::SkipAttachment);
        EXPECT_EQ(missing->fileExists(), c.decision == Decision::Attach);
    }

    StaticAttachment present(fallback);
    EXPECT_EQ(present.infoString(), "fallback");
    EXPECT_FALSE(present.shouldAbortSending());
    EXPECT_EQ(present.resolve(nullptr).filePath, fallback);
    // Asked before any resolution as well as after one.
    StaticAttachment gone(dir.path() + "/gone.tar.gz");
    EXPECT_EQ(gone.infoString(), "gone.tar");
    EXPECT_TRUE(gone.shouldAbortSending());
    gone.setPersonalizer(nullptr);
    EXPECT_TRUE(gone.shouldAbortSending());
    EXPECT_FALSE(gone.shouldSkipMessage() || gone.shouldSkipAttachment());
    EXPECT_TRUE(StaticAttachment(dir.path()).shouldAbortSending());
}

TEST(AttachmentManagerTest, NotificationsAndIndexes)
{
    AttachmentManager manager;
    int posts = 0;
    auto observation = NotificationCenter::defaultCenter().addObserver(
        AttachmentManager::UpdateNotification, &manager, [&](const Notification &) { ++posts; });
    auto added = std::make_shared<StaticAttachment>("/b");
    manager.setAttachmentList({added});
    EXPECT_EQ(posts, 0);
    // Indexes outside the list give nothing and change nothing.
    EXPECT_EQ(manager.attachmentAtIndex(0), added);
    EXPECT_EQ(manager.attachmentAtIndex(1), nullptr);
    EXPECT_EQ(manager.attachmentAtIndex(-1), nullptr);
    manager.removeAttachment(1);
    manager.removeAttachment(-1);
    EXPECT_EQ(posts, 0);
    manager.removeAttachment(0);
    manager.addAttachment(added);
    EXPECT_EQ(posts, 2);
    EXPECT_EQ(manager.attachmentCount(), 1);
}

namespace {

// Writes whatever it is given under an attachment's class name, as a
// damaged or hand-made project file would.
class ForgedAttachment : public Codable {
public:
    ForgedAttachment(QString className, QVariant stored) : m_className(std::move(className)), m_stored(std::move(stored)) {}
    QString archiveClassName() const override { return m_className; }
    void encodeWithCoder(KeyedArchiver &coder) const override { coder.encodeObject(m_stored); }
    void encodeWithCoder(TypedArchiver &coder) const override { coder.encodeObject(m_stored); }

private:
    QString m_className;
    QVariant m_stored;
};

template <typename T>
std::shared_ptr<T> roundTrip(bool keyed, const CodableRef &object)
{
    registerAttachmentCoders();
    QString error;
    const QVariant root = codableVariant(object);
    const QVariant back = keyed ? KeyedUnarchiver::unarchiveObjectWithData(KeyedArchiver::archivedDataWithRootObject(root), &error)
                                : TypedUnarchiver::unarchiveObjectWithData(TypedArchiver::archivedDataWithRootObject(root), &error);
    EXPECT_TRUE(error.isEmpty()) << error.toStdString();
    return codableCast<T>(back);
}

} // namespace

TEST(AttachmentArchiveTest, KeyedAndTypedRoundTrips)
{
    QTemporaryDir dir;
    writeFile(dir.path() + "/report-bob.pdf");
    Recipients recipients({"bob"});
    const Personalizer bob = recipients.forRow(0);

    for (const bool keyed : {true, false}) {
        SCOPED_TRACE(keyed ? "keyed" : "typed");
        auto original = std::make_shared<SmartAttachment>();
        original->setRootFilePath(dir.path());
        original->setFileName(taggedName("report-", ".pdf"));
        original->setNotFoundAction(SmartAttachment::UseDefaultFile);
        original->setDefaultFilePath("/srv/default.pdf");
        original->setPersonalizer(&bob);

        const auto decoded = roundTrip<SmartAttachment>(keyed, original);
        ASSERT_TRUE(decoded);
        EXPECT_EQ(decoded->notFoundAction(), SmartAttachment::UseDefaultFile);
        EXPECT_EQ(decoded->rootFilePath(), dir.path());
        EXPECT_EQ(decoded->defaultFilePath(), "/srv/default.pdf");
        EXPECT_EQ(AttributedTagString::textTagString(decoded->fileName()), "report-<Name>.pdf");
        EXPECT_TRUE(decoded->filePath().isNull());
        EXPECT_EQ(decoded->resolve(&bob).filePath, dir.path() + "/report-bob.pdf");

        const auto fixed = roundTrip<StaticAttachment>(keyed, std::make_shared<StaticAttachment>("/srv/terms.pdf"));
        ASSERT_TRUE(fixed);
        EXPECT_EQ(fixed->filePath(), "/srv/terms.pdf");
    }
}

TEST(AttachmentArchiveTest, HostileFieldsReadAsDefaults)
{
    const QVariantMap wrongTypes{
        {"rootFilePath", 5},
        {"fileName", "plain string"},
        {"notFoundHandling", "0"},
        {"defaultFilePath", QVariantList{"x"}},
        {"filePath", QVariantMap{}},
    };
    for (const bool keyed : {true, false}) {
        for (const QVariant &stored : {QVariant(wrongTypes), QVariant("not a dictionary"),
                                       QVariant(QVariantMap{{"notFoundHandling", qint64(1) << 40}})}) {
            SCOPED_TRACE(keyed ? "keyed" : "typed");
            const auto smartOne = roundTrip<SmartAttachment>(keyed, std::make_shared<ForgedAttachment>("SmartAttachment", stored));
            ASSERT_TRUE(smartOne);
            EXPECT_EQ(smartOne->rootFilePath(), "");
            EXPECT_TRUE(smartOne->fileName().isEmpty());
            EXPECT_EQ(smartOne->notFoundAction(), SmartAttachment::SkipAttachment);
            EXPECT_EQ(smartOne->defaultFilePath(), "");

            const auto staticOne = roundTrip<StaticAttachment>(keyed, std::make_shared<ForgedAttachment>("StaticAttachment", stored));
            ASSERT_TRUE(staticOne);
            EXPECT_EQ(staticOne->filePath(), "");
            EXPECT_TRUE(staticOne->shouldAbortSending());
        }
    }
}
