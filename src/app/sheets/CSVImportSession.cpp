#include "CSVImportSession.h"

#include "RecipientCommands.h"

#include "Localizer.h"

#include <QFileInfo>

using Localizer::localizedString;

CSVImportSession::CSVImportSession(const QString &path, QObject *parent)
    : QAbstractTableModel(parent), m_path(QFileInfo(path).absoluteFilePath())
{
    m_settle.setSingleShot(true);
    m_settle.setInterval(SettleMilliseconds);
    connect(&m_settle, &QTimer::timeout, this, &CSVImportSession::reloadNow);
}

void CSVImportSession::setEncodingIndex(int index)
{
    if (index >= int(TextFileDecoder::Encoding::Automatic) && index <= int(TextFileDecoder::Encoding::Utf16))
        m_encoding = TextFileDecoder::Encoding(index);
}

void CSVImportSession::setDelimiter(const QString &delimiter)
{
    m_delimiter = delimiter;
}

CSVImportSession::DelimiterField CSVImportSession::chooseDelimiter(int choice, const QString &fieldText)
{
    switch (choice) {
    case Tab:
        setDelimiter(QStringLiteral("\t"));
        // A tab would not show in the field.
        return {QStringLiteral(" "), false, false};
    case Comma:
        setDelimiter(QStringLiteral(","));
        return {QStringLiteral(","), false, false};
    case Semicolon:
        setDelimiter(QStringLiteral(";"));
        return {QStringLiteral(";"), false, false};
    case Colon:
        setDelimiter(QStringLiteral(":"));
        return {QStringLiteral(":"), false, false};
    case Other:
        // None until the user types one.
        setDelimiter({});
        return {fieldText, true, true};
    default:
        setDelimiter({});
        return {fieldText, false, false};
    }
}

QString CSVImportSession::delimiterTextEdited(const QString &text)
{
    const QString kept = text.size() > 1 ? text.right(1) : text;
    setDelimiter(kept.size() == 1 ? kept : QString());
    reloadLater();
    return kept;
}

void CSVImportSession::reloadLater()
{
    m_settle.start();
}

void CSVImportSession::reloadNow()
{
    m_settle.stop();
    beginResetModel();
    m_rows.clear();
    m_report = {};
    m_error.clear();
    m_widest = 0;
    // Read whole: the bytes are bounded by the reader, and a preview of part
    // of a file could not tell how wide its rows are.
    std::optional<QList<QStringList>> rows = CSVReader::readFile(m_path, m_encoding, m_delimiter, &m_report, &m_error);
    if (rows) {
        m_rows = std::move(*rows);
        for (const QStringList &row : std::as_const(m_rows))
            m_widest = std::max(m_widest, int(row.size()));
    } else if (m_error.isEmpty()) {
        m_error = localizedString("ImportCSV", "The file cannot be read.");
    }
    endResetModel();
    emit reloaded();
}

QString CSVImportSession::statusText() const
{
    if (!m_error.isEmpty())
        return m_error;
    QStringList lines;
    lines << localizedString("ImportCSV", "%1 rows; the widest has %2 fields.").arg(m_rows.size()).arg(m_widest);
    if (m_report.droppedFields > 0)
        lines << localizedString("ImportCSV", "%1 fields of %2 rows are past the limit of %3 per row and are left out.")
                     .arg(m_report.droppedFields)
                     .arg(m_report.rowsWithDroppedFields)
                     .arg(CSVReader::MaxFieldsPerRow);
    if (m_report.unclosedQuotes > 0)
        lines << localizedString("ImportCSV", "%1 quotes are not closed; they are read as ordinary characters.")
                     .arg(m_report.unclosedQuotes);
    return lines.join(u'\n');
}

QVariantMap CSVImportSession::resultDictionary() const
{
    QVariantList rows;
    rows.reserve(m_rows.size());
    for (const QStringList &row : m_rows)
        rows.append(QVariant(row));
    QVariantMap result;
    result.insert(QStringLiteral("rows"), rows);
    result.insert(QStringLiteral("firstRowAsColumnTitles"), m_firstRowTitles ? 1 : 0);
    result.insert(QStringLiteral("originalFilePath"), m_path);
    return result;
}

int CSVImportSession::importInto(RecipientCommands &commands)
{
    if (isReloadPending())
        reloadNow();
    return commands.importRows(m_rows, m_firstRowTitles, m_report.droppedFields);
}

int CSVImportSession::rowCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : int(m_rows.size());
}

int CSVImportSession::columnCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : std::min(m_widest, PreviewColumnLimit);
}

QVariant CSVImportSession::data(const QModelIndex &index, int role) const
{
    if (!index.isValid() || role != Qt::DisplayRole)
        return {};
    const QStringList &row = m_rows.at(index.row());
    return index.column() < row.size() ? row.at(index.column()) : QString();
}

QVariant CSVImportSession::headerData(int section, Qt::Orientation, int role) const
{
    if (role != Qt::DisplayRole)
        return {};
    return section + 1;
}
