#include "Settings.h"

#include "AppException.h"
#include "DictionaryGetters.h"
#include "NotificationCenter.h"
#include "UserDefaults.h"
#include "Values.h"

#include <QCoreApplication>
#include <QDebug>
#include <QFontDatabase>
#include <QGuiApplication>
#include <QMutex>

#include <cmath>

namespace {

// The hooks the application and tests install; guarded because a hook may
// be replaced while another thread asks for a font.
QMutex hooksMutex;
Settings::WindowHandler windowHandler;
Settings::FontFamilyCheck fontFamilyCheck;

// Used when no GUI application exists to ask (command-line runs, tests).
const QString FallbackUserFont = QStringLiteral("DejaVu Sans");
const QString FallbackFixedPitchFont = QStringLiteral("DejaVu Sans Mono");
constexpr double DefaultFontSize = 12.0;
// Larger sizes come only from a damaged file and would stall text layout.
constexpr double MaxFontSize = 1000.0;

// Font names carry the face the way the platform's font names do
// ("Family-Bold"), so a chosen bold or italic font survives a restart.
const QString BoldSuffix = QStringLiteral("-Bold");
const QString ItalicSuffix = QStringLiteral("-Italic");
const QString BoldItalicSuffix = QStringLiteral("-BoldItalic");

UserDefaults &defaults()
{
    return UserDefaults::standardUserDefaults();
}

bool hasGuiApplication()
{
    return qobject_cast<QGuiApplication *>(QCoreApplication::instance()) != nullptr;
}

bool isFamilyInstalled(const QString &family)
{
    Settings::FontFamilyCheck check;
    {
        QMutexLocker lock(&hooksMutex);
        check = fontFamilyCheck;
    }
    if (check)
        return check(family);
    if (!hasGuiApplication())
        return true;
    return QFontDatabase::hasFamily(family);
}

QString describeValue(const QVariant &value)
{
    if (isStringValue(value))
        return value.toString();
    QString text;
    QDebug(&text).noquote().nospace() << value;
    return text;
}

// A stored account list of the wrong kind is a damaged preference file;
// it is reported, never guessed at.
[[noreturn]] void raiseUnexpectedClass(const QVariant &value)
{
    throw AppException(ExceptionNames::InternalInconsistency,
                       QStringLiteral("Object type is of unexpected class: %1")
                           .arg(QString::fromLatin1(value.typeName())),
                       {{ExceptionKeys::ObjectDescription, describeValue(value)}});
}

FontDescriptor fontFromName(const QString &name)
{
    FontDescriptor font;
    font.family = name;
    if (name.isEmpty() || isFamilyInstalled(name))
        return font;
    const struct {
        const QString &suffix;
        bool bold;
        bool italic;
    } faces[] = {{BoldItalicSuffix, true, true}, {BoldSuffix, true, false}, {ItalicSuffix, false, true}};
    for (const auto &face : faces) {
        if (name.size() > face.suffix.size() && name.endsWith(face.suffix)) {
            font.family = name.left(name.size() - face.suffix.size());
            font.bold = face.bold;
            font.italic = face.italic;
            break;
        }
    }
    return font;
}

QString nameOfFont(const FontDescriptor &font)
{
    if (font.bold && font.italic)
        return font.family + BoldItalicSuffix;
    if (font.bold)
        return font.family + BoldSuffix;
    if (font.italic)
        return font.family + ItalicSuffix;
    return font.family;
}

} // namespace

void Settings::loadSettings()
{
    defaults().registerDefaults({
        {SettingsKeys::NewDocOnLaunch, QStringLiteral("Yes")},
        {SettingsKeys::ShowDocAssistant, QStringLiteral("Yes")},
        {SettingsKeys::AssistantDocType, QStringLiteral("0")},
        {SettingsKeys::WriteSentMailsLog, QStringLiteral("No")},
        {SettingsKeys::LastSendAccount, QStringLiteral("0")},
        {SettingsKeys::MaxErrorsWhileSending, QStringLiteral("0")},
        {SettingsKeys::RememberLastWindowSize, QStringLiteral("No")},
        {SettingsKeys::MessageFontName, userFontFamily()},
        {SettingsKeys::MessageFontSize, QStringLiteral("12")},
    });
}

bool Settings::newDocOnLaunch()
{
    return defaults().boolForKey(SettingsKeys::NewDocOnLaunch);
}

void Settings::setNewDocOnLaunch(bool value)
{
    defaults().setBool(value, SettingsKeys::NewDocOnLaunch);
}

bool Settings::displayDocAssistant()
{
    return defaults().boolForKey(SettingsKeys::ShowDocAssistant);
}

void Settings::setDisplayDocAssistant(bool value)
{
    defaults().setBool(value, SettingsKeys::ShowDocAssistant);
}

bool Settings::writeLogFile()
{
    return defaults().boolForKey(SettingsKeys::WriteSentMailsLog);
}

void Settings::setWriteLogFile(bool value)
{
    defaults().setBool(value, SettingsKeys::WriteSentMailsLog);
}

int Settings::docAssistantDocType()
{
    return intValue(defaults().objectForKey(SettingsKeys::AssistantDocType));
}

void Settings::setDocAssistantDocType(int value)
{
    defaults().setInteger(value, SettingsKeys::AssistantDocType);
}

int Settings::lastSelectedAccount()
{
    return intValue(defaults().objectForKey(SettingsKeys::LastSendAccount));
}

void Settings::setLastSelectedAccount(int value)
{
    defaults().setInteger(value, SettingsKeys::LastSendAccount);
}

int Settings::maxErrorsWhileSending()
{
    return intValue(defaults().objectForKey(SettingsKeys::MaxErrorsWhileSending));
}

void Settings::setMaxErrorsWhileSending(int value)
{
    defaults().setInteger(value, SettingsKeys::MaxErrorsWhileSending);
}

FontDescriptor Settings::defaultMessageFont()
{
    FontDescriptor font = fontFromName(defaults().stringForKey(SettingsKeys::MessageFontName));
    const double size = defaults().floatForKey(SettingsKeys::MessageFontSize);
    // A size of 0 or less asks for the default size, as font look-ups do.
    font.pointSize = std::isfinite(size) && size > 0.0 && size <= MaxFontSize ? size : DefaultFontSize;
    // A font that was uninstalled, or a damaged name, must not leave the
    // message without a font.
    if (font.family.isEmpty() || !isFamilyInstalled(font.family))
        font.family = userFontFamily();
    return font;
}

void Settings::setDefaultMessageFont(const FontDescriptor &font)
{
    defaults().setObject(nameOfFont(font), SettingsKeys::MessageFontName);
    defaults().setFloat(float(font.pointSize), SettingsKeys::MessageFontSize);
}

std::optional<QVariantList> Settings::accountArray()
{
    const QVariant value = defaults().objectForKey(SettingsKeys::AccountArray);
    if (!value.isValid())
        return std::nullopt;
    if (value.typeId() != QMetaType::QVariantList && value.typeId() != QMetaType::QStringList)
        raiseUnexpectedClass(value);
    return value.toList();
}

void Settings::setAccountArray(const QVariantList &accounts)
{
    defaults().setObject(accounts, SettingsKeys::AccountArray);
}

std::optional<QVariantMap> Settings::dataForAccount(int account)
{
    const std::optional<QVariantList> accounts = accountArray();
    if (!accounts || account < 0 || account >= accounts->size())
        return std::nullopt;
    // An entry that is no dictionary names no account; callers treat it as missing.
    const QVariant &entry = accounts->at(account);
    if (entry.typeId() != QMetaType::QVariantMap)
        return std::nullopt;
    return entry.toMap();
}

void Settings::setDataForAccount(const QVariantMap &data, int account)
{
    std::optional<QVariantList> accounts = accountArray();
    // Replacing a missing entry would grow or corrupt the list: ignore it.
    if (!accounts || account < 0 || account >= accounts->size())
        return;
    (*accounts)[account] = data;
    setAccountArray(*accounts);
    NotificationCenter::defaultCenter().postNotification(SettingsNotifications::AccountChanged, nullptr);
}

void Settings::setAccountType(int account, const QString &type)
{
    std::optional<QVariantMap> data = dataForAccount(account);
    if (!data)
        return;
    data->insert(AccountKeys::AccountType, type);
    setDataForAccount(*data, account);
}

std::optional<QString> Settings::accountType(int account)
{
    const std::optional<QVariantMap> data = dataForAccount(account);
    if (!data)
        return std::nullopt;
    const QString type = DoGetDictStringForKey(*data, AccountKeys::AccountType);
    return type.isNull() ? AccountTypes::Smtp : type;
}

QString Settings::nameForAccount(int account)
{
    const std::optional<QVariantMap> data = dataForAccount(account);
    const QString name = data ? DoGetDictStringForKey(*data, AccountKeys::AccountName) : QString();
    return name.isNull() ? QStringLiteral("") : name;
}

void Settings::setShowSettingsHandler(WindowHandler handler)
{
    QMutexLocker lock(&hooksMutex);
    windowHandler = std::move(handler);
}

void Settings::showSettings(const void *sender)
{
    WindowHandler handler;
    {
        QMutexLocker lock(&hooksMutex);
        handler = windowHandler;
    }
    if (handler.isVisible && handler.isVisible())
        return;
    if (!handler.open || !handler.open(sender))
        qWarning("The settings nib file could not be loaded");
}

QString Settings::userFontFamily()
{
    if (!hasGuiApplication())
        return FallbackUserFont;
    const QString family = QFontDatabase::systemFont(QFontDatabase::GeneralFont).family();
    return family.isEmpty() ? FallbackUserFont : family;
}

QString Settings::userFixedPitchFontFamily()
{
    if (!hasGuiApplication())
        return FallbackFixedPitchFont;
    const QString family = QFontDatabase::systemFont(QFontDatabase::FixedFont).family();
    return family.isEmpty() ? FallbackFixedPitchFont : family;
}

void Settings::setFontFamilyCheck(FontFamilyCheck check)
{
    QMutexLocker lock(&hooksMutex);
    fontFamilyCheck = std::move(check);
}
