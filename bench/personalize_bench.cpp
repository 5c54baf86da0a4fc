// Per-recipient cost of a send run's text work: the subject, the plain
// text and the HTML of one reference message, personalised for every row
// of a large table, as the send engine does it for each message.
//
// Usage: personalize_bench [rows [--dump]]   (default 100000 rows)

#include "BenchFixtures.h"

#include "Personalizer.h"
#include "StringToHTML.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QImage>
#include <QTemporaryDir>

#include <algorithm>
#include <cstdio>
#include <cstdlib>

using namespace BenchFixtures;

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    const int rows = argc > 1 ? std::max(1, atoi(argv[1])) : 100000;
    const bool dump = argc > 2 && QByteArray(argv[2]) == "--dump";

    QTemporaryDir dir;
    const QString imagePath = dir.filePath(QStringLiteral("logo.png"));
    QImage logo(64, 32, QImage::Format_RGB32);
    logo.fill(QColor(30, 90, 160));
    if (!dir.isValid() || !logo.save(imagePath)) {
        std::fprintf(stderr, "cannot write the test picture\n");
        return 1;
    }

    const RichText body = referenceBody(imagePath);
    const RichText subject = referenceSubject();
    Database table;
    fillTable(table, rows);
    std::printf("body: %d characters, %d runs; table: %d rows; peak RSS after setup %ld KiB\n", body.length(),
                int(body.runs().size()), table.entryCount(), peakRssKiB());

    qint64 checksum = 0;
    QElapsedTimer timer;
    timer.start();
    const double cpuStart = cpuSeconds();
    for (int row = 0; row < rows; ++row) {
        Personalizer personalizer(table);
        personalizer.setAddressNumber(row);
        personalizer.setUseLocalPath(false);
        const QString messageId = QStringLiteral("%1.bench@example.com").arg(row);
        personalizer.setMessageId(messageId);

        const QString subjectText
            = AttributedTagString::taglessString(personalizer.personalizeAttributedString(subject));
        const QString plain = AttributedTagString::taglessString(personalizer.personalizeAttributedString(body));
        const QString html = StringToHTML::htmlString(
            personalizer.personalizeAttributedString(body), std::nullopt, false, messageId, true);
        checksum += subjectText.size() + plain.size() + html.size();
        if (dump && row == 0)
            std::printf("%s\n\n%s\n\n%s\n\n", qPrintable(subjectText), qPrintable(plain), qPrintable(html));

        const int done = row + 1;
        if (done == 10000 || done == rows) {
            const double seconds = double(timer.nsecsElapsed()) / 1e9;
            // CPU time as well: on a busy machine other processes share the core.
            std::printf("%7d recipients: %.0f recipients/s (%.0f per CPU second), peak RSS %ld KiB\n", done,
                        done / seconds, done / (cpuSeconds() - cpuStart), peakRssKiB());
            std::fflush(stdout);
        }
    }
    std::printf("checksum %lld\n", static_cast<long long>(checksum));
    return 0;
}
