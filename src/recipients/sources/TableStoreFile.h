#pragma once

// The two kinds of file of the table store, both keyed archives:
//
// "root.db", the index: {"tables": [PlainArrayTable {"tableID", "filePath"}],
//                        "uidSet": NSSet of every table identifier issued}
// a table file:         {"displayName": string,
//                        "columns": [PlainArrayColumn {"uid", "displayName"}],
//                        "contents": [PlainArrayRow {"data": {column uid: value}, "uid"}],
//                        "uidSet": NSSet of the column and row identifiers issued}
//
// Files come from disk, where anything may have put them, so the readers
// check every part and refuse a file rather than read half of it: a table
// read in part and then saved would lose the rest.

#include "Codable.h"
#include "KeyedUnarchiver.h"
#include "PlainArrayColumn.h"
#include "PlainArrayRow.h"

#include <QByteArray>
#include <QList>
#include <QString>

#include <functional>
#include <memory>
#include <optional>
#include <variant>

class PlainArrayTable;

namespace TableStoreFile {

inline const QString IndexFileName = QStringLiteral("root.db");

// What a file may hold; larger files are refused unread, and nothing is
// written that these would refuse on reading.
constexpr qint64 MaxFileBytes = KeyedUnarchiver::MaxInputBytes;
constexpr int MaxTables = 100'000;

struct IndexEntry {
    QString tableID;
    QString filePath;
};

struct Index {
    QList<IndexEntry> tables;
    StringSet uidSet;
};

struct Table {
    QString displayName;
    QList<std::shared_ptr<PlainArrayColumn>> columns;
    QList<std::shared_ptr<PlainArrayRow>> contents;
    StringSet uidSet;
};

// Registers the decoders of the store's classes; idempotent.
void registerCoders();

// Nothing, with the reason, when the bytes are not a whole, well-formed file
// of the kind. The index's entries are given as stored (identifiers and
// paths unchecked: the store decides what they may name).
[[nodiscard]] std::optional<Index> readIndex(const QByteArray &data, QString *error = nullptr);
[[nodiscard]] std::optional<Table> readTable(const QByteArray &data, QString *error = nullptr);

// The file's bytes; nothing, with the reason, when they could not be
// written or would be refused on reading.
[[nodiscard]] std::optional<QByteArray> indexData(const QList<std::shared_ptr<PlainArrayTable>> &tables,
                                                  const StringSet &uidSet, QString *error = nullptr);
[[nodiscard]] std::optional<QByteArray> tableData(const Table &table, QString *error = nullptr);

// What a file is to hold: bytes, or an archive made as it is written, so
// that a table of a million rows is never held whole (its archive is
// hundreds of megabytes). An archive refers to what it was made from,
// which must outlive the content.
class FileContent {
public:
    explicit FileContent(QByteArray bytes) : m_content(std::move(bytes)) {}
    explicit FileContent(QVariant archiveRoot) : m_content(std::move(archiveRoot)) {}

private:
    friend bool writeAtomically(const QString &path, const FileContent &content, QString *error);
    std::variant<QByteArray, QVariant> m_content;
};

// A table file's content, made as it is written.
[[nodiscard]] FileContent tableContent(const Table &table);

// Replaces the file in one step (a temporary file beside it, synced, then
// renamed), so an interrupted write leaves the old file whole.
using Writer = std::function<bool(const QString &path, const FileContent &content, QString *error)>;
[[nodiscard]] bool writeAtomically(const QString &path, const FileContent &content, QString *error);

} // namespace TableStoreFile
