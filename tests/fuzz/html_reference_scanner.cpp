// The HTML import's reference scanner (gumbo, whose upstream is no longer
// developed, behind our own structure checks) on arbitrary bytes, through
// the encoding detection and the body it builds: the value positions it
// reports must lie inside the text, in order, and the body must come out.

#include "HTMLImport.h"
#include "HTMLReferenceScanner.h"

#include <QString>

#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QByteArray bytes(reinterpret_cast<const char *>(data), qsizetype(size));
    HTMLImport import;
    import.setPage(bytes, QStringLiteral("/nonexistent-folder"));
    const auto body = import.body();
    (void)body;

    const HTMLScan scan = HTMLReferenceScanner::scan(QString::fromUtf8(bytes));
    const qsizetype length = QString::fromUtf8(bytes).size();
    qsizetype previousEnd = 0;
    for (const HTMLScan::Reference &reference : scan.references) {
        if (reference.spanStart < previousEnd || reference.spanLength < 0
            || reference.spanStart + reference.spanLength > length)
            std::abort();
        previousEnd = reference.spanStart + reference.spanLength;
    }
    return 0;
}
