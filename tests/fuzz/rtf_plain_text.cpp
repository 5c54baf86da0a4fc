// Arbitrary bytes as the RTF a paste offers: its text is read without a
// crash, in time linear in the input.

#include "RtfPlainText.h"

#include <cstddef>
#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    (void)RtfPlainText::plainText(QByteArray(reinterpret_cast<const char *>(data), qsizetype(size)));
    return 0;
}
