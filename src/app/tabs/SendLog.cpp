#include "SendLog.h"

#include "RichTextBridge.h"

#include "BetterString.h"
#include "Localizer.h"
#include "Settings.h"

#include <QDir>
#include <QGuiApplication>
#include <QTextCursor>
#include <QTextDocument>

namespace {

constexpr double LogPointSize = 11.0;

QString localized(const char *key)
{
    return Localizer::localizedString("Localized", key);
}

} // namespace

SendLog::SendLog(QTextDocument *document)
    : m_document(document)
{
    m_length = m_document->characterCount() - 1;
}

QTextCharFormat SendLog::format(Style style)
{
    FontDescriptor font;
    font.family = QGuiApplication::font().family();
    font.pointSize = LogPointSize;
    font.bold = style != Style::Message;
    RgbaColor color;
    if (style == Style::Error)
        color.red = 1.0f;
    return RichTextBridge::charFormat({{TextAttributeName::Font, QVariant::fromValue(font)},
                                       {TextAttributeName::Color, QVariant::fromValue(color)}});
}

QString SendLog::logFilePath()
{
    return QDir::homePath() + QStringLiteral("/Corvantiline Log.txt");
}

void SendLog::clearLog()
{
    // What the last run still kept back belongs in the log file.
    flush();
    m_document->clear();
    m_length = 0;
}

void SendLog::startLog()
{
    add(QStringLiteral("-- Log start --\n\n"), Style::Message, false, false);
}

// The formats are filled in one pass: an address such as "a%2@x" must
// reach the log as it is.
void SendLog::sentMailTo(const QString &address, int number)
{
    addMessage(QStringLiteral("%1 ( %2 ) %3\n").arg(localized("LOG_SENT_MAIL_TO"), QString::number(number), address));
}

void SendLog::mailErrorMessage(int number, const QString &address, const QString &error)
{
    addError(QStringLiteral("%1 ( %2 ) %3:\n%4\n")
                 .arg(localized("LOG_MAIL_ERROR"), QString::number(number), address, error));
}

void SendLog::mayHaveBeenDelivered(int number, const QString &address, const QString &text)
{
    addError(QStringLiteral("%1 ( %2 ) %3:\n%4\n")
                 .arg(localized("LOG_MAY_HAVE_BEEN_DELIVERED"), QString::number(number), address, text));
}

void SendLog::errorMessage(const QString &text)
{
    addError(QStringLiteral("\n%1\n").arg(localized("LOG_ERROR")));
    addMessage(text);
}

void SendLog::doneMessage()
{
    addResult(QStringLiteral("\n%1\n").arg(localized("LOG_DONE")));
}

void SendLog::addMessage(const QString &text)
{
    add(text, Style::Message, true, m_length + text.size() >= 2);
}

void SendLog::addError(const QString &text)
{
    add(text, Style::Error, true, true);
}

void SendLog::addResult(const QString &text)
{
    add(text, Style::Result, true, true);
}

void SendLog::add(const QString &text, Style style, bool toFile, bool scrolls)
{
    m_length += text.size();
    m_pending.append({text, style, toFile, scrolls});
}

bool SendLog::flush()
{
    if (m_pending.isEmpty())
        return false;
    const QList<Piece> pieces = std::exchange(m_pending, {});
    const QTextCharFormat formats[] = {format(Style::Message), format(Style::Error), format(Style::Result)};
    bool scroll = false;
    QString fileText;
    QTextCursor cursor(m_document);
    cursor.movePosition(QTextCursor::End);
    // One edit: the view lays the new lines out once, not once a line.
    cursor.beginEditBlock();
    // Pieces of one style go in together: each insertion has a cost of
    // its own, whatever its length.
    QString run;
    Style runStyle = Style::Message;
    for (const Piece &piece : pieces) {
        if (piece.style != runStyle && !run.isEmpty()) {
            cursor.insertText(run, formats[int(runStyle)]);
            run.clear();
        }
        runStyle = piece.style;
        run += piece.text;
        scroll = scroll || piece.scrolls;
        if (piece.toFile)
            fileText += piece.text;
    }
    if (!run.isEmpty())
        cursor.insertText(run, formats[int(runStyle)]);
    cursor.endEditBlock();
    m_length = m_document->characterCount() - 1;
    if (!fileText.isEmpty() && Settings::writeLogFile())
        BetterString::appendToFile(fileText, logFilePath());
    return scroll;
}
