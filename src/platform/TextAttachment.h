#pragma once

#include <QByteArray>
#include <QMetaType>
#include <QString>

#include <memory>
#include <optional>

class TypedArchiver;
class TypedUnarchiver;

// The stored form of an attachment: a regular file's contents and the name
// it prefers. Tags keep their own archive here so a text read back can
// rebuild them.
struct FileWrapper {
    QByteArray regularFileContents;
    QString preferredFilename;
    friend bool operator==(const FileWrapper &, const FileWrapper &) = default;
};

// What stands in the text for an attachment and knows how to draw itself;
// tags derive from it. The cell is never archived with the text, only its
// file wrapper is.
class AttachmentCell {
public:
    virtual ~AttachmentCell() = default;
    [[nodiscard]] virtual std::shared_ptr<AttachmentCell> clone() const = 0;
    // The cell's own state, written before a subclass writes its fields and
    // read back the same way.
    virtual void encodeCellBase(TypedArchiver &coder) const;
    static bool decodeCellBase(TypedUnarchiver &coder);
    // The file wrapper that stores this cell as it is now; nothing for a
    // cell that cannot store itself. Archiving a text writes this in place
    // of the attachment's own wrapper, so a stored text never carries an
    // older state of the cell than the one shown.
    [[nodiscard]] virtual std::optional<FileWrapper> currentFileWrapper() const { return std::nullopt; }
};

class TextAttachment {
public:
    TextAttachment() = default;
    explicit TextAttachment(FileWrapper wrapper, std::shared_ptr<AttachmentCell> cell = nullptr)
        : fileWrapper(std::move(wrapper)), cell(std::move(cell)) {}

    FileWrapper fileWrapper;
    std::shared_ptr<AttachmentCell> cell;

    // A new attachment with the same file wrapper and a clone of the cell.
    [[nodiscard]] std::shared_ptr<TextAttachment> deepClone() const;
};

using TextAttachmentRef = std::shared_ptr<TextAttachment>;
// A file wrapper travels in keyed archives as an object of its own inside
// the attachment's, so it is a value type of the archives as well.
Q_DECLARE_METATYPE(FileWrapper)
Q_DECLARE_METATYPE(TextAttachmentRef)
