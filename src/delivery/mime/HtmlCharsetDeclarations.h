#pragma once

#include <QString>
#include <QStringView>

#include <optional>
#include <vector>

// Where an HTML page names the charset it is in, read as a reader reads
// it: the charset attribute of a <meta> element and the charset in the
// content of a <meta> with http-equiv Content-Type, both as the HTML parser
// finds them (attribute values are text, whatever they hold), and as the
// encoding prescan of a browser opening the page finds them (which also
// looks into scripts and titles). A value that holds a character reference
// is not read, only replaced.
//
// Linear in the page's length: the parser runs behind the bounds of the
// HTML import. A page past them is read by the prescan alone, and a page
// given a charset then starts with a declaration of its own, which a
// reader takes before any other.
class HtmlCharsetDeclarations {
public:
    explicit HtmlCharsetDeclarations(const QString &page);

    // No declaration anywhere in the page.
    [[nodiscard]] bool isEmpty() const { return m_read && m_labels.empty() && m_alsoRead.empty(); }

    // The charset, as the MIME writer names it ("UTF-8", "ISO-8859-1",
    // "windows-1252" or "US-ASCII"), that every declaration of `page` names;
    // none when one names another, or one the writer does not write, or the
    // page could not be read whole.
    [[nodiscard]] std::optional<QString> agreedCharset(QStringView page) const;

    // `page` with every declaration naming `charset` instead (an empty
    // charset: with the names left out).
    [[nodiscard]] QString withCharset(QStringView page, QStringView charset) const;

    struct Label {
        qsizetype start;
        qsizetype length;
        // The whole content value stands for the label: it holds a
        // character reference, which may spell the charset out.
        bool wholeContent = false;
    };

private:
    // To be replaced, in text order.
    std::vector<Label> m_labels;
    // What the prescan reads across a value the parser reads: it must agree
    // for the page to stay as it is, and goes when that value is replaced.
    std::vector<Label> m_alsoRead;
    // The parser read the page.
    bool m_read = true;
};
