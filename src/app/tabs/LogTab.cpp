#include "LogTab.h"

#include "RtfWriter.h"

#include "RichTextBridge.h"

#include "Alerts.h"
#include "FilePanels.h"
#include "Localizer.h"
#include "Values.h"

#include <QHBoxLayout>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QSaveFile>
#include <QScrollBar>
#include <QVBoxLayout>

LogTab::LogTab(QWidget *parent)
    : QWidget(parent), m_textView(new QPlainTextEdit(this)),
      m_saveButton(new QPushButton(Localizer::localizedString("Localized", "LOG_SAVE_BUTTON"), this))
{
    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(m_textView);
    auto *buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(m_saveButton);
    layout->addLayout(buttons);
    m_textView->setReadOnly(true);
    m_textView->setUndoRedoEnabled(false);
    m_log = std::make_unique<SendLog>(m_textView->document());
    m_flushTimer.setSingleShot(true);
    connect(&m_flushTimer, &QTimer::timeout, this, &LogTab::flush);
    connect(m_saveButton, &QPushButton::clicked, this, &LogTab::saveLog);
}

LogTab::~LogTab()
{
    // The last lines still go to the log file.
    m_log->flush();
}

void LogTab::scheduleFlush()
{
    // At once when the last flush is a tick ago: a stream of lines cannot
    // hold the timer off.
    const qint64 since = m_lastFlush.isValid() ? m_lastFlush.elapsed() : DisplayIntervalMs;
    if (since >= DisplayIntervalMs)
        flush();
    else if (!m_flushTimer.isActive())
        m_flushTimer.start(int(DisplayIntervalMs - since));
}

void LogTab::flush()
{
    m_flushTimer.stop();
    m_lastFlush.start();
    if (!m_log->flush())
        return;
    QScrollBar *bar = m_textView->verticalScrollBar();
    bar->setValue(bar->maximum());
}

RichText LogTab::logText()
{
    flush();
    return RichTextBridge::documentText(m_textView->document());
}

void LogTab::setLogText(const RichText &text)
{
    m_log->flush();
    RichTextBridge::setDocumentText(m_textView->document(), text);
    m_log = std::make_unique<SendLog>(m_textView->document());
}

void LogTab::clearLog()
{
    m_log->clearLog();
}

void LogTab::startLog()
{
    m_log->startLog();
    scheduleFlush();
}

void LogTab::sentMailTo(const QString &address, int number)
{
    m_log->sentMailTo(address, number);
    scheduleFlush();
}

void LogTab::mailErrorMessage(int number, const QString &address, const QString &error)
{
    m_log->mailErrorMessage(number, address, error);
    scheduleFlush();
}

void LogTab::mayHaveBeenDelivered(int number, const QString &address, const QString &text)
{
    m_log->mayHaveBeenDelivered(number, address, text);
    scheduleFlush();
}

void LogTab::errorMessage(const QString &text)
{
    m_log->errorMessage(text);
    scheduleFlush();
}

void LogTab::doneMessage()
{
    m_log->doneMessage();
    scheduleFlush();
}

QVariantMap LogTab::fileData()
{
    return {{LogTextKey, QVariant::fromValue(logText())}};
}

void LogTab::readFileData(const std::optional<QVariantMap> &data)
{
    if (!data)
        return;
    const QVariant stored = data->value(LogTextKey);
    if (stored.typeId() == qMetaTypeId<RichText>())
        setLogText(stored.value<RichText>());
    else if (isStringValue(stored))
        setLogText(RichText(stored.toString()));
}

bool LogTab::writeRtf(const QString &path, QString *error)
{
    flush();
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly)) {
        *error = file.errorString();
        return false;
    }
    const QByteArray rtf = RtfWriter::fromDocument(*m_textView->document());
    if (file.write(rtf) != rtf.size() || !file.commit()) {
        *error = file.errorString();
        return false;
    }
    return true;
}

void LogTab::saveLog()
{
    const QString path = FilePanels::current().saveFile(
        window(), Localizer::localizedString("Localized", "LOG_SAVE_BUTTON"), QStringLiteral("rtf"));
    if (path.isEmpty())
        return;
    QString error;
    if (!writeRtf(path, &error))
        DoDisplayExtendedAlertSheet(QStringLiteral("LOG_SAVE_FAILED_TITLE"), QStringLiteral("LOG_SAVE_FAILED_TEXT"),
                                    path + QStringLiteral(": ") + error, window());
}
