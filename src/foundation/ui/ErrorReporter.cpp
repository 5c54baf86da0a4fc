#include "ErrorReporter.h"

#include "AlertPresenter.h"
#include "AppException.h"
#include "Localizer.h"
#include "MainThread.h"
#include "ui_ExceptionReporter.h"

#include <QCoreApplication>
#include <QDebug>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QSysInfo>
#include <QTextDocumentFragment>

#include <cxxabi.h>
#include <cstdlib>
#include <typeinfo>

#ifndef CORV_ERROR_REPORT_BASE_URL
#define CORV_ERROR_REPORT_BASE_URL ""
#endif
#ifndef CORV_PROGRAM_VERSION
#define CORV_PROGRAM_VERSION ""
#endif

namespace {

constexpr int TransferTimeoutMs = 30000;

QString &baseUrlSetting()
{
    static QString baseUrl = QStringLiteral(CORV_ERROR_REPORT_BASE_URL);
    return baseUrl;
}

QString programVersion()
{
    const QString version = QCoreApplication::applicationVersion();
    return version.isEmpty() ? QStringLiteral(CORV_PROGRAM_VERSION) : version;
}

QString systemVersion()
{
    return QStringLiteral("%1 (%2 %3)").arg(QSysInfo::prettyProductName(), QSysInfo::kernelType(),
                                            QSysInfo::kernelVersion());
}

QString boundedText(const QString &text)
{
    if (text.size() <= ErrorReporter::MaxReportLength)
        return text;
    qsizetype keep = ErrorReporter::MaxReportLength;
    if (text.at(keep - 1).isHighSurrogate())
        --keep; // never split a character in two
    return text.left(keep) + QStringLiteral("\n\n") +
           Localizer::localizedString("Localized", "Error Report Truncated").arg(text.size() - keep);
}

QString typeName(const std::type_info &type)
{
    int status = 0;
    char *demangled = abi::__cxa_demangle(type.name(), nullptr, nullptr, &status);
    const QString name = QString::fromUtf8(status == 0 && demangled ? demangled : type.name());
    std::free(demangled);
    return name;
}

void logUnshownReport(const char *why, const QString &text)
{
    try {
        qCritical().noquote() << why << "\n" << text;
    } catch (...) {
    }
}

bool reporting = false;

} // namespace

// --- class operations --------------------------------------------------------

void ErrorReporter::reportException(const std::exception &exception) noexcept
{
    reportException(exception, nullptr);
}

void ErrorReporter::reportException(const std::exception &exception, QWidget *window) noexcept
{
    QString text;
    try {
        text = errorDescription(exception);
    } catch (...) {
        text = QString::fromUtf8(exception.what());
    }
    reportErrorText(text, window);
}

void ErrorReporter::reportCurrentException(QWidget *window) noexcept
{
    QString text;
    try {
        text = errorDescription(std::current_exception());
    } catch (...) {
        text = QStringLiteral("?");
    }
    reportErrorText(text, window);
}

void ErrorReporter::reportErrorText(const QString &text, QWidget *window) noexcept
{
    try {
        if (!MainThread::isMainThread()) {
            // Widgets belong to the main thread; the report goes up there later.
            QPointer<QWidget> target(window);
            QMetaObject::invokeMethod(
                QCoreApplication::instance(), [text, target] { reportErrorText(text, target.data()); },
                Qt::QueuedConnection);
            return;
        }
        // A report that fails while being put up must not start another one.
        if (reporting) {
            logUnshownReport("An error occurred while an error report was being shown:", text);
            return;
        }
        reporting = true;
        try {
            AlertPresenter::current().showErrorReport(text, window);
        } catch (...) {
            logUnshownReport("The error report could not be shown:", text);
        }
        reporting = false;
    } catch (...) {
        reporting = false;
    }
}

QString ErrorReporter::errorDescription(const std::exception &exception)
{
    if (const auto *appException = dynamic_cast<const AppException *>(&exception)) {
        const QString description = appException->errorDescription();
        return description.isEmpty() ? appException->name() : description;
    }
    const char *what = exception.what();
    const QString text = what ? QString::fromUtf8(what) : QString();
    return text.isEmpty() ? typeName(typeid(exception)) : text;
}

QString ErrorReporter::errorDescription(const std::exception_ptr &exception)
{
    if (!exception)
        return Localizer::localizedString("Localized", "Unknown Exception");
    try {
        std::rethrow_exception(exception);
    } catch (const std::exception &e) {
        return errorDescription(e);
    } catch (...) {
        return Localizer::localizedString("Localized", "Unknown Exception");
    }
}

QString ErrorReporter::reportBaseUrl()
{
    return baseUrlSetting();
}

void ErrorReporter::setReportBaseUrl(const QString &baseUrl)
{
    baseUrlSetting() = baseUrl;
}

QUrl ErrorReporter::reportUrl()
{
    QString base = baseUrlSetting().trimmed();
    if (base.isEmpty())
        return {};
    if (!base.endsWith(u'/'))
        base += u'/';
    const QUrl url(base + QStringLiteral("report_error.php"), QUrl::StrictMode);
    const bool http = url.scheme() == u"http" || url.scheme() == u"https";
    return url.isValid() && http && !url.host().isEmpty() ? url : QUrl();
}

QByteArray ErrorReporter::asciiBody(const QString &text)
{
    // Decomposed first, so an accented letter keeps its base letter.
    const QString decomposed = text.normalized(QString::NormalizationForm_KD);
    QByteArray body;
    body.reserve(decomposed.size());
    for (qsizetype i = 0; i < decomposed.size(); ++i) {
        const QChar c = decomposed.at(i);
        if (c.unicode() < 0x80) {
            body += char(c.unicode());
        } else if (c.category() == QChar::Mark_NonSpacing) {
            continue;
        } else {
            if (c.isHighSurrogate() && i + 1 < decomposed.size() && decomposed.at(i + 1).isLowSurrogate())
                ++i;
            body += '?';
        }
    }
    return body;
}

// --- one report window --------------------------------------------------------

ErrorReporter::ErrorReporter(const QString &text, QWidget *parent)
    : QDialog(parent), m_ui(std::make_unique<Ui::ExceptionReporter>())
{
    m_errorString = QStringLiteral("Program version: ") + programVersion() + QStringLiteral("\nSystem version: ") +
                    systemVersion() + QStringLiteral("\n\n") + boundedText(text);

    m_ui->setupUi(this);
    setWindowTitle(Localizer::localizedString("Localized", "Error Report Title"));
    m_ui->introLabel->setText(Localizer::localizedString("Localized", "Error Report Intro"));
    m_ui->reportButton->setText(Localizer::localizedString("Localized", "Send Report"));
    m_ui->closeButton->setText(Localizer::localizedString("Localized", "Close Report"));
    m_ui->errorWebView->setPlainText(m_errorString);
    if (reportUrl().isEmpty()) {
        m_ui->reportButton->setEnabled(false);
        m_ui->reportButton->setToolTip(Localizer::localizedString("Localized", "Error Report No Address"));
    }
}

ErrorReporter::~ErrorReporter()
{
    // The reply outlives this part of the object a little (it goes with the
    // children); an answer must not arrive in a half-destroyed window.
    if (m_reply)
        m_reply->disconnect(this);
}

QPlainTextEdit *ErrorReporter::errorWebView() const
{
    return m_ui->errorWebView;
}

QPushButton *ErrorReporter::reportButton() const
{
    return m_ui->reportButton;
}

void ErrorReporter::runModal()
{
    m_isSheet = false;
    setAttribute(Qt::WA_DeleteOnClose);
    setWindowModality(Qt::ApplicationModal);
    show();
    raise();
    activateWindow();
}

void ErrorReporter::displayAsSheetForWindow(QWidget *window)
{
    if (!window) {
        runModal();
        return;
    }
    m_isSheet = true;
    setParent(window->window(), windowFlags());
    setAttribute(Qt::WA_DeleteOnClose);
    open();
}

void ErrorReporter::closeWindow()
{
    done(QDialog::Rejected);
}

void ErrorReporter::report()
{
    // At most once: the button is disabled before anything can go out.
    if (m_network)
        return;
    const QUrl url = reportUrl();
    if (url.isEmpty())
        return;
    m_ui->reportButton->setEnabled(false);

    QNetworkRequest request(url);
    request.setHeader(QNetworkRequest::ContentTypeHeader, QByteArrayLiteral("text/plain; charset=us-ascii"));
    request.setTransferTimeout(TransferTimeoutMs);
    m_network = new QNetworkAccessManager(this);
    m_reply = m_network->post(request, asciiBody(m_errorString));
    connect(m_reply, &QNetworkReply::readyRead, this, &ErrorReporter::readAnswer);
    connect(m_reply, &QNetworkReply::finished, this, &ErrorReporter::answerArrived);
}

void ErrorReporter::readAnswer()
{
    if (!m_reply || m_answerComplete)
        return;
    m_answer += m_reply->read(MaxAnswerLength - m_answer.size());
    if (m_answer.size() >= MaxAnswerLength) {
        m_answerComplete = true; // enough to show; the rest is not waited for
        m_reply->abort();
    }
}

void ErrorReporter::answerArrived()
{
    QNetworkReply *reply = m_reply;
    if (!reply)
        return;
    readAnswer();
    const bool cutShort = m_answerComplete && reply->error() == QNetworkReply::OperationCanceledError;
    if (reply->error() == QNetworkReply::NoError || cutShort) {
        const QString contentType = reply->header(QNetworkRequest::ContentTypeHeader).toString();
        QString answer = QString::fromUtf8(m_answer);
        // The answer page is read as text only: nothing in it is loaded or run.
        if (contentType.contains(u"html", Qt::CaseInsensitive))
            answer = QTextDocumentFragment::fromHtml(answer).toPlainText();
        answer = answer.trimmed();
        m_ui->errorWebView->setPlainText(answer.isEmpty() ? Localizer::localizedString("Localized", "Error Report Sent")
                                                           : answer);
    } else {
        // The report stays in view, so the user can still copy it.
        m_ui->errorWebView->setPlainText(Localizer::localizedString("Localized", "Error Report Not Sent") +
                                         QStringLiteral("\n") + reply->errorString() + QStringLiteral("\n\n") +
                                         m_errorString);
    }
    reply->deleteLater();
}
