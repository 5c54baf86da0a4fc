#include "RecipientExport.h"

#include "Database.h"
#include "TabSeparatedField.h"

#include "Localizer.h"

#include <QFileInfo>
#include <QSaveFile>

namespace RecipientExport {

namespace {

// Text gathered before it is encoded and written.
constexpr qsizetype ChunkCharacters = 256 * 1024;

} // namespace

Result writeText(const Database &database, const QString &path)
{
    Result result;
    // A save file is renamed over its target at the end, which would put a
    // plain file in place of a device or a pipe.
    const QFileInfo target(path);
    if (target.exists() && !target.isFile()) {
        result.error = Localizer::localizedString("Localized-Database", "EXPORT_DETAIL_NOT_A_FILE");
        return result;
    }
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly)) {
        result.error = file.errorString();
        return result;
    }
    const int slotCount = database.columnCount();
    QString chunk;
    chunk.reserve(ChunkCharacters + 4096);
    bool failed = false;
    const auto flush = [&] {
        const QByteArray bytes = chunk.toUtf8();
        if (file.write(bytes) != bytes.size())
            failed = true;
        chunk.clear();
    };
    const Database::EntryList &entries = database.entryArray();
    for (qsizetype row = 0; row < entries.size() && !failed; ++row) {
        if (row > 0)
            chunk.append(u'\n');
        int next = 0;
        entries.at(row)->forEachSlotText([&](int slot, const QString &text) {
            if (slot >= slotCount)
                return;
            for (; next < slot; ++next)
                chunk.append(u'\t');
            if (TabSeparatedField::append(chunk, text))
                ++result.changedValues;
        });
        for (; next < slotCount - 1; ++next)
            chunk.append(u'\t');
        ++result.lines;
        if (chunk.size() >= ChunkCharacters)
            flush();
    }
    if (!failed && !chunk.isEmpty())
        flush();
    if (failed) {
        result.error = file.errorString();
        file.cancelWriting();
        return result;
    }
    if (!file.commit()) {
        result.error = file.errorString();
        return result;
    }
    result.ok = true;
    return result;
}

} // namespace RecipientExport
