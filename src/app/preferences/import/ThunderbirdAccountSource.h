#pragma once

// The sending accounts of Thunderbird: each profile listed in a
// "profiles.ini" (in ~/.thunderbird, or where the Flatpak and Snap packages
// keep it), and in each profile's "prefs.js" the identities (sender name and
// address) with the outgoing server each one uses:
//     mail.smtpservers                 "smtp1,smtp2"
//     mail.smtp.defaultserver          "smtp1"
//     mail.smtpserver.<key>.hostname, .username, .port, .try_ssl, .authMethod, .type
//     mail.accountmanager.accounts     "account1,account2"
//     mail.account.<account>.identities "id1,id2"
//     mail.identity.<id>.useremail, .fullName, .smtpServer
// Passwords (logins.json, key4.db) are never read.

#include "AccountImportSource.h"

#include <QByteArray>
#include <QString>

class ThunderbirdAccountSource final : public AccountImportSource {
public:
    static constexpr qint64 MaxProfilesIniBytes = 1024 * 1024;
    static constexpr qint64 MaxPrefsBytes = 16 * 1024 * 1024;
    static constexpr int MaxProfiles = 100;

    struct Profile {
        QString name;
        QString path; // absolute
        bool isDefault = false;
    };

    // Looks below this home folder.
    explicit ThunderbirdAccountSource(const QString &homePath);

    [[nodiscard]] QList<ImportedAccount> accounts() override;
    [[nodiscard]] QStringList warnings() override;

    // The folders that may hold a "profiles.ini", most common first.
    [[nodiscard]] static QStringList profileRoots(const QString &homePath);
    // The profiles a "profiles.ini" in folder lists, the default one first.
    [[nodiscard]] static QList<Profile> parseProfilesIni(const QByteArray &text, const QString &folder,
                                                         QStringList *warnings);
    // The identities of one "prefs.js"; profileLabel, when not empty, is
    // added to each title so that entries of several profiles differ.
    [[nodiscard]] static QList<ImportedAccount> accountsFromPrefs(const QByteArray &prefsJs,
                                                                  const QString &profileLabel,
                                                                  QStringList *warnings);

private:
    void read();

    QString m_homePath;
    bool m_read = false;
    QList<ImportedAccount> m_accounts;
    QStringList m_warnings;
};
