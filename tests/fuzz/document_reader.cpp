// Arbitrary bytes read as a project file, both as the written type (an
// archive) and as the oldest type (UTF-16 text, else an archive). Reading
// only parses and checks; the tabs are not needed, nor is a window.

#include "MyDocument.h"

#include <QByteArray>
#include <QCoreApplication>

#include <cstddef>
#include <cstdint>

extern "C" int LLVMFuzzerInitialize(int *argc, char ***argv)
{
    static QCoreApplication app(*argc, *argv);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QByteArray bytes(reinterpret_cast<const char *>(data), qsizetype(size));
    for (const QString &type : {MyDocument::ProjectType, MyDocument::OldType}) {
        MyDocument document;
        const bool read = document.loadDataRepresentation(bytes, type);
        // A read either leaves something to apply or fails with nothing pending.
        if (read != (document.fileDataArray().has_value() || document.fileDataDict().has_value()))
            __builtin_trap();
        if (document.fileDataDict()) {
            for (const QString &key : {MyDocument::DatabaseKey, MyDocument::MessageKey, MyDocument::AttachmentsKey,
                                       MyDocument::LogKey}) {
                const QVariant part = document.fileDataDict()->value(key);
                if (part.isValid() && part.typeId() != QMetaType::QVariantMap)
                    __builtin_trap();
            }
        }
    }
    return 0;
}
