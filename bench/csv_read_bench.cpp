// A large delimited text file read as the import reads it: the encoding
// and the delimiter detected.
//
// Usage: csv_read_bench --write FILE [rows]   writes the reference file:
//            a title row and `rows` (1,000,000) recipients of eight fields,
//            about 100 bytes each, UTF-8, some fields quoted
//        csv_read_bench FILE                  reads it and prints
//            RESULT seconds cpu-seconds peak-KiB rows fields

#include "BenchProcess.h"
#include "import/CSVReader.h"
#include "import/TextFileDecoder.h"

#include <QElapsedTimer>
#include <QFile>

#include <array>
#include <cstdio>
#include <cstdlib>

namespace {

using namespace BenchProcess;

int writeFile(const char *path, long rows)
{
    static const std::array<const char *, 8> first = {"Anna", "Jörg", "Marie", "Lukas", "Zoë", "Paul", "Léa", "Tom"};
    static const std::array<const char *, 8> last = {"Müller", "Schmidt", "O'Neil", "Dubois", "Novák", "Lee", "Rossi", "Øster"};
    static const std::array<const char *, 6> company = {"Acme GmbH", "\"Smith, Jones & Co\"", "Müller Bau AG",
                                                        "\"Café \"\"Zur Post\"\"\"", "Lee Trading Ltd", "Novák s.r.o."};
    static const std::array<const char *, 6> city = {"Berlin", "Köln", "Paris", "Brno", "London", "Milano"};
    QFile file(QString::fromLocal8Bit(path));
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate)) {
        std::fprintf(stderr, "cannot write %s\n", path);
        return 1;
    }
    QByteArray chunk = "email,first,last,company,street,zip,city,phone\r\n";
    for (long i = 0; i < rows; ++i) {
        const char *f = first[i % first.size()];
        const char *l = last[(i / 8) % last.size()];
        char row[512];
        const int length = std::snprintf(row, sizeof row,
                                         "%s.%s%ld@example-mail.org,%s,%s,%s,Hauptstraße %ld,%05ld,%s,+49 30 %07ld\r\n",
                                         QByteArray(f).toLower().constData(), QByteArray(l).toLower().constData(), i, f,
                                         l, company[(i / 3) % company.size()], i % 200 + 1, (i * 7) % 100000,
                                         city[(i / 5) % city.size()], (i * 7919) % 10000000);
        chunk.append(row, length);
        if (chunk.size() > (1 << 20)) {
            file.write(chunk);
            chunk.clear();
        }
    }
    file.write(chunk);
    return file.flush() ? 0 : 1;
}

} // namespace

int main(int argc, char **argv)
{
    if (argc >= 3 && QByteArray(argv[1]) == "--write")
        return writeFile(argv[2], argc > 3 ? std::max(1L, atol(argv[3])) : 1'000'000L);
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s --write FILE [rows] | %s FILE\n", argv[0], argv[0]);
        return 2;
    }

    QElapsedTimer timer;
    timer.start();
    const double cpuStart = cpuSeconds();
    CSVReader::Report report;
    QString error;
    const std::optional<QList<QStringList>> rows = CSVReader::readFile(
        QString::fromLocal8Bit(argv[1]), TextFileDecoder::Encoding::Automatic, {}, &report, &error);
    const double seconds = timer.nsecsElapsed() / 1e9;
    const double cpu = cpuSeconds() - cpuStart;
    if (!rows) {
        std::fprintf(stderr, "%s\n", qPrintable(error));
        return 1;
    }
    qsizetype fields = 0;
    for (const QStringList &row : *rows)
        fields += row.size();
    std::printf("read as %s, delimiter \"%s\"\n", qPrintable(TextFileDecoder::displayName(report.encoding)),
                qPrintable(QString(report.delimiter)));
    std::printf("RESULT %.3f %.3f %ld %lld %lld\n", seconds, cpu, peakRssKiB(), (long long)rows->size(), (long long)fields);
    return 0;
}
