#pragma once

// What the delimited-text import sheet shows and imports, without widgets:
// the chosen file read with the chosen encoding and delimiter, the rows, a
// line about them (row count, widest row, what the reader left out, or why
// the file could not be read) and the preview, which this model is. The
// file is read again only once the options have settled, so typing in the
// delimiter field does not read a large file once per key.
//
// Main thread only.

#include "CSVReader.h"

#include <QAbstractTableModel>
#include <QTimer>

class RecipientCommands;

class CSVImportSession : public QAbstractTableModel {
    Q_OBJECT
public:
    static constexpr int SettleMilliseconds = 300;
    // Fields past this are imported but not previewed.
    static constexpr int PreviewColumnLimit = 256;
    static constexpr int PreviewColumnWidth = 150;

    // The delimiter menu's items, in its order; items from Automatic on
    // detect the delimiter.
    enum DelimiterChoice { Tab, Comma, Semicolon, Colon, Other, Automatic };

    // What the delimiter field shows after a choice.
    struct DelimiterField {
        QString text;
        bool enabled = false;
        // The field's text is selected for typing over.
        bool selectText = false;
    };

    explicit CSVImportSession(const QString &path, QObject *parent = nullptr);

    [[nodiscard]] const QString &path() const { return m_path; }

    // The encoding menu's position: 0 automatic, then UTF-8, ISO Latin 1,
    // ISO Latin 2, Mac OS Roman, Shift JIS, UTF-16.
    void setEncodingIndex(int index);
    [[nodiscard]] int encodingIndex() const { return int(m_encoding); }
    // The field as it stands after the choice; `fieldText` is what it held.
    DelimiterField chooseDelimiter(int choice, const QString &fieldText);
    // The user typed in the field: only the last character is kept, and it
    // becomes the delimiter; an empty field detects one. Answers the text
    // the field is to show.
    QString delimiterTextEdited(const QString &text);
    // Null while the delimiter is detected.
    [[nodiscard]] const QString &delimiter() const { return m_delimiter; }
    void setFirstRowTitles(bool titles) { m_firstRowTitles = titles; }
    [[nodiscard]] bool firstRowTitles() const { return m_firstRowTitles; }

    // Reads the file once the options have not changed for a while.
    void reloadLater();
    void reloadNow();
    [[nodiscard]] bool isReloadPending() const { return m_settle.isActive(); }

    [[nodiscard]] const QList<QStringList> &rows() const { return m_rows; }
    [[nodiscard]] const CSVReader::Report &report() const { return m_report; }
    // Why the file could not be read; empty when it was.
    [[nodiscard]] const QString &error() const { return m_error; }
    [[nodiscard]] int widestRow() const { return m_widest; }
    [[nodiscard]] QString statusText() const;

    // Target mode: "rows" (the title row included), "firstRowAsColumnTitles"
    // (1 or 0), "originalFilePath".
    [[nodiscard]] QVariantMap resultDictionary() const;
    // Recipient-table mode: the rows appended to the table as one undo step.
    int importInto(RecipientCommands &commands);

    int rowCount(const QModelIndex &parent = {}) const override;
    int columnCount(const QModelIndex &parent = {}) const override;
    QVariant data(const QModelIndex &index, int role) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;

signals:
    void reloaded();

private:
    void setDelimiter(const QString &delimiter);

    QString m_path;
    TextFileDecoder::Encoding m_encoding = TextFileDecoder::Encoding::Automatic;
    QString m_delimiter;
    bool m_firstRowTitles = false;
    QTimer m_settle;
    QList<QStringList> m_rows;
    CSVReader::Report m_report;
    QString m_error;
    int m_widest = 0;
};
