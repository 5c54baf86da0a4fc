#include "TextAttachment.h"

#include "TypedArchiver.h"
#include "TypedUnarchiver.h"

namespace {
// The cell's own part of a tag archive. It holds no state of its own today;
// the marker lets a later form add some and lets a reader refuse data that
// is not a cell archive at all.
constexpr qint32 CellBaseVersion = 1;
} // namespace

void AttachmentCell::encodeCellBase(TypedArchiver &coder) const
{
    coder.encodeInt32(CellBaseVersion);
}

bool AttachmentCell::decodeCellBase(TypedUnarchiver &coder)
{
    const qint32 version = coder.decodeInt32();
    if (coder.hasFailed())
        return false;
    if (version != CellBaseVersion) {
        coder.failWithReason(QStringLiteral("unknown attachment cell version %1").arg(version));
        return false;
    }
    return true;
}

std::shared_ptr<TextAttachment> TextAttachment::deepClone() const
{
    return std::make_shared<TextAttachment>(fileWrapper, cell ? cell->clone() : nullptr);
}
