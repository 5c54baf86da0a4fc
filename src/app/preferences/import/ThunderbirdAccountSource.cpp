#include "ThunderbirdAccountSource.h"

#include "BoundedFile.h"
#include "ImportWarnings.h"
#include "PrefsJsParser.h"

#include "Localizer.h"

#include <QDir>
#include <QFileInfo>
#include <QHash>
#include <QSet>
#include <QUtf8StringView>

#include <optional>

namespace {

// nsMsgAuthMethod values of Thunderbird's MailNewsTypes2.idl.
constexpr int AuthNone = 1;
constexpr int AuthCleartext = 3;
// nsMsgSocketType values; 1 is the old "try STARTTLS" that later versions read as 2.
constexpr int SocketPlain = 0;
constexpr int SocketTrySTARTTLS = 1;
constexpr int SocketSTARTTLS = 2;
constexpr int SocketSSL = 3;

struct Server {
    QString hostname;
    QString username;
    QString type;
    std::optional<int> port;
    std::optional<int> trySsl;
    std::optional<int> authMethod;
};

struct Identity {
    QString email;
    QString fullName;
    QString smtpServer;
};

// What the import needs of one prefs.js; everything else is dropped as it
// is read, and each kind of record is capped, so a huge file costs no memory.
struct Collected {
    QString serverList;
    QString defaultServer;
    QString accountList;
    QHash<QString, QString> accountIdentities;
    QHash<QString, Server> servers;
    QHash<QString, Identity> identities;
    QStringList identityOrder;
    ImportWarnings warnings{QStringLiteral("prefs.js")};

    void take(const QString &name, const PrefsJsParser::Value &value);

private:
    template<typename Record>
    Record *record(QHash<QString, Record> &records, const QString &key, QStringList *order = nullptr)
    {
        const auto found = records.find(key);
        if (found != records.end())
            return &found.value();
        if (records.size() >= ImportedAccount::MaxEntries) {
            warnings.add(QStringLiteral("more than %1 entries; the rest were skipped").arg(ImportedAccount::MaxEntries));
            return nullptr;
        }
        if (order)
            order->append(key);
        return &records.insert(key, Record{}).value();
    }

    // The value when it has the type a preference of that name has;
    // anything else is skipped with a warning, never guessed at.
    template<typename T>
    std::optional<T> typed(const QString &name, const PrefsJsParser::Value &value)
    {
        if (const T *held = std::get_if<T>(&value))
            return *held;
        warnings.add(QStringLiteral("%1 has a value of the wrong type; skipped").arg(name));
        return std::nullopt;
    }
};

// Splits "<key>.<field>" after a prefix; the key holds no ".".
bool splitKey(const QString &name, const QString &prefix, QString *key, QString *field)
{
    if (!name.startsWith(prefix))
        return false;
    const qsizetype dot = name.indexOf(u'.', prefix.size());
    if (dot <= prefix.size())
        return false;
    *key = name.mid(prefix.size(), dot - prefix.size());
    *field = name.mid(dot + 1);
    return true;
}

void Collected::take(const QString &name, const PrefsJsParser::Value &value)
{
    static const QString ServerPrefix = QStringLiteral("mail.smtpserver.");
    static const QString IdentityPrefix = QStringLiteral("mail.identity.");
    static const QString AccountPrefix = QStringLiteral("mail.account.");
    QString key;
    QString field;
    if (name == u"mail.smtpservers") {
        if (const auto text = typed<QString>(name, value))
            serverList = *text;
    } else if (name == u"mail.smtp.defaultserver") {
        if (const auto text = typed<QString>(name, value))
            defaultServer = *text;
    } else if (name == u"mail.accountmanager.accounts") {
        if (const auto text = typed<QString>(name, value))
            accountList = *text;
    } else if (splitKey(name, AccountPrefix, &key, &field)) {
        if (field == u"identities") {
            const auto text = typed<QString>(name, value);
            if (text && (accountIdentities.contains(key) || accountIdentities.size() < ImportedAccount::MaxEntries))
                accountIdentities.insert(key, *text);
        }
    } else if (splitKey(name, ServerPrefix, &key, &field)) {
        static const QSet<QString> Fields{"hostname", "username", "type", "port", "try_ssl", "authMethod"};
        if (!Fields.contains(field))
            return;
        Server *server = record(servers, key);
        if (!server)
            return;
        if (field == u"hostname") {
            if (const auto text = typed<QString>(name, value))
                server->hostname = *text;
        } else if (field == u"username") {
            if (const auto text = typed<QString>(name, value))
                server->username = *text;
        } else if (field == u"type") {
            if (const auto text = typed<QString>(name, value))
                server->type = *text;
        } else if (field == u"port") {
            server->port = typed<int>(name, value);
        } else if (field == u"try_ssl") {
            server->trySsl = typed<int>(name, value);
        } else {
            server->authMethod = typed<int>(name, value);
        }
    } else if (splitKey(name, IdentityPrefix, &key, &field)) {
        if (field != u"useremail" && field != u"fullName" && field != u"smtpServer")
            return;
        Identity *identity = record(identities, key, &identityOrder);
        if (!identity)
            return;
        const auto text = typed<QString>(name, value);
        if (!text)
            return;
        if (field == u"useremail")
            identity->email = *text;
        else if (field == u"fullName")
            identity->fullName = *text;
        else
            identity->smtpServer = *text;
    }
}

QStringList listOf(const QString &text)
{
    QStringList items;
    QSet<QString> seen;
    for (const QString &item : text.split(u',')) {
        const QString trimmed = item.trimmed();
        if (trimmed.isEmpty() || seen.contains(trimmed))
            continue;
        seen.insert(trimmed);
        items.append(trimmed);
        if (items.size() >= ImportedAccount::MaxEntries)
            break;
    }
    return items;
}

QString authMethodName(int method)
{
    switch (method) {
    case 4:
        return QStringLiteral("CRAM-MD5");
    case 5:
        return QStringLiteral("Kerberos (GSSAPI)");
    case 6:
        return QStringLiteral("NTLM");
    case 10:
        return QStringLiteral("OAuth2");
    default:
        return QStringLiteral("%1").arg(method);
    }
}

// The outgoing server's settings for the account being built.
void applyServer(const Server &server, ImportedAccount &account)
{
    account.host = ImportedAccount::cleanText(server.hostname);
    account.login = ImportedAccount::cleanText(server.username);
    const int socketType = server.trySsl.value_or(SocketPlain);
    switch (socketType) {
    case SocketPlain:
        account.security = ImportedAccount::Plain;
        break;
    case SocketSSL:
        account.security = ImportedAccount::TlsFromFirstByte;
        break;
    case SocketTrySTARTTLS:
    case SocketSTARTTLS:
        account.security = ImportedAccount::StartTls;
        break;
    default:
        // Unknown: the safe reading, which never sends a password unencrypted.
        account.security = ImportedAccount::StartTls;
        account.warning = Localizer::localizedString("Localized-Settings", "IMPORT_UNKNOWN_SECURITY");
        break;
    }
    const int port = server.port.value_or(0);
    account.port = port > 0 && port <= 65535 ? port : 0;
    const int method = server.authMethod.value_or(AuthCleartext);
    account.authenticate = method != AuthNone;
    if (method != AuthNone && method != AuthCleartext)
        account.warning = Localizer::localizedString("Localized-Settings", "IMPORT_AUTH_UNSUPPORTED").arg(authMethodName(method));
}

} // namespace

ThunderbirdAccountSource::ThunderbirdAccountSource(const QString &homePath)
    : m_homePath(homePath)
{
}

QStringList ThunderbirdAccountSource::profileRoots(const QString &homePath)
{
    const QDir home(homePath);
    return {home.filePath(QStringLiteral(".thunderbird")),
            home.filePath(QStringLiteral(".var/app/org.mozilla.Thunderbird/.thunderbird")),
            home.filePath(QStringLiteral("snap/thunderbird/common/.thunderbird"))};
}

QList<ThunderbirdAccountSource::Profile> ThunderbirdAccountSource::parseProfilesIni(const QByteArray &text,
                                                                                 const QString &folder,
                                                                                 QStringList *warnings)
{
    ImportWarnings notes(QStringLiteral("profiles.ini"));
    QList<Profile> profiles;
    if (text.contains('\0') || !QUtf8StringView(text).isValidUtf8()) {
        notes.add(QStringLiteral("not UTF-8 text"));
        notes.appendTo(warnings);
        return profiles;
    }
    struct Raw {
        QString name;
        QString path;
        std::optional<bool> relative;
        bool isDefault = false;
    };
    QList<Raw> raws;
    QString installDefault;
    bool inProfile = false;
    bool inInstall = false;
    for (QString line : QString::fromUtf8(text).split(u'\n')) {
        line = line.trimmed();
        if (line.isEmpty() || line.startsWith(u';') || line.startsWith(u'#'))
            continue;
        if (line.startsWith(u'[') && line.endsWith(u']')) {
            const QString section = line.mid(1, line.size() - 2);
            inInstall = section.startsWith(u"Install");
            inProfile = section.startsWith(u"Profile");
            if (inProfile) {
                if (raws.size() >= MaxProfiles) {
                    notes.add(QStringLiteral("more than %1 profiles; the rest were skipped").arg(MaxProfiles));
                    inProfile = false;
                } else {
                    raws.append(Raw{});
                }
            }
            continue;
        }
        const qsizetype equals = line.indexOf(u'=');
        if (equals <= 0)
            continue;
        const QString key = line.left(equals).trimmed();
        const QString value = ImportedAccount::cleanText(line.mid(equals + 1));
        if (inInstall && key == u"Default" && installDefault.isEmpty()) {
            installDefault = value;
        } else if (inProfile) {
            Raw &raw = raws.last();
            if (key == u"Name")
                raw.name = value;
            else if (key == u"Path")
                raw.path = value;
            else if (key == u"IsRelative")
                raw.relative = value == u"1";
            else if (key == u"Default")
                raw.isDefault = value == u"1";
        }
    }
    for (const Raw &raw : raws) {
        if (raw.path.isEmpty() || raw.path.size() > ImportedAccount::MaxTextLength)
            continue;
        const bool relative = raw.relative.value_or(!raw.path.startsWith(u'/'));
        Profile profile;
        profile.name = raw.name.isEmpty() ? raw.path : raw.name;
        profile.path = relative ? QDir::cleanPath(QDir(folder).filePath(raw.path)) : QDir::cleanPath(raw.path);
        profile.isDefault = raw.isDefault || (!installDefault.isEmpty() && installDefault == raw.path);
        profiles.append(profile);
    }
    std::stable_sort(profiles.begin(), profiles.end(),
                     [](const Profile &a, const Profile &b) { return a.isDefault && !b.isDefault; });
    notes.appendTo(warnings);
    return profiles;
}

QList<ImportedAccount> ThunderbirdAccountSource::accountsFromPrefs(const QByteArray &prefsJs,
                                                                   const QString &profileLabel,
                                                                   QStringList *warnings)
{
    Collected collected;
    QStringList parseWarnings;
    PrefsJsParser::parse(prefsJs, [&](const QString &name, const PrefsJsParser::Value &value) {
        collected.take(name, value);
    }, &parseWarnings);

    const QStringList serverKeys = listOf(collected.serverList);
    QString defaultKey = collected.defaultServer.trimmed();
    if (defaultKey.isEmpty() && !serverKeys.isEmpty())
        defaultKey = serverKeys.first();

    // The identities of the accounts in the order the program lists them;
    // only when no account lists any, every identity found.
    QStringList order;
    QSet<QString> listed;
    for (const QString &account : listOf(collected.accountList)) {
        for (const QString &id : listOf(collected.accountIdentities.value(account))) {
            if (collected.identities.contains(id) && !listed.contains(id)) {
                listed.insert(id);
                order.append(id);
            }
        }
    }
    if (order.isEmpty())
        order = collected.identityOrder;

    QList<ImportedAccount> accounts;
    for (const QString &id : order) {
        const Identity &identity = collected.identities[id];
        ImportedAccount account;
        account.fromAddress = ImportedAccount::cleanText(identity.email);
        if (account.fromAddress.isEmpty())
            continue;
        const QString name = ImportedAccount::cleanText(identity.fullName);
        const QString who = name.isEmpty() ? account.fromAddress
                                           : QStringLiteral("%1 <%2>").arg(name, account.fromAddress);
        const QString serverKey = identity.smtpServer.trimmed().isEmpty() ? defaultKey : identity.smtpServer.trimmed();
        const auto server = collected.servers.constFind(serverKey);
        if (server != collected.servers.constEnd()
            && (server->type.isEmpty() || server->type == u"smtp"))
            applyServer(*server, account);
        const QString where = account.host.isEmpty() ? ImportedAccount::cleanText(serverKey) : account.host;
        account.title = profileLabel.isEmpty()
                            ? QStringLiteral("%1 (%2)").arg(who, where)
                            : QStringLiteral("%1 (%2, %3)").arg(who, where, profileLabel);
        accounts.append(account);
    }
    if (warnings) {
        warnings->append(parseWarnings);
        collected.warnings.appendTo(warnings);
    }
    return accounts;
}

QList<ImportedAccount> ThunderbirdAccountSource::accounts()
{
    read();
    return m_accounts;
}

QStringList ThunderbirdAccountSource::warnings()
{
    read();
    return m_warnings;
}

void ThunderbirdAccountSource::read()
{
    if (m_read)
        return;
    m_read = true;
    QList<Profile> profiles;
    for (const QString &root : profileRoots(m_homePath)) {
        const QString iniPath = QDir(root).filePath(QStringLiteral("profiles.ini"));
        const QFileInfo ini(iniPath);
        if (!ini.exists() && !ini.isSymLink())
            continue;
        QString error;
        const std::optional<QByteArray> text = BoundedFile::read(iniPath, MaxProfilesIniBytes, &error);
        if (!text) {
            m_warnings.append(QStringLiteral("%1: %2").arg(iniPath, error));
            continue;
        }
        profiles += parseProfilesIni(*text, root, &m_warnings);
    }
    if (profiles.size() > MaxProfiles)
        profiles.resize(MaxProfiles);
    for (const Profile &profile : profiles) {
        const QString prefsPath = QDir(profile.path).filePath(QStringLiteral("prefs.js"));
        const QFileInfo prefs(prefsPath);
        if (!prefs.exists() && !prefs.isSymLink())
            continue;
        QString error;
        const std::optional<QByteArray> text = BoundedFile::read(prefsPath, MaxPrefsBytes, &error);
        if (!text) {
            m_warnings.append(QStringLiteral("%1: %2").arg(prefsPath, error));
            continue;
        }
        m_accounts += accountsFromPrefs(*text, profiles.size() > 1 ? profile.name : QString(), &m_warnings);
        if (m_accounts.size() >= ImportedAccount::MaxEntries) {
            m_accounts.resize(ImportedAccount::MaxEntries);
            break;
        }
    }
}
