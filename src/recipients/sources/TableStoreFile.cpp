#include "TableStoreFile.h"

#include "AppException.h"
#include "FileIO.h"
#include "KeyedArchiver.h"
#include "KeyedUnarchiver.h"
#include "PlainArrayTable.h"

#include <QSet>

#include <mutex>

namespace {

const QString TablesKey = QStringLiteral("tables");
const QString UidSetKey = QStringLiteral("uidSet");
const QString DisplayNameKey = QStringLiteral("displayName");
const QString ColumnsKey = QStringLiteral("columns");
const QString ContentsKey = QStringLiteral("contents");
const QString TableIDKey = QStringLiteral("tableID");
const QString FilePathKey = QStringLiteral("filePath");
const QString ColumnUidKey = QStringLiteral("uid");

bool setError(QString *error, const QString &text)
{
    if (error)
        *error = text;
    return false;
}

// A field that is absent reads as the empty value; one of another kind
// makes the object unusable, since saving it again would lose it.
bool readString(KeyedUnarchiver &coder, const QString &key, QString *out)
{
    const QVariant value = coder.decodeObject(key);
    if (!value.isValid()) {
        *out = QStringLiteral("");
        return true;
    }
    if (value.typeId() != QMetaType::QString)
        return false;
    *out = value.toString();
    return true;
}

CodableRef decodeTable(KeyedUnarchiver &coder)
{
    QString tableID, filePath;
    if (!readString(coder, TableIDKey, &tableID) || !readString(coder, FilePathKey, &filePath))
        return nullptr;
    return std::make_shared<PlainArrayTable>(tableID, filePath);
}

CodableRef decodeColumn(KeyedUnarchiver &coder)
{
    QString uid, name;
    if (!readString(coder, ColumnUidKey, &uid) || !readString(coder, DisplayNameKey, &name))
        return nullptr;
    return std::make_shared<PlainArrayColumn>(name, uid);
}

CodableRef decodeRow(KeyedUnarchiver &coder)
{
    QString uid;
    if (!readString(coder, PlainArrayRow::UidKey, &uid))
        return nullptr;
    PlainArrayRow::Cells cells;
    if (!coder.decodeDictionaryEntries(PlainArrayRow::DataKey, &cells))
        return nullptr;
    return std::make_shared<PlainArrayRow>(uid, std::move(cells));
}

// The root dictionary, holding every required key and nothing but the
// known ones: a file of the other kind, or of a later version that keeps
// more, is refused rather than read in part and then saved without the rest.
std::optional<QVariantMap> readRoot(const QByteArray &data, const QStringList &required, const QStringList &optional,
                                    QString *error)
{
    TableStoreFile::registerCoders();
    QString reason;
    const QVariant root = KeyedUnarchiver::unarchiveObjectWithData(data, &reason);
    if (!root.isValid()) {
        setError(error, reason);
        return std::nullopt;
    }
    if (root.typeId() != QMetaType::QVariantMap) {
        setError(error, QStringLiteral("the archive's root is not a dictionary"));
        return std::nullopt;
    }
    QVariantMap map = root.toMap();
    for (const QString &key : required) {
        if (!map.contains(key)) {
            setError(error, QStringLiteral("no \"%1\" in the archive's root").arg(key));
            return std::nullopt;
        }
    }
    for (auto it = map.constBegin(); it != map.constEnd(); ++it) {
        if (!required.contains(it.key()) && !optional.contains(it.key())) {
            setError(error, QStringLiteral("an unknown key in the archive's root"));
            return std::nullopt;
        }
    }
    return map;
}

bool readUidSet(const QVariantMap &root, StringSet *set, QString *error)
{
    const QVariant value = root.value(UidSetKey);
    if (!value.isValid())
        return true;
    if (value.typeId() != qMetaTypeId<StringSet>())
        return setError(error, QStringLiteral("\"uidSet\" is not a set of strings"));
    *set = value.value<StringSet>();
    return true;
}

// The objects of one class listed under the key, each once: a crafted file
// may list one object twice, and two rows sharing one object would change
// together.
template <typename T>
bool readObjects(const QVariantMap &root, const QString &key, QList<std::shared_ptr<T>> *out, QString *error)
{
    const QVariant value = root.value(key);
    if (!value.isValid())
        return true;
    if (value.typeId() != QMetaType::QVariantList)
        return setError(error, QStringLiteral("\"%1\" is not an array").arg(key));
    const QVariantList items = value.toList();
    QSet<const T *> seen;
    seen.reserve(items.size());
    out->reserve(items.size());
    for (const QVariant &item : items) {
        std::shared_ptr<T> object = codableCast<T>(item);
        if (!object)
            return setError(error, QStringLiteral("\"%1\" holds something other than %2").arg(key, T::ClassName));
        if (seen.contains(object.get()))
            return setError(error, QStringLiteral("\"%1\" lists one object twice").arg(key));
        seen.insert(object.get());
        out->append(std::move(object));
    }
    return true;
}

// The archiver refuses what the unarchiver would refuse to read back.
std::optional<QByteArray> archive(const QVariant &root, QString *error)
{
    QByteArray data;
    try {
        data = KeyedArchiver::archivedDataWithRootObject(root);
    } catch (const AppException &e) {
        setError(error, e.reason());
        return std::nullopt;
    }
    return data;
}

} // namespace

void TableStoreFile::registerCoders()
{
    static std::once_flag once;
    std::call_once(once, [] {
        registerPlatformCoders();
        ArchiveRegistry::registerKeyedDecoder(PlainArrayTable::ClassName, decodeTable);
        ArchiveRegistry::registerKeyedDecoder(PlainArrayColumn::ClassName, decodeColumn);
        ArchiveRegistry::registerKeyedDecoder(PlainArrayRow::ClassName, decodeRow);
    });
}

std::optional<TableStoreFile::Index> TableStoreFile::readIndex(const QByteArray &data, QString *error)
{
    const std::optional<QVariantMap> root = readRoot(data, {TablesKey}, {UidSetKey}, error);
    if (!root)
        return std::nullopt;
    Index index;
    QList<std::shared_ptr<PlainArrayTable>> tables;
    if (!readObjects(*root, TablesKey, &tables, error) || !readUidSet(*root, &index.uidSet, error))
        return std::nullopt;
    if (tables.size() > MaxTables) {
        setError(error, QStringLiteral("more than %1 tables").arg(MaxTables));
        return std::nullopt;
    }
    for (const auto &table : std::as_const(tables))
        index.tables.append({table->uid(), table->filePath()});
    return index;
}

std::optional<TableStoreFile::Table> TableStoreFile::readTable(const QByteArray &data, QString *error)
{
    const std::optional<QVariantMap> root = readRoot(data, {ColumnsKey, ContentsKey}, {DisplayNameKey, UidSetKey}, error);
    if (!root)
        return std::nullopt;
    Table table;
    const QVariant name = root->value(DisplayNameKey, QStringLiteral(""));
    if (name.typeId() != QMetaType::QString) {
        setError(error, QStringLiteral("\"displayName\" is not a string"));
        return std::nullopt;
    }
    table.displayName = name.toString();
    if (!readObjects(*root, ColumnsKey, &table.columns, error) || !readObjects(*root, ContentsKey, &table.contents, error)
        || !readUidSet(*root, &table.uidSet, error))
        return std::nullopt;
    return table;
}

std::optional<QByteArray> TableStoreFile::indexData(const QList<std::shared_ptr<PlainArrayTable>> &tables,
                                                    const StringSet &uidSet, QString *error)
{
    if (tables.size() > MaxTables) {
        setError(error, QStringLiteral("more than %1 tables").arg(MaxTables));
        return std::nullopt;
    }
    QVariantList list;
    list.reserve(tables.size());
    for (const auto &table : tables)
        list.append(codableVariant(table));
    const QVariantMap root{{TablesKey, list}, {UidSetKey, QVariant::fromValue(uidSet)}};
    return archive(root, error);
}

namespace {

// The root of a table file; the rows are handed to the archiver one at a
// time, not held in a list of a million variants for the whole save.
QVariant tableRoot(const TableStoreFile::Table &table)
{
    QVariantList columns;
    columns.reserve(table.columns.size());
    for (const auto &column : table.columns)
        columns.append(codableVariant(column));
    const LazyList contents{table.contents.size(), [&table](qsizetype i) { return codableVariant(table.contents[i]); }};
    return QVariantMap{{DisplayNameKey, table.displayName},
                       {ColumnsKey, columns},
                       {ContentsKey, QVariant::fromValue(contents)},
                       {UidSetKey, QVariant::fromValue(table.uidSet)}};
}

} // namespace

std::optional<QByteArray> TableStoreFile::tableData(const Table &table, QString *error)
{
    return archive(tableRoot(table), error);
}

TableStoreFile::FileContent TableStoreFile::tableContent(const Table &table)
{
    return FileContent(tableRoot(table));
}

bool TableStoreFile::writeAtomically(const QString &path, const FileContent &content, QString *error)
{
    if (const auto *bytes = std::get_if<QByteArray>(&content.m_content))
        return FileIO::writeFileAtomically(path, *bytes, error);
    FileIO::AtomicFileWriter file(path);
    try {
        return KeyedArchiver::archiveRootObject(
                   std::get<QVariant>(content.m_content),
                   [&](quint64 total) { return file.open(qint64(total), error); },
                   [&](QByteArrayView piece) { return file.write(piece, error); })
            && file.commit(error);
    } catch (const AppException &e) {
        // The archiver refuses what could not be read back, before writing.
        return setError(error, e.reason());
    }
}
