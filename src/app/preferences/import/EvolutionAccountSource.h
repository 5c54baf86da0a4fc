#pragma once

// The sending accounts of Evolution: its account sources, one key file
// "<uid>.source" each in $XDG_CONFIG_HOME/evolution/sources (or where the
// Flatpak and Snap packages keep it). An account names its identity, the
// identity its outgoing transport:
//     <account>.source   [Mail Account] IdentityUid=<identity>
//     <identity>.source  [Data Source] DisplayName; [Mail Identity] Address, Name;
//                        [Mail Submission] TransportUid=<transport>
//     <transport>.source [Mail Transport] BackendName=smtp;
//                        [Authentication] Host, Port, User, Method;
//                        [Security] Method=none | ssl-on-alternate-port | starttls-on-standard-port
// Passwords, which Evolution keeps in the Secret Service, are never read.

#include "AccountImportSource.h"

#include <QByteArray>
#include <QString>

class EvolutionAccountSource final : public AccountImportSource {
public:
    static constexpr qint64 MaxSourceBytes = 1024 * 1024;
    static constexpr qint64 MaxTotalBytes = 64 * 1024 * 1024;
    static constexpr int MaxSourceFiles = 10000;

    struct SourceFile {
        QString uid; // the file's name without ".source"
        QByteArray text;
    };

    // Reads the folders given (normally sourceFolders()).
    explicit EvolutionAccountSource(const QStringList &folders);

    [[nodiscard]] QList<ImportedAccount> accounts() override;
    [[nodiscard]] QStringList warnings() override;

    // Where Evolution keeps its sources for this home and configuration folder.
    [[nodiscard]] static QStringList sourceFolders(const QString &homePath, const QString &configPath);
    // The accounts the files describe, in the order of their names.
    [[nodiscard]] static QList<ImportedAccount> accountsFromSources(const QList<SourceFile> &files,
                                                                    QStringList *warnings);

private:
    void read();

    QStringList m_folders;
    bool m_read = false;
    QList<ImportedAccount> m_accounts;
    QStringList m_warnings;
};
