#pragma once

#include <QByteArray>
#include <QDialog>
#include <QPointer>
#include <QUrl>

#include <exception>
#include <memory>

class QNetworkAccessManager;
class QNetworkReply;
class QPlainTextEdit;
class QPushButton;

namespace Ui {
class ExceptionReporter;
}

// The window for unexpected errors: the error text with the program and
// system versions, offered for sending to the maker's error-report address.
// One window per report; it deletes itself when closed. The text is shown as
// plain text, so nothing in an exception's text can act as markup.
class ErrorReporter : public QDialog {
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(ErrorReporter)
public:
    // Reports longer than this are cut, so a huge value description cannot
    // stall the window or fill the report address's disk.
    static constexpr qsizetype MaxReportLength = 256 * 1024;
    // The answer page is read up to this size; the rest is not waited for.
    static constexpr qsizetype MaxAnswerLength = 64 * 1024;

    // The class operations: each shows a new report through the current
    // AlertPresenter. They never throw, and a report asked for while one is
    // being put up (because showing it failed) is logged, not shown.
    static void reportException(const std::exception &exception) noexcept;
    static void reportException(const std::exception &exception, QWidget *window) noexcept;
    static void reportErrorText(const QString &text, QWidget *window) noexcept;
    // For a catch (...) block, including the application's last net in notify().
    static void reportCurrentException(QWidget *window = nullptr) noexcept;

    // The text a report shows for the exception: an AppException's error
    // description, a standard exception's what(), or a fixed text for any
    // other thrown object.
    [[nodiscard]] static QString errorDescription(const std::exception &exception);
    [[nodiscard]] static QString errorDescription(const std::exception_ptr &exception);

    // Where reports are sent: this address followed by "report_error.php".
    // Empty means nowhere, and the send button stays disabled.
    [[nodiscard]] static QString reportBaseUrl();
    static void setReportBaseUrl(const QString &baseUrl);
    [[nodiscard]] static QUrl reportUrl();

    explicit ErrorReporter(const QString &text, QWidget *parent = nullptr);
    ~ErrorReporter() override;

    // Application-modal; returns at once, the window stays until closed.
    void runModal();
    // Window-modal on the window (modal to the application without one).
    void displayAsSheetForWindow(QWidget *window);

    [[nodiscard]] bool isSheet() const { return m_isSheet; }
    [[nodiscard]] const QString &errorString() const { return m_errorString; }
    [[nodiscard]] QPlainTextEdit *errorWebView() const;
    [[nodiscard]] QPushButton *reportButton() const;

    // The report text as it is sent: ASCII, other characters replaced.
    [[nodiscard]] static QByteArray asciiBody(const QString &text);

public slots:
    void report();
    void closeWindow();

private:
    void answerArrived();
    void readAnswer();

    std::unique_ptr<Ui::ExceptionReporter> m_ui;
    bool m_isSheet = false;
    QString m_errorString;
    QNetworkAccessManager *m_network = nullptr;
    QPointer<QNetworkReply> m_reply;
    QByteArray m_answer;
    bool m_answerComplete = false;
};
