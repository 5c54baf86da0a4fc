#include "AppException.h"
#include "UserDefaults.h"

#include <QDateTime>
#include <QFile>
#include <QSize>
#include <QTemporaryDir>
#include <QThread>

#include <gtest/gtest.h>

#include <memory>
#include <vector>

namespace {

class UserDefaultsTest : public ::testing::Test {
protected:
    QString path(const QString &name) const { return dir.path() + u'/' + name; }

    // Qt shares one parsed copy of a file within a process, so reading a
    // copy of the file is the way to see what a new process would see.
    QString copyOfFile(const QString &source)
    {
        const QString copy = path(QStringLiteral("copy%1.ini").arg(++copies));
        EXPECT_TRUE(QFile::copy(source, copy));
        return copy;
    }

    QTemporaryDir dir;
    int copies = 0;
};

QVariantMap smtpAccount()
{
    return {{"accountType", "smtp"},
            {"accountName", QStringLiteral("Büro, \"Zentrale\" = ✉ @home")},
            {"mailFromAddress", "ab@example.org"},
            {"smtpServer", "smtp.example.org"},
            {"smtpPort", "465"},
            {"smtpAuthType", "2"},
            {"useSSL", "1"},
            {"useTLS", "0"},
            {"smtpLogin", QStringLiteral("zoë")},
            {"delayEnabled", "1"},
            {"delayMails", "50"},
            {"delayTime", "30"}};
}

} // namespace

TEST_F(UserDefaultsTest, valuesComeBackFromTheFileWithTheirTypes)
{
    const QVariantList accounts{smtpAccount(), QVariantMap{{"accountType", "applemail"}, {"accountName", ""}}};
    const QVariantMap values{
        {"accountArray", accounts},
        {"one account", QVariantList{smtpAccount()}},
        {"no accounts", QVariantList{}},
        {"strings", QVariantList{"a, b", "", "@Variant(x)"}},
        {"nested", QVariantMap{{"deep", QVariantMap{{"list", QVariantList{1, 2.5, true, "x"}}}}}},
        {"flag", true},
        {"count", qint64(1) << 40},
        {"size", 12.5f},
        {"ratio", 0.1},
        {"data", QByteArray("\0\x01\xff", 3)},
        {"when", QDateTime::fromMSecsSinceEpoch(1700000000123, Qt::UTC)},
        {"text", QStringLiteral("@at start, comma; \"quotes\" [x] = é 中文 \n line")},
        {"empty", QString("")},
        {QStringLiteral("formatted message font name"), "DejaVu Sans"},
        {QStringLiteral("größe ✓"), "unicode key"},
    };
    const QString file = path(QStringLiteral("sub/dir/prefs.ini"));
    {
        UserDefaults defaults(file);
        for (auto it = values.cbegin(); it != values.cend(); ++it)
            defaults.setObject(it.value(), it.key());
        EXPECT_TRUE(defaults.synchronize());
    }
    ASSERT_TRUE(QFile::exists(file));

    UserDefaults reread(copyOfFile(file));
    for (auto it = values.cbegin(); it != values.cend(); ++it) {
        const QVariant value = reread.objectForKey(it.key());
        EXPECT_EQ(value, it.value()) << qPrintable(it.key());
        EXPECT_EQ(value.typeId(), it.value().typeId()) << qPrintable(it.key());
    }
    EXPECT_EQ(reread.arrayForKey("accountArray"), accounts);
    EXPECT_EQ(reread.arrayForKey("no accounts"), QVariantList{});
    EXPECT_FALSE(reread.objectForKey("absent").isValid());

    // A second object on the same file sees the first one's changes at once.
    UserDefaults first(file), second(file);
    first.setObject("changed", "text");
    first.removeObjectForKey("flag");
    EXPECT_EQ(second.stringForKey("text"), "changed");
    EXPECT_FALSE(second.objectForKey("flag").isValid());
}

TEST_F(UserDefaultsTest, keysStayApart)
{
    const QString file = path(QStringLiteral("keys.ini"));
    const QStringList keys{"a/b", "a\\b", "a", "a%2Fb", "show_%@", "A", " a "};
    {
        UserDefaults defaults(file);
        for (const QString &key : keys)
            defaults.setObject(key, key);
        // An empty key names nothing, least of all the whole file.
        defaults.setObject("x", "");
        defaults.removeObjectForKey("");
    }
    UserDefaults reread(copyOfFile(file));
    for (const QString &key : keys)
        EXPECT_EQ(reread.objectForKey(key), QVariant(key)) << qPrintable(key);
    EXPECT_FALSE(reread.objectForKey("").isValid());
    EXPECT_FALSE(reread.objectForKey("b").isValid());
}

TEST_F(UserDefaultsTest, registeredDefaultsAndTypedReads)
{
    const QString file = path(QStringLiteral("typed.ini"));
    UserDefaults defaults(file);
    defaults.registerDefaults({{"yes", "Yes"}, {"no", "No"}, {"zero", "0"}, {"twelve", "12"}, {"list", QVariantList{"x"}}});

    // How strings read as numbers is the values' business; here: which value is read.
    EXPECT_TRUE(defaults.boolForKey("yes"));
    EXPECT_FALSE(defaults.boolForKey("no"));
    EXPECT_TRUE(defaults.stringForKey("list").isNull());
    EXPECT_EQ(defaults.arrayForKey("list"), QVariantList{"x"});
    EXPECT_FALSE(defaults.arrayForKey("twelve"));
    EXPECT_FALSE(defaults.dictionaryForKey("list"));

    // Stored typed values win over the registered strings and read the same way.
    defaults.setBool(false, "yes");
    defaults.setBool(true, "no");
    defaults.setInteger(12, "zero");
    defaults.setFloat(2.5f, "twelve");
    EXPECT_FALSE(defaults.boolForKey("yes"));
    EXPECT_EQ(defaults.integerForKey("zero"), 12);
    EXPECT_EQ(defaults.stringForKey("no"), "1");
    EXPECT_FLOAT_EQ(defaults.floatForKey("twelve"), 2.5f);
    EXPECT_EQ(defaults.objectForKey("no"), QVariant(true));

    // Registered values never reach the file; removing a stored value shows the registered one again.
    defaults.removeObjectForKey("zero");
    EXPECT_EQ(defaults.objectForKey("zero"), QVariant("0"));
    UserDefaults reread(copyOfFile(file));
    EXPECT_FALSE(reread.objectForKey("zero").isValid());
    EXPECT_FALSE(reread.objectForKey("list").isValid());
    EXPECT_EQ(reread.objectForKey("no"), QVariant(true));
}

TEST_F(UserDefaultsTest, refusesValuesItCannotStore)
{
    UserDefaults defaults(path(QStringLiteral("refuse.ini")));
    defaults.setObject("kept", "key");
    const QVariant opaque = QVariant::fromValue(QSize(1, 2));
    EXPECT_THROW(defaults.setObject(QVariantList{"fine", QVariantMap{{"bad", opaque}}}, "key"), AppException);
    EXPECT_EQ(defaults.objectForKey("key"), QVariant("kept"));

    // Storing nothing removes the value.
    defaults.setObject(QVariant(), "key");
    EXPECT_FALSE(defaults.objectForKey("key").isValid());
}

TEST_F(UserDefaultsTest, standardFileCanBeReplaced)
{
    UserDefaults &standard = UserDefaults::standardUserDefaults();
    EXPECT_TRUE(standard.filePath().endsWith(QStringLiteral("/Corvantiline/Corvantiline.ini")));
    const QString file = path(QStringLiteral("standard.ini"));
    UserDefaults::setStandardFile(file);
    standard.registerDefaults({{"registered", "Yes"}});
    standard.setObject("v", "stored");
    UserDefaults::setStandardFile(path(QStringLiteral("other.ini")));
    EXPECT_EQ(&standard, &UserDefaults::standardUserDefaults());
    EXPECT_FALSE(standard.objectForKey("registered").isValid());
    EXPECT_FALSE(standard.objectForKey("stored").isValid());
    UserDefaults::setStandardFile(file);
    EXPECT_EQ(standard.objectForKey("stored"), QVariant("v"));
}

TEST_F(UserDefaultsTest, concurrentWritersLoseNothing)
{
    const QString file = path(QStringLiteral("threads.ini"));
    UserDefaults defaults(file);
    constexpr int Threads = 4;
    constexpr int Writes = 25;
    std::vector<std::unique_ptr<QThread>> threads;
    for (int t = 0; t < Threads; ++t) {
        threads.emplace_back(QThread::create([&defaults, t] {
            for (int i = 0; i < Writes; ++i)
                defaults.setInteger(i + defaults.integerForKey("absent"), QStringLiteral("t%1-%2").arg(t).arg(i));
        }));
        threads.back()->start();
    }
    for (auto &thread : threads)
        ASSERT_TRUE(thread->wait(60000));

    UserDefaults reread(copyOfFile(file));
    for (int t = 0; t < Threads; ++t) {
        for (int i = 0; i < Writes; ++i)
            EXPECT_EQ(reread.integerForKey(QStringLiteral("t%1-%2").arg(t).arg(i)), i);
    }
}
