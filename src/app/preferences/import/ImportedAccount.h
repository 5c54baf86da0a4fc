#pragma once

// One sending account found in another mail program's settings, in a form
// neither program owns: what the import sheet lists and what becomes an
// account dictionary. Passwords are never part of it.

#include <QString>
#include <QVariantMap>

struct ImportedAccount {
    enum Security { Plain = 0, TlsFromFirstByte = 1, StartTls = 2 };

    // Longest text taken from another program's files; longer values are
    // left out with a warning.
    static constexpr qsizetype MaxTextLength = 4096;
    // Most accounts (servers, identities) one program's files may bring.
    static constexpr int MaxEntries = 1000;

    QString title;        // shown in the sheet's menu
    QString fromAddress;
    QString host;         // empty: no outgoing server found, the entry cannot be imported
    int port = 0;         // 0: none given
    QString login;
    Security security = Plain;
    bool authenticate = false;
    QString warning;      // for the user; empty when the entry imports as it is

    [[nodiscard]] bool hasServer() const { return !host.isEmpty(); }
    // The port to use: the one given, else 465 for TLS from the first byte
    // and 587 (submission) otherwise.
    [[nodiscard]] int effectivePort() const;
    // The account dictionary of an "smtp" account; missing values are left
    // out. STARTTLS is kept as "useTLS" "1", so the password never goes out
    // before the connection is encrypted.
    [[nodiscard]] QVariantMap accountDictionary() const;

    // Text from a file, made safe to show and to send: control characters
    // (a CR LF could end an SMTP command early) are removed.
    [[nodiscard]] static QString cleanText(const QString &text);
};
