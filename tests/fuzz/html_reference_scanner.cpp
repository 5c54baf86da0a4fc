// The HTML import's reference scanner (gumbo, whose upstream is no longer
// developed, behind our own structure checks) on arbitrary bytes, through
// the encoding detection and the body it builds. The positions it reports
// must lie inside the text, in order, and it must find exactly what the
// parser finds when it reads every character of the page. The same for the
// text of a page (a raw-HTML message's plain part), which reads long runs of
// text beside the parser.
//
// Besides libFuzzer's own changes, the inputs get character references:
// numeric ones in the many spellings the tokenizer reads (decimal or hex,
// either "x", leading zeros, either case, no ";", past 32 bits), mostly of
// characters it treats apart (the private-use ones that mark the runs read
// beside the parser, those it maps to others, those it refuses), and named
// ones with and without ";".

#include "HTMLImport.h"
#include "HTMLPlainText.h"
#include "HTMLReferenceScanner.h"

#include <QString>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <random>
#include <string>

namespace {

std::string spelledReference(char32_t codePoint, std::minstd_rand &random)
{
    unsigned long long value = codePoint;
    if (random() % 8 == 0)
        value += 1ULL << 32;
    const bool hex = random() % 2;
    std::string spelled = hex ? (random() % 2 ? "&#x" : "&#X") : "&#";
    spelled.append(random() % 3 ? 0 : 1 + random() % 4, '0');
    char digits[24];
    std::snprintf(digits, sizeof digits, hex ? (random() % 2 ? "%llx" : "%llX") : "%llu", value);
    spelled += digits;
    if (random() % 4)
        spelled += ';';
    return spelled;
}

char32_t interestingCodePoint(std::minstd_rand &random)
{
    // The markers' characters, characters the tokenizer replaces or maps,
    // noncharacters, the limits of Unicode, and markup.
    static const char32_t special[] = {0xE000, 0xE001, 0xE00A,  0xE00B,   0xE03F,   0x0,  0x1,    0x9,    0xA,
                                       0xD,    0x7F,   0x80,    0x81,     0x9F,     0xA0, 0xD800, 0xDFFF, 0xFDD0,
                                       0xFFFE, 0xFFFF, 0x1FFFE, 0x10FFFF, 0x110000, u'&', u'<',   u'>'};
    if (random() % 4 == 0)
        return char32_t(random() % 0x110000);
    return special[random() % (sizeof special / sizeof *special)];
}

} // namespace

extern "C" size_t LLVMFuzzerMutate(uint8_t *data, size_t size, size_t maxSize);

extern "C" size_t LLVMFuzzerCustomMutator(uint8_t *data, size_t size, size_t maxSize, unsigned int seed)
{
    std::minstd_rand random(seed);
    if (random() % 2)
        return LLVMFuzzerMutate(data, size, maxSize);
    // Named ones too, with and without ";", in other cases, cut short.
    static const char *const named[] = {"&amp;", "&amp",    "&AMP;",   "&ampx",  "&lt",   "&nbsp;", "&nbsp",
                                        "&copy", "&notin;", "&notit;", "&apos;", "&quot", "&#",     "&#x"};
    std::string inserted;
    if (random() % 4 == 0) {
        inserted = named[random() % (sizeof named / sizeof *named)];
    } else if (random() % 3 == 0) {
        // A whole marker: its start, a digit, its end.
        for (const char32_t c : {char32_t(0xE000), char32_t(0xE001 + random() % 10), char32_t(0xE00B)})
            inserted += spelledReference(c, random);
    } else {
        inserted = spelledReference(interestingCodePoint(random), random);
    }
    const size_t at = size ? random() % (size + 1) : 0;
    // In place of an ASCII character now and then, else inserted.
    const size_t replaced = at < size && data[at] < 0x80 && random() % 2 ? 1 : 0;
    if (size - replaced + inserted.size() > maxSize)
        return LLVMFuzzerMutate(data, size, maxSize);
    std::memmove(data + at + inserted.size(), data + at + replaced, size - at - replaced);
    std::memcpy(data + at, inserted.data(), inserted.size());
    return size - replaced + inserted.size();
}

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
