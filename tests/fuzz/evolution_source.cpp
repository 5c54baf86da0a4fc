// Arbitrary bytes as a folder of Evolution account sources: the input is
// cut at each 0x1E byte into files named "0", "1", ..., so identity and
// transport references ("IdentityUid=1") can reach the other pieces; the
// key-file parser and the building of accounts from the chains.

#include "EvolutionAccountSource.h"

#include <QByteArray>

#include <cstddef>
#include <cstdint>
#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QByteArray input(reinterpret_cast<const char *>(data), qsizetype(size));
    QList<EvolutionAccountSource::SourceFile> files;
    int number = 0;
    for (const QByteArray &piece : input.split('\x1e')) {
        if (number >= 32)
            break;
        files.append({QString::number(number++), piece});
    }
    QStringList warnings;
    const QList<ImportedAccount> accounts = EvolutionAccountSource::accountsFromSources(files, &warnings);
    for (const ImportedAccount &account : accounts) {
        for (const QVariant &value : account.accountDictionary()) {
            const QString text = value.toString();
            if (text.contains(u'\r') || text.contains(u'\n') || text.contains(QChar(0)))
                std::abort();
        }
    }
    return 0;
}
