#pragma once

// The text of a document's send log and its operations, apart from the view
// that shows it: the lines of a run in their three styles, the optional
// log file, and the batching that keeps a run of 100,000 messages from
// laying the view out 100,000 times.
//
// Lines are kept back until flush(), which inserts them all at once; the
// view flushes once per display tick, and everything that reads the text
// flushes first. Texts from outside (addresses, server replies) are only
// ever inserted as plain text with a format, never as markup.
//
// Main thread only.

#include <QList>
#include <QString>
#include <QTextCharFormat>

class QTextDocument;

class SendLog {
public:
    enum class Style { Message, Error, Result };

    // Not owned; must outlive the log.
    explicit SendLog(QTextDocument *document);
    Q_DISABLE_COPY_MOVE(SendLog)

    [[nodiscard]] QTextDocument *document() const { return m_document; }

    // The operations of a send run.
    void clearLog();
    void startLog();
    void sentMailTo(const QString &address, int number);
    void mailErrorMessage(int number, const QString &address, const QString &error);
    // A message whose server answer was lost after it went out whole.
    void mayHaveBeenDelivered(int number, const QString &address, const QString &text);
    void errorMessage(const QString &text);
    void doneMessage();

    void addMessage(const QString &text);
    void addError(const QString &text);
    void addResult(const QString &text);

    // Inserts what was kept back and appends it to the log file. True when
    // the view should scroll to the end.
    bool flush();
    [[nodiscard]] bool hasPending() const { return !m_pending.isEmpty(); }

    [[nodiscard]] static QTextCharFormat format(Style style);
    // "~/Corvantiline Log.txt".
    [[nodiscard]] static QString logFilePath();

private:
    struct Piece {
        QString text;
        Style style;
        bool toFile;
        bool scrolls;
    };
    void add(const QString &text, Style style, bool toFile, bool scrolls);

    QTextDocument *m_document;
    QList<Piece> m_pending;
    // Characters of the view's text with the pending ones, for the rule
    // that a message scrolls only once the log holds two characters.
    qsizetype m_length = 0;
};
