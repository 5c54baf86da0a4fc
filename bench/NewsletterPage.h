#pragma once

// The page the HTML benchmarks share: a newsletter archive of about 5 MB,
// nested tables, styled paragraphs, 40 pictures and a style sheet each
// used many times, links, comments and a script.

#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QImage>
#include <QString>

namespace NewsletterPage {

// With a folder, the pictures and the style sheet are written into it.
inline QByteArray make(const QString &folder = {})
{
    if (!folder.isEmpty()) {
        QDir().mkpath(folder + "/images");
        for (int i = 0; i < 40; ++i)
            QImage(16, 16, QImage::Format_RGB32).save(QStringLiteral("%1/images/pic%2.png").arg(folder).arg(i));
        QFile style(folder + "/style.css");
        if (style.open(QIODevice::WriteOnly))
            style.write("body{margin:0}");
    }
    QByteArray page = "<!DOCTYPE html><html><head><meta charset=\"utf-8\"><title>Archive</title>"
                      "<link rel=\"stylesheet\" href=\"style.css\"><script>var x = '<img src=\"a.png\">';</script>"
                      "</head><body>\n";
    int item = 0;
    while (page.size() < 5 * 1024 * 1024) {
        page += "<table width=\"600\" cellpadding=\"0\"><tr><td class=\"cell\" style=\"padding:8px\">"
                "<!-- item " + QByteArray::number(item) + " -->"
                "<h2>Heading n\xC2\xBA " + QByteArray::number(item) + "</h2><p style=\"font-family:Georgia\">"
                "Lorem ipsum dolor sit amet, consectetur adipiscing elit, sed do eiusmod tempor incididunt ut labore "
                "et dolore magna aliqua. Ut enim ad minim veniam, quis nostrud exercitation ullamco laboris.</p>"
                "<p><img src=\"images/pic" + QByteArray::number(item % 40) + ".png\" alt=\"a > b\" width=\"16\">"
                "<a href=\"https://example.com/article/" + QByteArray::number(item) + "?a=1&amp;b=2\">Read</a> "
                "<a href=\"#top\">Top</a></p></td></tr></table>\n";
        ++item;
    }
    page += "</body></html>\n";
    return page;
}

} // namespace NewsletterPage
