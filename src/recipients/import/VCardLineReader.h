#pragma once

// Cuts vCard bytes into logical lines: CRLF, LF and CR all end a physical
// line; a line that starts with a blank or a tab continues the one before
// (RFC 6350 3.2, RFC 2426 2.6), and a quoted-printable value whose line
// ends in "=" continues on the next line whatever that line starts with
// (the soft line break of RFC 2045 6.7, which 2.1 writers do not indent).
//
// It works on bytes, before any decoding: a fold may fall inside a
// multi-byte character, and each property names its own charset.

#include <QByteArray>
#include <QByteArrayView>

class VCardLineReader {
public:
    // Past this a logical line keeps only its first bytes and is marked too
    // long; the rest of it is read over, not stored (a 5 MB picture).
    static constexpr qsizetype DefaultMaxLineBytes = 1 << 20;

    explicit VCardLineReader(QByteArrayView data, qsizetype maxLineBytes = DefaultMaxLineBytes);

    struct Line {
        // Valid until the next call of next().
        QByteArrayView text;
        bool tooLong = false;
    };
    // The next logical line; false at the end of the data.
    [[nodiscard]] bool next(Line &line);

    // vCard 2.1 folds before a blank that belongs to the value, so unfolding
    // keeps it; 3.0 and 4.0 insert the blank, and unfolding drops it.
    void setKeepFoldBlank(bool keep) { m_keepFoldBlank = keep; }

private:
    // The physical line at m_pos; m_pos moves past its line end.
    QByteArrayView takePhysicalLine();
    void append(QByteArrayView part, Line &line);

    QByteArrayView m_data;
    qsizetype m_pos = 0;
    qsizetype m_maxLineBytes;
    bool m_keepFoldBlank = false;
    QByteArray m_buffer;
};
