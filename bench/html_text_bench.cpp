// The plain part of a raw-HTML message written without one: the text of a
// 5 MB page, against its target (200 ms), once from the page alone and
// once as a send run makes it for a recipient (the source personalised,
// its field tags filled, then read as text). Then pages of 20,000 and
// 160,000 blank lines as mail programs write them ("<div><br></div>"),
// whose times should differ by the factor of their sizes (8), not its square.
// run-html-text-bench.sh runs it beside peers/html_text.py (Python's
// html.parser) on the 5 MB page. Last, the charset an HTML part goes out in
// (its declarations read by the parser and the prescan) for the 5 MB page
// and for pages of 20,000 and 160,000 declarations that must be rewritten,
// whose times should again differ by a factor of 8.
//
//   html_text_bench [--page-out PATH] [ROUNDS]   (default 5 rounds)
//
// Prints the best and the first round of each; the last line,
// "RESULT corvantiline <bytes> <seconds>", is the page alone.

#include "NewsletterPage.h"

#include "AttributedTagString.h"
#include "HTMLPlainText.h"
#include "MessageTab.h"
#include "Personalizer.h"
#include "SimpleTag.h"

#include "Database.h"
#include "StringEncoder.h"

#include <QCoreApplication>
#include <QElapsedTimer>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <limits>

namespace {

struct Timing {
    double first = 0;
    double best = std::numeric_limits<double>::max();
};

Timing measure(int rounds, const std::function<void()> &run)
{
    Timing timing;
    QElapsedTimer timer;
    for (int round = 0; round < rounds; ++round) {
        timer.start();
        run();
        const double ms = timer.nsecsElapsed() / 1e6;
        if (round == 0)
            timing.first = ms;
        timing.best = std::min(timing.best, ms);
    }
    return timing;
}

void report(const char *what, const Timing &timing)
{
    std::printf("%-48s best %7.1f ms  first %7.1f ms  target 200 ms  %s\n", what, timing.best, timing.first,
                timing.best <= 200 ? "ok" : "OVER");
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    int next = 1;
    const QByteArray bytes = NewsletterPage::make();
    if (argc > 2 && QByteArray(argv[1]) == "--page-out") {
        QFile out(QString::fromLocal8Bit(argv[2]));
        if (!out.open(QIODevice::WriteOnly) || out.write(bytes) != bytes.size()) {
            std::fprintf(stderr, "cannot write %s\n", argv[2]);
            return 1;
        }
        next = 3;
    }
    const int rounds = argc > next ? std::max(1, atoi(argv[next])) : 5;
    const QString page = QString::fromUtf8(bytes);

    QString text;
    const Timing alone = measure(rounds, [&] { text = HTMLPlainText::fromHTML(page); });

    // The page as the HTML source of a message, a field tag in each heading.
    Database table;
    table.addField(QStringLiteral("Name"));
    table.addEntryWithData(-1, {QStringLiteral("Ann & <Co>")});
    RichText source;
    const QString heading = QStringLiteral("<h2>");
    qsizetype from = 0;
    for (qsizetype at = page.indexOf(heading); at >= 0; at = page.indexOf(heading, at + 1)) {
        source.appendCharacters(QStringView(page).mid(from, at + heading.size() - from), {});
        DoInsertTagInAttributedString(std::make_shared<SimpleTag>(QStringLiteral("Name")), source, source.length());
        from = at + heading.size();
    }
    source.appendCharacters(QStringView(page).mid(from), {});
    MessageTab message;
    message.setMode(MessageTab::Mode::RawHTML);
    message.setBodyText(source);
    const MessageSnapshotRef snapshot = message.snapshot();
    QString plain;
    const Timing perRecipient = measure(rounds, [&] {
        Personalizer personalizer(table);
        plain = snapshot->plainTextStringWithPersonalizer(personalizer);
    });

    // The same page with the parser reading every character, for comparison.
    QString whole;
    const Timing wholeText = measure(1, [&] { whole = HTMLPlainText::fromHTMLWholeText(page); });

    std::printf("page: %.1f MB; text: %.1f MB, %lld lines\n", bytes.size() / 1048576.0, text.toUtf8().size() / 1048576.0,
                static_cast<long long>(text.count(u'\n') + 1));
    report("text of the 5 MB page", alone);
    std::printf("%-48s once %7.1f ms, same text: %s\n", "  the parser reading every character", wholeText.best,
                whole == text ? "yes" : "NO");
    report("plain part of a raw-HTML message, one recipient", perRecipient);
    // Blank lines, as many mail programs write each empty line of a message.
    const auto blankLines = [](int lines) {
        return QStringLiteral("<html><body><div>Hello,</div>") + QStringLiteral("<div><br></div>").repeated(lines)
               + QStringLiteral("<div>Bye</div></body></html>");
    };
    Timing blank[2];
    const int blankCounts[2] = {20'000, 160'000};
    for (int i = 0; i < 2; ++i) {
        const QString blankPage = blankLines(blankCounts[i]);
        QString blankText;
        blank[i] = measure(rounds, [&] { blankText = HTMLPlainText::fromHTML(blankPage); });
        std::printf("%-48s best %7.1f ms  first %7.1f ms  (%lld lines)\n",
                    qPrintable(QStringLiteral("text of %1 blank lines").arg(blankCounts[i])), blank[i].best,
                    blank[i].first, static_cast<long long>(blankText.count(u'\n') + 1));
    }
    std::printf("%-48s x%.1f (linear: x8)\n", "  160000 against 20000 blank lines", blank[1].best / blank[0].best);

    // The charset the page goes out in.
    QString charset;
    report("charset of the 5 MB page", measure(rounds, [&] { charset = StringEncoder::forHtmlPage(page).charset(); }));
    // Declarations behind values that hold "<meta", all rewritten for text
    // that only UTF-8 holds.
    Timing declarations[2];
    const int declarationCounts[2] = {20'000, 160'000};
    for (int i = 0; i < 2; ++i) {
        const QString declarationPage
            = QStringLiteral("<p title='<meta x=\"'>x</p><meta title='<meta' charset=iso-8859-1 y='\"'>")
                  .repeated(declarationCounts[i])
              + QStringLiteral("\u65E5");
        QString sent;
        declarations[i] = measure(rounds, [&] { sent = StringEncoder::forHtmlPage(declarationPage).rawString(); });
        std::printf("%-48s best %7.1f ms  first %7.1f ms  (%lld rewritten)\n",
                    qPrintable(QStringLiteral("charset of %1 declarations").arg(declarationCounts[i])),
                    declarations[i].best, declarations[i].first,
                    static_cast<long long>(sent.count(QLatin1String("charset=UTF-8"))));
    }
    std::printf("%-48s x%.1f (linear: x8)\n", "  160000 against 20000 declarations",
                declarations[1].best / declarations[0].best);
    std::printf("RESULT corvantiline %lld %.6f\n", static_cast<long long>(bytes.size()), alone.best / 1000);
    return plain.isEmpty() || charset != u"UTF-8" ? 1 : 0;
}
