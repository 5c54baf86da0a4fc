// Importing accounts from Thunderbird and Evolution: their file formats as
// fixture tables written from the grammars, how their settings become an
// account, hostile files, and the import sheet.
#include "PreferencesTestSupport.h"

#include "EvolutionAccountSource.h"
#include "ImportWarnings.h"
#include "KeyFileParser.h"
#include "MailAccountImporter.h"
#include "PrefsJsParser.h"
#include "ThunderbirdAccountSource.h"

#include "Localizer.h"

#include <QComboBox>
#include <QFile>
#include <QLabel>

#include <sys/stat.h>
#include <unistd.h>

namespace {

QString shown(const PrefsJsParser::Value &value)
{
    if (const QString *text = std::get_if<QString>(&value))
        return QStringLiteral("s:") + *text;
    if (const bool *flag = std::get_if<bool>(&value))
        return *flag ? QStringLiteral("b:true") : QStringLiteral("b:false");
    return QStringLiteral("i:%1").arg(std::get<int>(value));
}

struct Parsed {
    bool accepted = false;
    QStringList prefs; // "name=value" in file order
    QStringList warnings;
};

Parsed parsePrefs(const QByteArray &text)
{
    Parsed parsed;
    parsed.accepted = PrefsJsParser::parse(text, [&](const QString &name, const PrefsJsParser::Value &value) {
        parsed.prefs.append(name + u'=' + shown(value));
    }, &parsed.warnings);
    return parsed;
}

void writeFile(const QString &path, const QByteArray &bytes)
{
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly)) << path.toStdString();
    file.write(bytes);
}

// One outgoing server "smtp1" with these preferences (values as written in
// prefs.js) and one identity that uses it.
QByteArray oneServer(const QList<std::pair<const char *, const char *>> &server)
{
    QByteArray text = "user_pref(\"mail.smtpservers\", \"smtp1\");\n"
                      "user_pref(\"mail.smtpserver.smtp1.hostname\", \"smtp.example.org\");\n"
                      "user_pref(\"mail.smtpserver.smtp1.username\", \"ann\");\n"
                      "user_pref(\"mail.identity.id1.useremail\", \"ann@example.org\");\n"
                      "user_pref(\"mail.identity.id1.smtpServer\", \"smtp1\");\n";
    for (const auto &[key, value] : server)
        text += QByteArray("user_pref(\"mail.smtpserver.smtp1.") + key + "\", " + value + ");\n";
    return text;
}

ImportedAccount onlyAccount(const QByteArray &prefs)
{
    const QList<ImportedAccount> accounts = ThunderbirdAccountSource::accountsFromPrefs(prefs, {}, nullptr);
    EXPECT_EQ(accounts.size(), 1);
    return accounts.value(0);
}

QByteArray evolutionTransport(const char *security, const char *method, const char *port = "")
{
    return QByteArray("[Data Source]\nDisplayName=smtp\n\n[Mail Transport]\nBackendName=smtp\n\n"
                      "[Authentication]\nHost = smtp.example.org \nUser=ann\nMethod=")
        + method + "\nPort=" + port + "\n\n[Security]\nMethod=" + security + "\n";
}

QList<EvolutionAccountSource::SourceFile> evolutionChain(const QByteArray &identityExtra, const QByteArray &transport)
{
    return {
        {"1a-account", "[Data Source]\nDisplayName=ann@example.org\n\n[Mail Account]\nBackendName=imapx\n"
                       "IdentityUid=2b-identity\n"},
        {"2b-identity", "[Data Source]\nDisplayName=Ann\\sat\\sWork\nDisplayName[de]=Anne\n\n[Mail Identity]\n"
                        "Address=ann@example.org\nName=Ann\n" + identityExtra},
        {"3c-transport", transport},
    };
}

} // namespace

TEST(PrefsJsParser, ReadsTheGrammarAndSkipsBadStatements)
{
    const struct {
        const char *what;
        QByteArray text;
        QStringList prefs;
        int warnings;
    } rows[] = {
        {"plain", "user_pref(\"a\", \"x\");", {"a=s:x"}, 0},
        {"escapes", R"(user_pref('b', 'it\'s \"q\" \\ \n\r \x41 \u00e9 \uD83D\uDE00');)",
         {QString::fromUtf8("b=s:it's \"q\" \\ \n\r A é 😀")}, 0},
        {"comments", "# one\n// two\n/* three\n four */ user_pref(\"c\", true); user_pref(\"d\" ,false )  ;",
         {"c=b:true", "d=b:false"}, 0},
        {"numbers and the other statements",
         "user_pref(\"e\", -42); user_pref(\"f\", +7); pref(\"g\", 1, sticky, locked); sticky_pref(\"h\", 0);",
         {"e=i:-42", "f=i:7", "g=i:1", "h=i:0"}, 0},
        {"a later statement wins", "user_pref(\"a\", 1);\nuser_pref(\"a\", 2);", {"a=i:1", "a=i:2"}, 0},
        {"errors are skipped to their semicolon",
         R"(user_pref("x", "\x00"); user_pref("ok1", 1); user_pref("y", "\uD800"); user_pref("ok2", 2);)"
         R"( user_pref("z", "\q"); user_pref("big", 2147483648); user_pref("ok3", 3) user_pref("lost", 4);)"
         R"( usr_pref("typo", 5); user_pref("s", 1, sticky); user_pref("ok4", -2147483648);)",
         {"ok1=i:1", "ok2=i:2", "ok4=i:-2147483648"}, 7},
        {"unterminated string", "user_pref(\"a\", 1); user_pref(\"b\", \"never ends", {"a=i:1"}, 1},
        {"unterminated comment", "user_pref(\"a\", 1); /* open", {"a=i:1"}, 1},
        {"a multi-line string", "user_pref(\"m\", \"one\ntwo\");", {"m=s:one\ntwo"}, 0},
    };
    for (const auto &row : rows) {
        SCOPED_TRACE(row.what);
        const Parsed parsed = parsePrefs(row.text);
        EXPECT_TRUE(parsed.accepted);
        EXPECT_EQ(parsed.prefs, row.prefs);
        EXPECT_EQ(parsed.warnings.size(), row.warnings) << parsed.warnings.join('\n').toStdString();
    }
    for (const QByteArray &refused : {QByteArray("user_pref(\"a\", \"\xff\");"), QByteArray("user_pref(\"a\", 1);\0", 20)}) {
        const Parsed parsed = parsePrefs(refused);
        EXPECT_FALSE(parsed.accepted);
        EXPECT_TRUE(parsed.prefs.isEmpty());
        EXPECT_EQ(parsed.warnings.size(), 1);
    }
    // A string longer than any setting: refused, and reading goes on after it.
    const Parsed longOne = parsePrefs("user_pref(\"h\", \"" + QByteArray(1024 * 1024, 'h') + "\"); user_pref(\"n\", 1);");
    EXPECT_EQ(longOne.prefs, QStringList{"n=i:1"});
}

TEST(ThunderbirdAccountSource, ServerSettingsBecomeTheAccount)
{
    using S = ImportedAccount::Security;
    const struct {
        const char *what;
        QList<std::pair<const char *, const char *>> server;
        S security;
        int port;
        bool authenticate;
        bool warning;
    } rows[] = {
        {"plain", {{"try_ssl", "0"}, {"port", "25"}}, S::Plain, 25, true, false},
        {"old try-STARTTLS", {{"try_ssl", "1"}}, S::StartTls, 587, true, false},
        {"STARTTLS", {{"try_ssl", "2"}, {"port", "0"}}, S::StartTls, 587, true, false},
        {"SSL", {{"try_ssl", "3"}}, S::TlsFromFirstByte, 465, true, false},
        {"SSL on its own port", {{"try_ssl", "3"}, {"port", "2465"}}, S::TlsFromFirstByte, 2465, true, false},
        {"no socket type", {}, S::Plain, 587, true, false},
        {"unknown socket type", {{"try_ssl", "99"}}, S::StartTls, 587, true, true},
        {"no authentication", {{"authMethod", "1"}}, S::Plain, 587, false, false},
        {"cleartext password", {{"authMethod", "3"}}, S::Plain, 587, true, false},
        {"OAuth2", {{"authMethod", "10"}}, S::Plain, 587, true, true},
        {"port of the wrong type", {{"port", "\"25\""}}, S::Plain, 587, true, false},
        {"type smtp", {{"type", "\"smtp\""}}, S::Plain, 587, true, false},
    };
    for (const auto &row : rows) {
        SCOPED_TRACE(row.what);
        const ImportedAccount account = onlyAccount(oneServer(row.server));
        EXPECT_EQ(account.host, "smtp.example.org");
        EXPECT_EQ(account.security, row.security);
        EXPECT_EQ(account.effectivePort(), row.port);
        EXPECT_EQ(account.authenticate, row.authenticate);
        EXPECT_EQ(!account.warning.isEmpty(), row.warning) << account.warning.toStdString();
    }
    // STARTTLS is kept, so the password never goes out before encryption.
    EXPECT_EQ(onlyAccount(oneServer({{"try_ssl", "2"}})).accountDictionary(),
              (QVariantMap{{"accountType", "smtp"}, {"accountName", "ann@example.org (smtp.example.org)"},
                           {"mailFromAddress", "ann@example.org"}, {"smtpServer", "smtp.example.org"},
                           {"smtpPort", "587"}, {"useSSL", "0"}, {"useTLS", "1"}, {"smtpAuthType", "2"},
                           {"smtpLogin", "ann"}}));
    EXPECT_EQ(onlyAccount(oneServer({{"authMethod", "1"}, {"try_ssl", "3"}})).accountDictionary().value("smtpAuthType"), "0");
    QStringList warnings;
    (void)ThunderbirdAccountSource::accountsFromPrefs(oneServer({{"port", "\"25\""}}), {}, &warnings);
    EXPECT_EQ(warnings.size(), 1);
    EXPECT_TRUE(warnings.value(0).contains("mail.smtpserver.smtp1.port"));
}

TEST(ThunderbirdAccountSource, IdentitiesFindTheirServers)
{
    const QByteArray prefs = R"(
user_pref("mail.accountmanager.accounts", "account2,account1,account3");
user_pref("mail.account.account1.identities", "id1");
user_pref("mail.account.account2.identities", "id2,id3");
user_pref("mail.account.account3.identities", "id4,id5");
user_pref("mail.smtpservers", "smtp1,smtp2,news");
user_pref("mail.smtp.defaultserver", "smtp2");
user_pref("mail.smtpserver.smtp1.hostname", "one.example.org");
user_pref("mail.smtpserver.smtp2.hostname", "two.example.org\r\nRSET");
user_pref("mail.smtpserver.news.hostname", "news.example.org");
user_pref("mail.smtpserver.news.type", "nntp");
user_pref("mail.identity.id1.useremail", "first@example.org");
user_pref("mail.identity.id1.fullName", "First One");
user_pref("mail.identity.id2.useremail", "second@example.org");
user_pref("mail.identity.id2.smtpServer", "smtp1");
user_pref("mail.identity.id3.useremail", "third@example.org");
user_pref("mail.identity.id3.smtpServer", "smtp9");
user_pref("mail.identity.id4.fullName", "No Address");
user_pref("mail.identity.id5.useremail", "news@example.org");
user_pref("mail.identity.id5.smtpServer", "news");
user_pref("mail.identity.id9.useremail", "orphan@example.org");
)";
    const QList<ImportedAccount> accounts = ThunderbirdAccountSource::accountsFromPrefs(prefs, "work", nullptr);
    QStringList summary;
    for (const ImportedAccount &account : accounts)
        summary.append(account.title + " -> " + account.host);
    EXPECT_EQ(summary, (QStringList{
                           "second@example.org (one.example.org, work) -> one.example.org",
                           "third@example.org (smtp9, work) -> ", // names a missing server
                           "First One <first@example.org> (two.example.orgRSET, work) -> two.example.orgRSET",
                           "news@example.org (news, work) -> ", // not an SMTP server
                       }));
    for (const ImportedAccount &account : accounts)
        EXPECT_FALSE(account.host.contains(u'\r') || account.host.contains(u'\n'));
}

TEST(ThunderbirdAccountSource, ProfilesIniListsTheDefaultFirst)
{
    const QByteArray text = "[General]\nStartWithLastProfile=1\n\n"
                            "[Profile2]\nName=elsewhere\nIsRelative=0\nPath=/srv/profiles/x\n\n"
                            "[Profile1]\nName=work\nIsRelative=1\nPath=abcd.work\n\n"
                            "; a comment\n[Profile0]\nName=home\nIsRelative=1\nPath=efgh.home\nDefault=1\n\n"
                            "[Profile3]\nName=no path\n\n"
                            "[Install4F96D1932A9F858E]\nDefault=abcd.work\nLocked=1\n";
    const auto profiles = ThunderbirdAccountSource::parseProfilesIni(text, "/home/u/.thunderbird", nullptr);
    QStringList listed;
    for (const auto &profile : profiles)
        listed.append(profile.name + '=' + profile.path + (profile.isDefault ? " *" : ""));
    EXPECT_EQ(listed, (QStringList{"work=/home/u/.thunderbird/abcd.work *", "home=/home/u/.thunderbird/efgh.home *",
                                   "elsewhere=/srv/profiles/x"}));
}

TEST(EvolutionAccountSource, ChainsOfSourcesBecomeAccounts)
{
    using S = ImportedAccount::Security;
    const struct {
        const char *what;
        QByteArray identityExtra;
        QByteArray transport;
        QString host;
        S security;
        int port;
        bool authenticate;
        bool warning;
    } rows[] = {
        {"no security", "[Mail Submission]\nTransportUid=3c-transport\n", evolutionTransport("none", "PLAIN", "25"),
         "smtp.example.org", S::Plain, 25, true, false},
        {"TLS", "[Mail Submission]\nTransportUid=3c-transport\n", evolutionTransport("ssl-on-alternate-port", "LOGIN"),
         "smtp.example.org", S::TlsFromFirstByte, 465, true, false},
        {"STARTTLS", "[Mail Submission]\nTransportUid=3c-transport\n",
         evolutionTransport("starttls-on-standard-port", ""), "smtp.example.org", S::StartTls, 587, false, false},
        {"unknown security", "[Mail Submission]\nTransportUid=3c-transport\n", evolutionTransport("quantum", "none"),
         "smtp.example.org", S::StartTls, 587, false, true},
        {"OAuth2", "[Mail Submission]\nTransportUid=3c-transport\n", evolutionTransport("none", "XOAUTH2", "587"),
         "smtp.example.org", S::Plain, 587, true, true},
        {"no transport named", "", evolutionTransport("none", "PLAIN"), "", S::Plain, 587, false, false},
        {"a transport that is not SMTP", "[Mail Submission]\nTransportUid=3c-transport\n",
         "[Mail Transport]\nBackendName=sendmail\n", "", S::Plain, 587, false, false},
    };
    for (const auto &row : rows) {
        SCOPED_TRACE(row.what);
        const QList<ImportedAccount> accounts =
            EvolutionAccountSource::accountsFromSources(evolutionChain(row.identityExtra, row.transport), nullptr);
        ASSERT_EQ(accounts.size(), 1);
        const ImportedAccount &account = accounts[0];
        EXPECT_EQ(account.fromAddress, "ann@example.org");
        EXPECT_EQ(account.title, "Ann at Work (" + (row.host.isEmpty() ? QStringLiteral("?") : row.host) + ")");
        EXPECT_EQ(account.host, row.host);
        if (row.host.isEmpty())
            continue;
        EXPECT_EQ(account.login, "ann");
        EXPECT_EQ(account.security, row.security);
        EXPECT_EQ(account.effectivePort(), row.port);
        EXPECT_EQ(account.authenticate, row.authenticate);
        EXPECT_EQ(!account.warning.isEmpty(), row.warning);
    }
}

TEST(KeyFileParser, ReadsGroupsKeysAndEscapes)
{
    ImportWarnings warnings("test");
    const auto groups = KeyFileParser::parse("# comment\nstray=1\n[A]\nk = v \\s\\t\\\\x\nk2=first\nk2=second\n"
                                             "Name[de]=skipped\nno equals\nbad=\\q\n[B]\r\nx=\\n\r\n[A]\nk3=again\n",
                                             warnings);
    EXPECT_EQ(groups.value("A"), (KeyFileParser::Group{{"k", "v  \t\\x"}, {"k2", "second"}, {"k3", "again"}}));
    EXPECT_EQ(groups.value("B"), (KeyFileParser::Group{{"x", "\n"}}));
    QStringList kept;
    warnings.appendTo(&kept);
    EXPECT_EQ(kept.size(), 3) << kept.join('\n').toStdString(); // stray, no equals, bad escape
}

TEST_F(PreferencesTest, HostileFilesAreRefusedOrBounded)
{
    const QString home = dir.filePath("home");
    const QString root = home + "/.thunderbird";
    QByteArray ini;
    const auto profile = [&](const char *name) {
        ini += QByteArray("[Profile") + name + "]\nName=" + name + "\nPath=" + name + "\n\n";
        QDir().mkpath(root + '/' + name);
        return root + '/' + name + "/prefs.js";
    };
    {
        QFile sparse(profile("sparse"));
        ASSERT_TRUE(sparse.open(QIODevice::WriteOnly));
        ASSERT_TRUE(sparse.resize(20LL * 1024 * 1024 * 1024));
    }
    ASSERT_EQ(::mkfifo(QFile::encodeName(profile("fifo")).constData(), 0600), 0);
    ASSERT_EQ(::symlink("prefs.js", QFile::encodeName(profile("loop")).constData()), 0);
    ASSERT_TRUE(QFile::link("/dev/zero", profile("zero")));
    writeFile(profile("open"), "user_pref(\"mail.identity.id1.useremail\", \"a@b\"); /* never closed");
    writeFile(profile("hostname"), oneServer({}).replace("smtp.example.org", QByteArray(1024 * 1024, 'h')));
    QByteArray many;
    for (int i = 0; i < 100000; ++i)
        many += QStringLiteral("user_pref(\"mail.identity.id%1.useremail\", \"u%1@example.org\");\n").arg(i).toUtf8();
    writeFile(profile("many"), many);
    ini += "[Profile99]\nName=stdin\nIsRelative=0\nPath=/proc/self/fd/0\n";
    writeFile(root + "/profiles.ini", ini);
    // The Flatpak location holds a profiles.ini that is a FIFO.
    QDir().mkpath(home + "/.var/app/org.mozilla.Thunderbird/.thunderbird");
    ASSERT_EQ(::mkfifo(QFile::encodeName(home + "/.var/app/org.mozilla.Thunderbird/.thunderbird/profiles.ini").constData(), 0600), 0);

    ThunderbirdAccountSource source(home);
    const QList<ImportedAccount> accounts = source.accounts();
    const QString warnings = source.warnings().join('\n');
    for (const char *expected : {"sparse/prefs.js: larger than", "fifo/prefs.js: not a regular file",
                                 "loop/prefs.js: too many levels of symbolic links", "zero/prefs.js: not a regular file",
                                 "comment not closed", "string longer than", "more than 1000 entries",
                                 "profiles.ini: not a regular file"})
        EXPECT_TRUE(warnings.contains(expected)) << expected << "\n" << warnings.toStdString();
    EXPECT_EQ(accounts.size(), ImportedAccount::MaxEntries);
    for (const ImportedAccount &account : accounts)
        EXPECT_LE(account.host.size(), ImportedAccount::MaxTextLength);

    // The same for Evolution's folder of sources.
    const QString sources = dir.filePath("sources");
    QDir().mkpath(sources);
    ASSERT_EQ(::mkfifo(QFile::encodeName(sources + "/fifo.source").constData(), 0600), 0);
    ASSERT_EQ(::symlink("loop.source", QFile::encodeName(sources + "/loop.source").constData()), 0);
    writeFile(sources + "/big.source", QByteArray(2 * 1024 * 1024, '#'));
    writeFile(sources + "/binary.source", QByteArray("[A]\nk=\0v\n", 9));
    for (const auto &[name, text] : evolutionChain("[Mail Submission]\nTransportUid=3c-transport\n",
                                                   evolutionTransport("none", "PLAIN")))
        writeFile(sources + '/' + name + ".source", text);
    EvolutionAccountSource evolution({sources, dir.filePath("missing")});
    EXPECT_EQ(evolution.accounts().size(), 1);
    const QString evolutionWarnings = evolution.warnings().join('\n');
    for (const char *expected : {"fifo.source: not a regular file", "loop.source: too many levels",
                                 "big.source: larger than", "binary.source: not UTF-8"})
        EXPECT_TRUE(evolutionWarnings.contains(expected)) << expected << "\n" << evolutionWarnings.toStdString();
}

namespace {

struct RecordingDelegate : AccountImportDelegate {
    void addAccountWithData(const QVariantMap &account) override { added.append(account); }
    QList<QVariantMap> added;
};

QString thunderbirdHome(const QString &base)
{
    const QString home = base + "/tb-home";
    writeFile(home + "/.thunderbird/profiles.ini", "[Profile0]\nName=default\nIsRelative=1\nPath=x.default\n");
    writeFile(home + "/.thunderbird/x.default/prefs.js", R"(
user_pref("mail.smtpservers", "smtp1,smtp2");
user_pref("mail.smtpserver.smtp1.hostname", "smtp.example.org");
user_pref("mail.smtpserver.smtp1.try_ssl", 2);
user_pref("mail.smtpserver.smtp1.username", "ann");
user_pref("mail.smtpserver.smtp2.hostname", "oauth.example.org");
user_pref("mail.smtpserver.smtp2.authMethod", 10);
user_pref("mail.identity.id1.useremail", "ann@example.org");
user_pref("mail.identity.id1.fullName", "Ann");
user_pref("mail.identity.id2.useremail", "lost@example.org");
user_pref("mail.identity.id2.smtpServer", "gone");
user_pref("mail.identity.id3.useremail", "token@example.org");
user_pref("mail.identity.id3.smtpServer", "smtp2");
)");
    return home;
}

} // namespace

TEST_F(PreferencesTest, TheImportSheetHandsOverTheChosenAccount)
{
    const QString home = thunderbirdHome(dir.path());
    QWidget parent;
    RecordingDelegate delegate;
    const auto sheet = [&] {
        auto *importer = new MailAccountImporter(&parent, std::make_unique<ThunderbirdAccountSource>(home));
        importer->setDelegate(&delegate);
        importer->displayAsSheet();
        return importer;
    };
    MailAccountImporter *importer = sheet();
    QStringList titles;
    for (int i = 0; i < importer->accountMenu()->count(); ++i)
        titles.append(importer->accountMenu()->itemText(i));
    EXPECT_EQ(titles, (QStringList{"Ann <ann@example.org> (smtp.example.org)", "lost@example.org (gone)",
                                   "token@example.org (oauth.example.org)"}));
    importer->accountMenu()->setCurrentIndex(2);
    EXPECT_FALSE(importer->warningLabel()->isHidden());
    saveScreenshot(importer, "import-sheet");

    importer->accountMenu()->setCurrentIndex(1);
    importer->okClicked();
    EXPECT_TRUE(delegate.added.isEmpty());
    ASSERT_EQ(alerts.shown.size(), 1);
    EXPECT_EQ(alerts.shown[0].title, Localizer::localizedString("Localized", "Account not imported title"));

    importer = sheet();
    importer->accountMenu()->setCurrentIndex(0);
    importer->okClicked();
    ASSERT_EQ(delegate.added.size(), 1);
    EXPECT_EQ(delegate.added[0].value("smtpServer"), "smtp.example.org");
    EXPECT_EQ(delegate.added[0].value("useTLS"), "1");
    EXPECT_FALSE(delegate.added[0].contains("password"));

    // Through the window's add menu, with the user's own home folder.
    const QByteArray oldHome = qgetenv("HOME");
    qputenv("HOME", home.toUtf8());
    auto *window = new SettingsWindow;
    window->addAccount(SettingsWindow::ImportThunderbird);
    qputenv("HOME", oldHome);
    auto *fromWindow = window->findChild<MailAccountImporter *>();
    ASSERT_TRUE(fromWindow);
    fromWindow->accountMenu()->setCurrentIndex(2);
    fromWindow->okClicked();
    EXPECT_EQ(Settings::nameForAccount(0), "token@example.org (oauth.example.org)");
    EXPECT_EQ(alerts.shown.last().title, Localizer::localizedString("Localized-Settings", "IMPORT_WITH_WARNING_TITLE"));
    window->saveSettings();
}
