#pragma once

// The application's preferences and its list of sending accounts, over the
// standard user defaults. Class-level operations only; nothing is kept here.

#include "TextAttributes.h"

#include <QString>
#include <QVariantList>
#include <QVariantMap>

#include <functional>
#include <optional>

// Keys of the user defaults; stored in preference files, never renamed.
namespace SettingsKeys {
inline const QString NewDocOnLaunch = QStringLiteral("newDocOnLaunch");
inline const QString ShowDocAssistant = QStringLiteral("showDocAssistant");
inline const QString AssistantDocType = QStringLiteral("assistantDocType");
inline const QString WriteSentMailsLog = QStringLiteral("writeSentMailsLog");
inline const QString LastSendAccount = QStringLiteral("lastSendAccount");
inline const QString MaxErrorsWhileSending = QStringLiteral("maxErrorsWhileSending");
inline const QString RememberLastWindowSize = QStringLiteral("remember_last_window_size");
inline const QString MessageFontName = QStringLiteral("formatted message font name");
inline const QString MessageFontSize = QStringLiteral("formatted message font size");
inline const QString AccountArray = QStringLiteral("accountArray");
} // namespace SettingsKeys

// Keys of an account dictionary; every value is a string.
namespace AccountKeys {
inline const QString AccountType = QStringLiteral("accountType");
inline const QString AccountName = QStringLiteral("accountName");
inline const QString MailFromAddress = QStringLiteral("mailFromAddress");
inline const QString SmtpServer = QStringLiteral("smtpServer");
inline const QString SmtpPort = QStringLiteral("smtpPort");
inline const QString SmtpAuthType = QStringLiteral("smtpAuthType");
inline const QString UseSSL = QStringLiteral("useSSL");
inline const QString UseTLS = QStringLiteral("useTLS");
inline const QString SmtpLogin = QStringLiteral("smtpLogin");
inline const QString DelayEnabled = QStringLiteral("delayEnabled");
inline const QString DelayMails = QStringLiteral("delayMails");
inline const QString DelayTime = QStringLiteral("delayTime");
} // namespace AccountKeys

// Values of AccountKeys::AccountType.
namespace AccountTypes {
inline const QString Smtp = QStringLiteral("smtp");
inline const QString LocalServer = QStringLiteral("localserver");
inline const QString AppleMail = QStringLiteral("applemail");
// Built for a dry run only, never stored.
inline const QString Dummy = QStringLiteral("dummy");
} // namespace AccountTypes

namespace SettingsNotifications {
// Posted without a sender after an account's dictionary was replaced.
inline const QString AccountChanged = QStringLiteral("SettingsAccountChangedNotification");
} // namespace SettingsNotifications

class Settings {
public:
    Settings() = delete;

    // Registers the default values; call once at start-up before anything else.
    static void loadSettings();

    [[nodiscard]] static bool newDocOnLaunch();
    static void setNewDocOnLaunch(bool value);
    [[nodiscard]] static bool displayDocAssistant();
    static void setDisplayDocAssistant(bool value);
    [[nodiscard]] static bool writeLogFile();
    static void setWriteLogFile(bool value);

    [[nodiscard]] static int docAssistantDocType();
    static void setDocAssistantDocType(int value);
    [[nodiscard]] static int lastSelectedAccount();
    static void setLastSelectedAccount(int value);
    [[nodiscard]] static int maxErrorsWhileSending();
    static void setMaxErrorsWhileSending(int value);

    // The stored font at the stored size. The name keeps the face the way
    // platform font names do ("Family-Bold", "-Italic", "-BoldItalic"). A
    // family that is not installed gives the user font at the stored size;
    // a size that is not above 0 or is absurdly large gives 12 points.
    [[nodiscard]] static FontDescriptor defaultMessageFont();
    static void setDefaultMessageFont(const FontDescriptor &font);

    // The stored account list; nullopt when there is none. A stored value
    // that is not a list raises AppException (InternalInconsistency).
    [[nodiscard]] static std::optional<QVariantList> accountArray();
    static void setAccountArray(const QVariantList &accounts);

    // The account at the index; nullopt when the index is out of range or
    // the entry is not a dictionary. Raises like accountArray().
    [[nodiscard]] static std::optional<QVariantMap> dataForAccount(int account);
    // Replaces an existing account and posts SettingsNotifications::AccountChanged;
    // an index that names no account changes and posts nothing.
    static void setDataForAccount(const QVariantMap &data, int account);
    static void setAccountType(int account, const QString &type);
    // nullopt when there is no account at the index; "smtp" when the key is missing.
    [[nodiscard]] static std::optional<QString> accountType(int account);
    // "" when there is no account at the index.
    [[nodiscard]] static QString nameForAccount(int account);

    // The preferences window, which the application provides: whether it is
    // shown, and how to open it (false when it could not be made).
    struct WindowHandler {
        std::function<bool()> isVisible;
        std::function<bool(const void *sender)> open;
    };
    static void setShowSettingsHandler(WindowHandler handler);
    // Opens the preferences window unless it is already shown.
    static void showSettings(const void *sender);

    // The platform's user font and fixed-pitch font families.
    [[nodiscard]] static QString userFontFamily();
    [[nodiscard]] static QString userFixedPitchFontFamily();
    // Decides whether a font family is installed; replaceable for tests.
    // The default asks the font database when a GUI application exists and
    // accepts every family otherwise.
    using FontFamilyCheck = std::function<bool(const QString &family)>;
    static void setFontFamilyCheck(FontFamilyCheck check);
};
