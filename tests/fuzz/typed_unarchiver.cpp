// Arbitrary bytes into TypedUnarchiver, with the tag readers registered.
// The test class registered here reads its values the ways real decoders
// do, chosen by the class version in the data, so the fuzzer reaches typed
// reads, reads to the end, skipping of unread values, refusals and
// throwing decoders.

#include "Codable.h"
#include "SimpleTag.h"
#include "TypedUnarchiver.h"

#include <QByteArray>

#include <cstddef>
#include <cstdint>
#include <stdexcept>

namespace {

class FuzzNode : public Codable {
public:
    QString archiveClassName() const override { return QStringLiteral("FuzzNode"); }
    QVariantList values;
};

CodableRef decodeFuzzNode(TypedUnarchiver &coder, int version)
{
    auto node = std::make_shared<FuzzNode>();
    switch (version & 3) {
    case 0:
        while (!coder.atEndOfObject())
            node->values << coder.decodeObject();
        break;
    case 1:
        node->values << coder.decodeBool() << coder.decodeInt32() << QVariant(qlonglong(coder.decodeInt64()))
                     << coder.decodeFloat() << coder.decodeDouble() << coder.decodeBytes();
        break;
    case 2:
        node->values << coder.decodeObject();
        break;
    case 3:
        if (coder.decodeObject().typeId() != QMetaType::QVariantMap)
            coder.failWithReason(QStringLiteral("FuzzNode: expected a map"));
        break;
    }
    if (version & 4)
        throw std::runtime_error("FuzzNode: thrown on request");
    if (version & 8)
        return nullptr;
    return node;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    static const bool registered = [] {
        registerPlatformCoders();
        registerTagCoders();
        ArchiveRegistry::registerTypedDecoder(QStringLiteral("FuzzNode"), decodeFuzzNode);
        return true;
    }();
    (void)registered;

    QString error;
    const QVariant root = TypedUnarchiver::unarchiveObjectWithData(
        QByteArray(reinterpret_cast<const char *>(data), qsizetype(size)), &error);
    // A failure must always say why, and a valid result must not carry a reason.
    if (root.isValid() && !error.isEmpty())
        __builtin_trap();
    return 0;
}
