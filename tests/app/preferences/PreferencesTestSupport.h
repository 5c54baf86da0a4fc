#pragma once

// What the preferences tests share: fresh preferences in a file of their
// own, a keychain in memory that counts what it is asked, scripted file and
// font panels, recorded alerts and questions, and pictures of windows.

#include "../../foundation_ui/RecordingAlertPresenter.h"
#include "../RecordingQuestions.h"

#include "BlacklistManager.h"
#include "Keychain.h"
#include "KeychainMemoryBackend.h"
#include "Settings.h"
#include "SettingsPanels.h"
#include "SettingsWindow.h"
#include "UserDefaults.h"

#include <QApplication>
#include <QCoreApplication>
#include <QDir>
#include <QImage>
#include <QTemporaryDir>
#include <QTest>

#include <gtest/gtest.h>

#include <atomic>
#include <deque>

// Readable failure messages.
inline void PrintTo(const QString &text, std::ostream *out)
{
    *out << '"' << text.toStdString() << '"';
}

// The memory keychain, counting stores and reads.
class CountingKeychain final : public KeychainBackend {
public:
    bool writeSecret(const QString &key, const QByteArray &secret, QString *error) override
    {
        ++writes;
        return store.writeSecret(key, secret, error);
    }
    KeychainReadResult readSecret(const QString &key) override
    {
        ++reads;
        return store.readSecret(key);
    }
    KeychainMemoryBackend store;
    std::atomic<int> writes{0};
    std::atomic<int> reads{0};
};

// Answers the panels' questions from queues the test fills; an empty queue
// answers as a cancel would.
class ScriptedPanels final : public SettingsPanels {
public:
    ScriptedPanels() { SettingsPanels::setCurrent(this); }
    ~ScriptedPanels() override { SettingsPanels::setCurrent(nullptr); }

    QString chooseFolder(QWidget *) override { return next(folders); }
    QString openFile(QWidget *, const QStringList &suffixes) override
    {
        askedSuffixes = suffixes;
        return next(files);
    }
    std::optional<FontDescriptor> chooseFont(QWidget *, const FontDescriptor &) override
    {
        ++fontRequests;
        if (fonts.empty())
            return std::nullopt;
        const FontDescriptor font = fonts.front();
        fonts.pop_front();
        return font;
    }

    std::deque<QString> folders;
    std::deque<QString> files;
    std::deque<FontDescriptor> fonts;
    int fontRequests = 0;
    QStringList askedSuffixes;

private:
    static QString next(std::deque<QString> &queue)
    {
        if (queue.empty())
            return {};
        const QString value = queue.front();
        queue.pop_front();
        return value;
    }
};

// Each test starts with empty preferences of its own and a memory keychain,
// and leaves no preferences window behind.
class PreferencesTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(dir.isValid());
        UserDefaults::setStandardFile(iniPath());
        Settings::loadSettings();
        Keychain::setBackend(keychain);
    }

    void TearDown() override
    {
        if (SettingsWindow *window = SettingsWindow::openWindow()) {
            window->close();
            delete window;
        }
        Keychain::setBackend(nullptr);
    }

    [[nodiscard]] QString iniPath() const { return dir.filePath(QStringLiteral("prefs.ini")); }

    static QVariantMap smtpAccount(const QString &name, const QString &host = QStringLiteral("smtp.example.org"))
    {
        return {{AccountKeys::AccountType, AccountTypes::Smtp}, {AccountKeys::AccountName, name},
                {AccountKeys::MailFromAddress, name + QStringLiteral("@example.org")},
                {AccountKeys::SmtpServer, host}, {AccountKeys::SmtpPort, QStringLiteral("587")},
                {AccountKeys::SmtpAuthType, QStringLiteral("1")}, {AccountKeys::UseSSL, QStringLiteral("0")},
                {AccountKeys::UseTLS, QStringLiteral("1")}, {AccountKeys::SmtpLogin, name},
                {AccountKeys::DelayEnabled, QStringLiteral("0")}, {AccountKeys::DelayMails, QStringLiteral("100")},
                {AccountKeys::DelayTime, QStringLiteral("5")}};
    }

    // Titles of the alerts shown so far.
    [[nodiscard]] QStringList alertTitles() const
    {
        QStringList titles;
        for (const auto &shown : alerts.shown)
            titles.append(shown.title);
        return titles;
    }

    QTemporaryDir dir;
    RecordingAlertPresenter alerts;
    RecordingQuestions questions;
    ScriptedPanels panels;
    std::shared_ptr<CountingKeychain> keychain = std::make_shared<CountingKeychain>();
};

// Saves a picture of the widget for review beside the test program, as
// CORV_SCREENSHOT_DIR or "preferences/<name>.png".
inline void saveScreenshot(QWidget *widget, const QString &name)
{
    QString folder = qEnvironmentVariable("CORV_SCREENSHOT_DIR");
    if (folder.isEmpty())
        folder = QCoreApplication::applicationDirPath() + QStringLiteral("/preferences");
    ASSERT_TRUE(QDir().mkpath(folder));
    widget->show();
    QCoreApplication::processEvents();
    const QString file = QDir(folder).filePath(name + QStringLiteral(".png"));
    ASSERT_TRUE(widget->grab().save(file));
    const QImage image(file);
    EXPECT_FALSE(image.isNull());
    EXPECT_EQ(image.size(), widget->size() * widget->devicePixelRatio());
}
