// Arbitrary bytes as a Thunderbird "prefs.js" and, split at its first
// form feed, a "profiles.ini": the preference parser, the building of
// accounts from identities and servers, and the account dictionaries.

#include "ThunderbirdAccountSource.h"

#include <QByteArray>

#include <cstddef>
#include <cstdint>
#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QByteArray input(reinterpret_cast<const char *>(data), qsizetype(size));
    const qsizetype split = input.indexOf('\f');
    const QByteArray prefs = split < 0 ? input : input.left(split);
    QStringList warnings;
    const QList<ImportedAccount> accounts = ThunderbirdAccountSource::accountsFromPrefs(prefs, "fuzz", &warnings);
    if (accounts.size() > ImportedAccount::MaxEntries)
        std::abort();
    for (const ImportedAccount &account : accounts) {
        const QVariantMap dictionary = account.accountDictionary();
        for (const QVariant &value : dictionary) {
            const QString text = value.toString();
            // Nothing from the file may end a command line early.
            if (text.contains(u'\r') || text.contains(u'\n') || text.contains(QChar(0)))
                std::abort();
        }
    }
    if (split >= 0)
        (void)ThunderbirdAccountSource::parseProfilesIni(input.mid(split + 1), "/profiles", &warnings);
    return 0;
}
