#include "TestSupport.h"

#include "Settings.h"
#include "UserDefaults.h"

#include <QFile>
#include <QSettings>

#include <ctime>

QString testDataPath(const QString &relative)
{
    return QStringLiteral(CORV_TEST_DATA_DIR "/") + relative;
}

QByteArray readWholeFile(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    return file.readAll();
}

TimeZone::TimeZone(const char *zone) : m_old(qgetenv("TZ")), m_had(qEnvironmentVariableIsSet("TZ"))
{
    qputenv("TZ", zone);
    tzset();
}

TimeZone::~TimeZone()
{
    if (m_had)
        qputenv("TZ", m_old);
    else
        qunsetenv("TZ");
    tzset();
}

FileSizeLimit::FileSizeLimit(rlim_t bytes)
{
    if (getrlimit(RLIMIT_FSIZE, &m_old) != 0)
        return;
    m_oldHandler = std::signal(SIGXFSZ, SIG_IGN);
    rlimit limit = m_old;
    limit.rlim_cur = bytes;
    m_set = setrlimit(RLIMIT_FSIZE, &limit) == 0;
}

FileSizeLimit::~FileSizeLimit()
{
    if (m_set)
        setrlimit(RLIMIT_FSIZE, &m_old);
    std::signal(SIGXFSZ, m_oldHandler);
}

namespace {

const QStringList &fontOfNewMessagesKeys()
{
    static const QStringList keys{SettingsKeys::MessageFontName, SettingsKeys::MessageFontSize};
    return keys;
}

} // namespace

QVariantList storedFontOfNewMessages()
{
    const QSettings file(UserDefaults::standardUserDefaults().filePath(), QSettings::IniFormat);
    QVariantList stored;
    for (const QString &key : fontOfNewMessagesKeys())
        stored << file.value(key);
    return stored;
}

FontOfNewMessagesKept::~FontOfNewMessagesKept()
{
    UserDefaults &defaults = UserDefaults::standardUserDefaults();
    for (qsizetype k = 0; k < fontOfNewMessagesKeys().size(); ++k) {
        if (m_stored[k].isValid())
            defaults.setObject(m_stored[k], fontOfNewMessagesKeys()[k]);
        else
            defaults.removeObjectForKey(fontOfNewMessagesKeys()[k]);
    }
}
