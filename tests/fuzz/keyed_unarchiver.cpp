// Feeds arbitrary bytes to the keyed unarchiver, as a document or a pasted
// archive from anywhere would. No application object: reading an archive
// must not need one.
#include "Codable.h"
#include "KeyedUnarchiver.h"

#include <cstddef>
#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    static const bool registered = [] {
        registerPlatformCoders();
        return true;
    }();
    (void)registered;

    QString error;
    const QVariant value = KeyedUnarchiver::unarchiveObjectWithData(
        QByteArray(reinterpret_cast<const char *>(data), qsizetype(size)), &error);
    // A refused archive gives no value, and a value comes with no reason.
    if (value.isValid() && !error.isEmpty())
        __builtin_trap();
    return 0;
}
