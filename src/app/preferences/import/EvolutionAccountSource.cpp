#include "EvolutionAccountSource.h"

#include "BoundedFile.h"
#include "ImportWarnings.h"
#include "KeyFileParser.h"

#include "Localizer.h"

#include <QDir>
#include <QHash>

#include <algorithm>

namespace {

// The few values the import needs of one source file.
struct Source {
    QString displayName;
    bool isAccount = false;
    QString identityUid;
    bool isIdentity = false;
    QString address;
    QString name;
    QString transportUid;
    bool isTransport = false;
    QString backend;
    QString host;
    QString port;
    QString user;
    QString authMethod;
    QString securityMethod;
};

Source sourceOf(const KeyFileParser::Groups &groups)
{
    const auto value = [&groups](const char *group, const char *key) {
        return groups.value(QString::fromLatin1(group)).value(QString::fromLatin1(key));
    };
    const auto has = [&groups](const char *group) { return groups.contains(QString::fromLatin1(group)); };
    Source source;
    source.displayName = value("Data Source", "DisplayName");
    source.isAccount = has("Mail Account");
    source.identityUid = value("Mail Account", "IdentityUid");
    source.isIdentity = has("Mail Identity");
    source.address = value("Mail Identity", "Address");
    source.name = value("Mail Identity", "Name");
    source.transportUid = value("Mail Submission", "TransportUid");
    source.isTransport = has("Mail Transport");
    source.backend = value("Mail Transport", "BackendName");
    source.host = value("Authentication", "Host");
    source.port = value("Authentication", "Port");
    source.user = value("Authentication", "User");
    source.authMethod = value("Authentication", "Method");
    source.securityMethod = value("Security", "Method");
    return source;
}

// The transport's settings for the account being built.
void applyTransport(const Source &transport, ImportedAccount &account)
{
    account.host = ImportedAccount::cleanText(transport.host);
    account.login = ImportedAccount::cleanText(transport.user);
    bool isNumber = false;
    const int port = transport.port.trimmed().toInt(&isNumber);
    account.port = isNumber && port > 0 && port <= 65535 ? port : 0;
    const QString security = transport.securityMethod.trimmed();
    if (security.isEmpty() || security == u"none") {
        account.security = ImportedAccount::Plain;
    } else if (security == u"ssl-on-alternate-port") {
        account.security = ImportedAccount::TlsFromFirstByte;
    } else if (security == u"starttls-on-standard-port") {
        account.security = ImportedAccount::StartTls;
    } else {
        // Unknown: the safe reading, which never sends a password unencrypted.
        account.security = ImportedAccount::StartTls;
        account.warning = Localizer::localizedString("Localized-Settings", "IMPORT_UNKNOWN_SECURITY");
    }
    const QString method = ImportedAccount::cleanText(transport.authMethod);
    account.authenticate = !method.isEmpty() && method.compare(u"none", Qt::CaseInsensitive) != 0;
    if (account.authenticate && method.compare(u"PLAIN", Qt::CaseInsensitive) != 0
        && method.compare(u"LOGIN", Qt::CaseInsensitive) != 0)
        account.warning = Localizer::localizedString("Localized-Settings", "IMPORT_AUTH_UNSUPPORTED").arg(method);
}

} // namespace

EvolutionAccountSource::EvolutionAccountSource(const QStringList &folders)
    : m_folders(folders)
{
}

QStringList EvolutionAccountSource::sourceFolders(const QString &homePath, const QString &configPath)
{
    const QDir home(homePath);
    return {QDir(configPath).filePath(QStringLiteral("evolution/sources")),
            home.filePath(QStringLiteral(".var/app/org.gnome.Evolution/config/evolution/sources")),
            home.filePath(QStringLiteral("snap/evolution/current/.config/evolution/sources"))};
}

QList<ImportedAccount> EvolutionAccountSource::accountsFromSources(const QList<SourceFile> &files,
                                                                   QStringList *warnings)
{
    ImportWarnings notes(QStringLiteral("Evolution"));
    QHash<QString, Source> sources;
    QStringList order;
    for (const SourceFile &file : files) {
        notes.setContext(file.uid + QStringLiteral(".source"));
        if (!sources.contains(file.uid))
            order.append(file.uid);
        sources.insert(file.uid, sourceOf(KeyFileParser::parse(file.text, notes)));
    }
    notes.setContext({});
    std::sort(order.begin(), order.end());

    QList<ImportedAccount> accounts;
    for (const QString &uid : order) {
        const Source &source = sources[uid];
        if (!source.isAccount)
            continue;
        const auto identity = sources.constFind(source.identityUid.trimmed());
        if (identity == sources.constEnd() || !identity->isIdentity)
            continue;
        ImportedAccount account;
        account.fromAddress = ImportedAccount::cleanText(identity->address);
        if (account.fromAddress.isEmpty())
            continue;
        const auto transport = sources.constFind(identity->transportUid.trimmed());
        if (transport != sources.constEnd() && transport->isTransport && transport->backend.trimmed() == u"smtp")
            applyTransport(*transport, account);
        QString who = ImportedAccount::cleanText(identity->displayName);
        if (who.isEmpty())
            who = ImportedAccount::cleanText(identity->name);
        if (who.isEmpty())
            who = account.fromAddress;
        account.title = QStringLiteral("%1 (%2)").arg(who, account.host.isEmpty() ? QStringLiteral("?") : account.host);
        accounts.append(account);
        if (accounts.size() >= ImportedAccount::MaxEntries) {
            notes.add(QStringLiteral("more than %1 accounts; the rest were skipped").arg(ImportedAccount::MaxEntries));
            break;
        }
    }
    notes.appendTo(warnings);
    return accounts;
}

QList<ImportedAccount> EvolutionAccountSource::accounts()
{
    read();
    return m_accounts;
}

QStringList EvolutionAccountSource::warnings()
{
    read();
    return m_warnings;
}

void EvolutionAccountSource::read()
{
    if (m_read)
        return;
    m_read = true;
    ImportWarnings notes(QStringLiteral("Evolution"));
    for (const QString &folder : m_folders) {
        const QDir dir(folder);
        if (!dir.exists())
            continue;
        notes.setContext(folder);
        // Links are listed too: BoundedFile reads only what is a regular file in the end.
        const QStringList names = dir.entryList({QStringLiteral("*.source")}, QDir::Files | QDir::System | QDir::Hidden,
                                                QDir::Name);
        QList<SourceFile> files;
        qint64 total = 0;
        for (const QString &name : names) {
            if (files.size() >= MaxSourceFiles) {
                notes.add(QStringLiteral("more than %1 files; the rest were skipped").arg(MaxSourceFiles));
                break;
            }
            QString error;
            const std::optional<QByteArray> text = BoundedFile::read(dir.filePath(name), MaxSourceBytes, &error);
            if (!text) {
                notes.add(QStringLiteral("%1: %2").arg(name, error));
                continue;
            }
            total += text->size();
            if (total > MaxTotalBytes) {
                notes.add(QStringLiteral("more than %1 bytes in all; the rest were skipped").arg(MaxTotalBytes));
                break;
            }
            files.append({name.chopped(int(qstrlen(".source"))), *text});
        }
        m_accounts += accountsFromSources(files, &m_warnings);
        if (m_accounts.size() >= ImportedAccount::MaxEntries) {
            m_accounts.resize(ImportedAccount::MaxEntries);
            break;
        }
    }
    notes.appendTo(&m_warnings);
}
