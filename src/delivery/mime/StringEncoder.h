#pragma once

#include <QByteArray>
#include <QString>

#include <optional>

// One body text on its way into a quoted-printable part. The text is kept
// with LF line ends; CRLF appears only in the encoded output.
class StringEncoder {
public:
    explicit StringEncoder(const QString &text);
    // An HTML page with its charset chosen. A reader may go by the charset
    // the page names rather than the part's (a browser the page is saved
    // for does), so the two must not differ: the page keeps the charset it
    // names where that can hold it; else every name it gives becomes the
    // one chosen as for any text, and rawString is the page changed so (see
    // HtmlCharsetDeclarations for what counts as a name it gives).
    [[nodiscard]] static StringEncoder forHtmlPage(const QString &html);

    // Chooses "ISO-8859-1" when every character fits there, else
    // "windows-1252" when they fit that, else "UTF-8": never a lossy one.
    void guessCharset();
    // Takes `charset` ("UTF-8", "ISO-8859-1", "windows-1252" or "US-ASCII")
    // when every character of the text has a place in it; false, and the
    // charset as it was, otherwise.
    [[nodiscard]] bool takeCharset(const QString &charset);
    [[nodiscard]] const QString &charset() const { return m_charset; }
    [[nodiscard]] const QString &rawString() const { return m_rawString; }

    // The quoted-printable text of rawString in charset (chosen first when
    // guessCharset was not called), lines of at most 76 characters; see
    // enc_qprint for endInSoftBreak.
    [[nodiscard]] QByteArray encodedString(bool endInSoftBreak = false) const;

    // The bytes of `text` in windows-1252, or nothing when one character has
    // no place there.
    [[nodiscard]] static std::optional<QByteArray> toWindows1252(const QString &text);

private:
    QString m_rawString;
    QString m_charset;
    // The text in windows-1252 when guessCharset chose it, so that it is
    // converted once.
    std::optional<QByteArray> m_windows1252;
};
