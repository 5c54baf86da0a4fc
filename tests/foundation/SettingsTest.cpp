#include "AppException.h"
#include "NotificationCenter.h"
#include "Settings.h"
#include "UserDefaults.h"

#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

namespace {

class SettingsTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        startProcess(dir.path() + QStringLiteral("/prefs.ini"));
        Settings::setFontFamilyCheck(nullptr);
        Settings::setShowSettingsHandler({});
    }
    void TearDown() override
    {
        Settings::setFontFamilyCheck(nullptr);
        Settings::setShowSettingsHandler({});
    }

    // What a new start of the application sees: the file as written, with
    // the defaults registered again.
    static void startProcess(const QString &file)
    {
        UserDefaults::setStandardFile(file);
        Settings::loadSettings();
    }
    void restartOnCopy()
    {
        const QString copy = dir.path() + QStringLiteral("/restart%1.ini").arg(++restarts);
        ASSERT_TRUE(QFile::copy(UserDefaults::standardUserDefaults().filePath(), copy));
        startProcess(copy);
    }

    QTemporaryDir dir;
    int restarts = 0;
};

QVariantMap account(const QString &name, const QString &type = QString())
{
    QVariantMap data{{"accountName", name}, {"mailFromAddress", name + "@example.org"}, {"smtpServer", "mx"}};
    if (!type.isNull())
        data.insert("accountType", type);
    return data;
}

struct ChangeCounter {
    int count = 0;
    NotificationCenter::Observation observation = NotificationCenter::defaultCenter().addObserver(
        QStringLiteral("SettingsAccountChangedNotification"), nullptr, [this](const Notification &n) {
            EXPECT_EQ(n.object, nullptr);
            ++count;
        });
};

} // namespace

TEST_F(SettingsTest, freshDefaults)
{
    EXPECT_FALSE(Settings::accountArray());
    EXPECT_EQ(Settings::nameForAccount(0), "");
    EXPECT_FALSE(Settings::accountType(0));

    // Every registered value is a string, and none is written to the file.
    UserDefaults &defaults = UserDefaults::standardUserDefaults();
    for (const QString &key : {SettingsKeys::NewDocOnLaunch, SettingsKeys::ShowDocAssistant, SettingsKeys::AssistantDocType,
                               SettingsKeys::WriteSentMailsLog, SettingsKeys::LastSendAccount,
                               SettingsKeys::MaxErrorsWhileSending, SettingsKeys::RememberLastWindowSize,
                               SettingsKeys::MessageFontName, SettingsKeys::MessageFontSize})
        EXPECT_EQ(defaults.objectForKey(key).typeId(), QMetaType::QString) << qPrintable(key);
    EXPECT_EQ(defaults.objectForKey(SettingsKeys::RememberLastWindowSize), QVariant("No"));
    EXPECT_FALSE(QFile::exists(defaults.filePath()));
}

TEST_F(SettingsTest, settersStoreTypedValuesThatOutliveTheProcess)
{
    Settings::setNewDocOnLaunch(false);
    Settings::setWriteLogFile(true);
    Settings::setMaxErrorsWhileSending(7);
    Settings::setDefaultMessageFont({QStringLiteral("Noto Serif"), 14.5, false, false});
    restartOnCopy();

    EXPECT_FALSE(Settings::newDocOnLaunch());
    EXPECT_TRUE(Settings::writeLogFile());
    EXPECT_EQ(Settings::maxErrorsWhileSending(), 7);
    EXPECT_EQ(Settings::defaultMessageFont(), (FontDescriptor{QStringLiteral("Noto Serif"), 14.5, false, false}));
    UserDefaults &defaults = UserDefaults::standardUserDefaults();
    EXPECT_EQ(defaults.objectForKey(SettingsKeys::WriteSentMailsLog), QVariant(true));
    EXPECT_EQ(defaults.objectForKey(SettingsKeys::MaxErrorsWhileSending).typeId(), QMetaType::LongLong);
    EXPECT_EQ(defaults.objectForKey(SettingsKeys::MessageFontSize), QVariant(14.5f));
}

TEST_F(SettingsTest, messageFontFacesAndFallbacks)
{
    const QStringList installed{"Noto Serif", "Odd-Bold"};
    Settings::setFontFamilyCheck([installed](const QString &family) { return installed.contains(family); });

    for (const FontDescriptor &font : {FontDescriptor{"Noto Serif", 9.0, true, false}, FontDescriptor{"Noto Serif", 10.0, false, true},
                                       FontDescriptor{"Noto Serif", 11.0, true, true}, FontDescriptor{"Odd-Bold", 13.0, false, false}}) {
        Settings::setDefaultMessageFont(font);
        EXPECT_EQ(Settings::defaultMessageFont(), font) << qPrintable(font.family);
    }
    Settings::setDefaultMessageFont({"Noto Serif", 11.0, false, false});
    EXPECT_EQ(UserDefaults::standardUserDefaults().stringForKey(SettingsKeys::MessageFontName), "Noto Serif");
    Settings::setDefaultMessageFont({"Noto Serif", 11.0, true, false});
    EXPECT_EQ(UserDefaults::standardUserDefaults().stringForKey(SettingsKeys::MessageFontName), "Noto Serif-Bold");

    // A font that is no longer installed gives the user font at the stored size and face.
    Settings::setDefaultMessageFont({"Removed Font", 15.0, false, true});
    EXPECT_EQ(Settings::defaultMessageFont(), (FontDescriptor{"DejaVu Sans", 15.0, false, true}));

    // Damaged values give the user font at the default size.
    UserDefaults &defaults = UserDefaults::standardUserDefaults();
    Settings::setFontFamilyCheck(nullptr);
    defaults.setObject(QVariantList{"x"}, SettingsKeys::MessageFontName);
    for (const QVariant &size : {QVariant("abc"), QVariant(0.0f), QVariant(-3), QVariant(1e30), QVariant(qQNaN())}) {
        defaults.setObject(size, SettingsKeys::MessageFontSize);
        EXPECT_EQ(Settings::defaultMessageFont(), (FontDescriptor{"DejaVu Sans", 12.0, false, false})) << qPrintable(size.toString());
    }
}

TEST_F(SettingsTest, accountList)
{
    const QVariantList accounts{account("first"), account("second", "localserver"), QVariant("not a dictionary")};
    Settings::setAccountArray(accounts);
    restartOnCopy();

    EXPECT_EQ(Settings::accountArray(), accounts);
    EXPECT_EQ(Settings::dataForAccount(0), account("first"));
    EXPECT_FALSE(Settings::dataForAccount(-1));
    EXPECT_FALSE(Settings::dataForAccount(3));
    EXPECT_EQ(Settings::accountType(0), "smtp");
    EXPECT_EQ(Settings::accountType(1), "localserver");
    EXPECT_EQ(Settings::nameForAccount(1), "second");

    // An entry that is not a dictionary reads as no account.
    EXPECT_FALSE(Settings::dataForAccount(2));
    EXPECT_FALSE(Settings::accountType(2));
    EXPECT_EQ(Settings::nameForAccount(2), "");

    ChangeCounter changes;
    Settings::setAccountType(0, "applemail");
    EXPECT_EQ(changes.count, 1);
    QVariantMap expected = account("first", "applemail");
    EXPECT_EQ(Settings::dataForAccount(0), expected);

    const QVariantMap replaced = account(QStringLiteral("Zoë ✉"), "smtp");
    Settings::setDataForAccount(replaced, 1);
    EXPECT_EQ(changes.count, 2);
    restartOnCopy();
    EXPECT_EQ(Settings::accountArray(), (QVariantList{expected, replaced, QVariant("not a dictionary")}));

    // Indexes that name no account change nothing and announce nothing.
    for (int bad : {-1, 3, 100}) {
        Settings::setDataForAccount(account("intruder"), bad);
        Settings::setAccountType(bad, "smtp");
    }
    Settings::setAccountType(2, "smtp");
    EXPECT_EQ(changes.count, 2);
    EXPECT_EQ(Settings::accountArray(), (QVariantList{expected, replaced, QVariant("not a dictionary")}));
}

TEST_F(SettingsTest, accountArrayOfTheWrongKindRaises)
{
    UserDefaults::standardUserDefaults().setObject("garbage", SettingsKeys::AccountArray);
    ChangeCounter changes;
    EXPECT_THROW((void)Settings::accountArray(), AppException);
    EXPECT_THROW((void)Settings::dataForAccount(0), AppException);
    EXPECT_THROW(Settings::setDataForAccount(account("x"), 0), AppException);
    EXPECT_EQ(changes.count, 0);
    EXPECT_EQ(UserDefaults::standardUserDefaults().objectForKey(SettingsKeys::AccountArray), QVariant("garbage"));

    UserDefaults::standardUserDefaults().setObject(QVariantMap{{"a", 1}}, SettingsKeys::AccountArray);
    EXPECT_THROW((void)Settings::dataForAccount(0), AppException);
}

TEST_F(SettingsTest, showSettingsOpensOneWindowAndRetriesAFailedOne)
{
    bool visible = false, opens = true;
    int calls = 0;
    Settings::setShowSettingsHandler({[&] { return visible; }, [&](const void *) {
                                          ++calls;
                                          return visible = opens;
                                      }});
    Settings::showSettings(nullptr);
    Settings::showSettings(nullptr);
    EXPECT_EQ(calls, 1);
    visible = opens = false;
    Settings::showSettings(nullptr);
    Settings::showSettings(nullptr);
    EXPECT_EQ(calls, 3);
}
