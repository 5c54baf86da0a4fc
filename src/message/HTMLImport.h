#pragma once

// An HTML page made into the body of a raw-HTML message, without widgets:
// the page's bytes and folder, its encoding, its file references with what
// each becomes, and the body. The import sheet shows and edits this.
//
// A reference counts as a local file by itself only when it names a
// regular file inside the page's folder tree, within a size bound: a page
// from elsewhere must not decide which of the user's files ride along in
// every message. Anything else can be pointed at a file by the user.

#include "HTMLReferenceScanner.h"

#include "RichText.h"

#include <QList>
#include <QString>
#include <QStringList>

#include <optional>

class HTMLImport {
public:
    enum Status : qint32 { NotFound = 0, LocalFile = 1, WebAddress = 3 };
    struct Reference {
        QString oldRef; // the value as the page gives it
        QString newRef; // the path, the address, or the value unchanged
        qint32 status = NotFound;
    };
    struct Body {
        RichText text;
        // Values that stay as written although they look like local files.
        QStringList unreplaced;
    };

    static constexpr qint64 MaxPageBytes = 20LL * 1024 * 1024;
    // A file that would ride along in every message.
    static constexpr qint64 MaxReferencedFileBytes = 25LL * 1024 * 1024;

    // Reads the page; false, with the localisation key of what is wrong
    // (table "Localized-HTMLImport"), when it cannot be read.
    [[nodiscard]] bool openFile(const QString &path, QString *errorKey = nullptr);
    // The page's bytes and folder as they are; detects the encoding and
    // collects the references.
    void setPage(const QByteArray &bytes, const QString &folder);

    [[nodiscard]] quint64 detectedEncoding() const { return m_detectedEncoding; }
    [[nodiscard]] quint64 encoding() const { return m_encoding; }
    // Decodes the page again and collects its references anew (choices made
    // for the old ones are dropped: their values may read differently).
    // False when the bytes are not valid in the encoding; there are no
    // references then.
    bool setEncoding(quint64 encoding);
    [[nodiscard]] bool decodes() const { return m_text.has_value(); }
    [[nodiscard]] HTMLScan::Status scanStatus() const { return m_scan.status; }

    // One per distinct value, in the order they first appear.
    [[nodiscard]] const QList<Reference> &references() const { return m_references; }
    [[nodiscard]] const QStringList &activeContent() const { return m_scan.activeContent; }
    [[nodiscard]] const QString &folder() const { return m_folder; }

    // The user's file for a reference. False, changing nothing, for anything
    // but a regular file within the size bound.
    bool selectFile(int row, const QString &path);
    // Each row's reference resolved against the base address ("http://" put
    // in front when it has no "://").
    void prependURL(const QList<int> &rows, const QString &base);

    // None when the page does not decode in the chosen encoding, or its
    // structure was refused.
    [[nodiscard]] std::optional<Body> body() const;
    // The values body() leaves as written although they look like local files.
    [[nodiscard]] QStringList unreplaced() const;

    // The local file a reference names by itself: a regular file inside the
    // folder's tree within the bound, with its canonical path; null otherwise.
    [[nodiscard]] static QString localFileFor(const QString &folder, const QString &value);
    // Field markers of the older plain-text syntax, "/#+name+#/", become field tags.
    static void replaceOldNameTagsInString(RichText &text);

private:
    void collect();

    QByteArray m_bytes;
    QString m_folder;
    quint64 m_detectedEncoding = 0;
    quint64 m_encoding = 0;
    std::optional<QString> m_text;
    HTMLScan m_scan;
    QList<Reference> m_references;
};
