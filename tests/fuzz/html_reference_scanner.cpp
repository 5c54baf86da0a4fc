// The HTML import's reference scanner (gumbo, whose upstream is no longer
// developed, behind our own structure checks) on arbitrary bytes, through
// the encoding detection and the body it builds. The positions it reports
// must lie inside the text, in order, and it must find exactly what the
// parser finds when it reads every character of the page. The same for the
// text of a page (a raw-HTML message's plain part), which reads long runs of
// text beside the parser.

#include "HTMLImport.h"
#include "HTMLPlainText.h"
#include "HTMLReferenceScanner.h"

#include <QString>

#include <cstdio>
#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QByteArray bytes(reinterpret_cast<const char *>(data), qsizetype(size));
    HTMLImport import;
    import.setPage(bytes, QStringLiteral("/nonexistent-folder"));
    const auto body = import.body();
    (void)body;

    const QString text = QString::fromUtf8(bytes);
    const HTMLScan scan = HTMLReferenceScanner::scan(text);
    qsizetype previousEnd = 0;
    for (const HTMLScan::Reference &reference : scan.references) {
        if (reference.spanStart < previousEnd || reference.spanLength < 0
            || reference.spanStart + reference.spanLength > text.size())
            std::abort();
        previousEnd = reference.spanStart + reference.spanLength;
    }
    const HTMLScan whole = HTMLReferenceScanner::scanWholeText(text);
    if (whole.status != scan.status || whole.references.size() != scan.references.size())
        std::abort();
    for (qsizetype i = 0; i < scan.references.size(); ++i) {
        const HTMLScan::Reference &a = scan.references[i];
        const HTMLScan::Reference &b = whole.references[i];
        if (a.name != b.name || a.value != b.value || a.spanStart != b.spanStart || a.spanLength != b.spanLength) {
            std::fprintf(stderr, "differs at reference %lld\n", (long long)i);
            std::abort();
        }
    }
    if (HTMLPlainText::fromHTML(text) != HTMLPlainText::fromHTMLWholeText(text)) {
        std::fprintf(stderr, "the text differs from the parser's own\n");
        std::abort();
    }
    return 0;
}
