#pragma once

#include <QString>
#include <QStringView>

#include <optional>
#include <vector>

// Where an HTML page names the charset it is in: the charset attribute of a
// <meta> element, and the charset in the content of a <meta> with
// http-equiv (Content-Type). Found wherever a browser might take one for a
// declaration, and in some places where it would not (a comment, a script):
// a page whose declarations are all given one charset names no other. A
// value that holds a character reference is not read, only replaced.
// One pass over the page, whatever it holds.
class HtmlCharsetDeclarations {
public:
    explicit HtmlCharsetDeclarations(QStringView page);

    [[nodiscard]] bool isEmpty() const { return m_labels.empty(); }
    [[nodiscard]] qsizetype count() const { return qsizetype(m_labels.size()); }

    // The charset, as the MIME writer names it ("UTF-8", "ISO-8859-1",
    // "windows-1252" or "US-ASCII"), that every declaration of `page` names;
    // none when one names another, or one the writer does not write.
    [[nodiscard]] std::optional<QString> agreedCharset(QStringView page) const;

    // `page` with every declaration naming `charset` instead.
    [[nodiscard]] QString withCharset(QStringView page, QStringView charset) const;

private:
    struct Label {
        qsizetype start;
        qsizetype length;
        // The whole content value stands for the label: it holds a
        // character reference, which may spell the charset out.
        bool wholeContent;
    };
    std::vector<Label> m_labels;
};
