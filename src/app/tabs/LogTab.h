#pragma once

// The log tab: the styled log of the document's last send run (SendLog),
// kept in the project file under "Log", saved as RTF on request.
//
// The lines of a run reach the view once per display tick, so the view is
// laid out and scrolled a few times a second, not once a message.
//
// Main thread only.

#include "MainTabDelegate.h"
#include "SendLog.h"

#include "RichText.h"

#include <QElapsedTimer>
#include <QTimer>
#include <QVariantMap>
#include <QWidget>

#include <memory>
#include <optional>

class QPlainTextEdit;
class QPushButton;

class LogTab : public QWidget, public TabItem {
    Q_OBJECT
public:
    static inline const QString LogTextKey = QStringLiteral("Log Text");
    // How long a line may wait for the view: laying out and painting a
    // batch costs far less than a line at a time.
    static constexpr int DisplayIntervalMs = 250;

    explicit LogTab(QWidget *parent = nullptr);
    ~LogTab() override;

    [[nodiscard]] QPlainTextEdit *textView() const { return m_textView; }
    [[nodiscard]] QPushButton *saveButton() const { return m_saveButton; }
    [[nodiscard]] RichText logText();
    void setLogText(const RichText &text);

    // The send run's operations; see SendLog.
    void clearLog();
    void startLog();
    void sentMailTo(const QString &address, int number);
    void mailErrorMessage(int number, const QString &address, const QString &error);
    void mayHaveBeenDelivered(int number, const QString &address, const QString &text);
    void errorMessage(const QString &text);
    void doneMessage();
    // Shows what is kept back now, and scrolls to it.
    void flush();

    void willBeSelected() override { flush(); }

    [[nodiscard]] QVariantMap fileData();
    // None leaves the log as it is; so does a part without a text in it.
    void readFileData(const std::optional<QVariantMap> &data);

    // Asks for a path (suffix "rtf") and writes the log there; a failed
    // write is reported.
    void saveLog();
    // False, with the reason, when the file could not be written.
    bool writeRtf(const QString &path, QString *error);

private:
    void scheduleFlush();

    QPlainTextEdit *m_textView;
    QPushButton *m_saveButton;
    std::unique_ptr<SendLog> m_log;
    QTimer m_flushTimer;
    QElapsedTimer m_lastFlush;
};
