#include "AppException.h"
#include "ErrorReporter.h"
#include "Localizer.h"
#include "RecordingAlertPresenter.h"

#include <QApplication>
#include <QNetworkProxy>
#include <QNetworkReply>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTest>

#include <gtest/gtest.h>

#include <stdexcept>

namespace {

// A one-page web server on 127.0.0.1 that records each request and gives
// every one the same answer (an empty answer: never answers).
class LoopbackHttpServer {
public:
    struct Request {
        QByteArray method, path, contentType, body;
    };

    explicit LoopbackHttpServer(QByteArray answer) : m_answer(std::move(answer))
    {
        QObject::connect(&m_server, &QTcpServer::newConnection, [this] {
            while (QTcpSocket *socket = m_server.nextPendingConnection()) {
                auto buffer = std::make_shared<QByteArray>();
                QObject::connect(socket, &QTcpSocket::readyRead, socket, [this, socket, buffer] {
                    *buffer += socket->readAll();
                    if (complete(*buffer) && !m_answer.isEmpty()) {
                        socket->write(m_answer);
                        socket->disconnectFromHost();
                    }
                });
                QObject::connect(socket, &QTcpSocket::disconnected, socket, &QObject::deleteLater);
            }
        });
        EXPECT_TRUE(m_server.listen(QHostAddress::LocalHost, 0));
    }

    QString baseUrl() const { return QStringLiteral("http://127.0.0.1:%1/bugs").arg(m_server.serverPort()); }

    QList<Request> requests;

private:
    // Records the request once its headers and Content-Length bytes are in.
    bool complete(const QByteArray &data)
    {
        const qsizetype headerEnd = data.indexOf("\r\n\r\n");
        const QByteArray head = data.left(headerEnd).toLower();
        const auto header = [&](const QByteArray &name) {
            const qsizetype at = head.indexOf("\n" + name + ":");
            return at < 0 ? QByteArray() : data.mid(at + name.size() + 2, head.indexOf('\r', at + 1) - at - name.size() - 2).trimmed();
        };
        const qsizetype length = header("content-length").toLongLong();
        if (headerEnd < 0 || data.size() < headerEnd + 4 + length)
            return false;
        const QList<QByteArray> requestLine = data.left(data.indexOf('\r')).split(' ');
        requests.append({requestLine.value(0), requestLine.value(1), header("content-type"), data.mid(headerEnd + 4, length)});
        return true;
    }

    QTcpServer m_server;
    QByteArray m_answer;
};

QByteArray httpAnswer(const QByteArray &status, const QByteArray &contentType, const QByteArray &body)
{
    return "HTTP/1.1 " + status + "\r\nContent-Type: " + contentType + "\r\nContent-Length: " +
           QByteArray::number(body.size()) + "\r\nConnection: close\r\n\r\n" + body;
}

QList<ErrorReporter *> openReports()
{
    QList<ErrorReporter *> reports;
    for (QWidget *widget : QApplication::topLevelWidgets())
        if (auto *report = qobject_cast<ErrorReporter *>(widget); report && report->isVisible())
            reports.append(report);
    return reports;
}

class ErrorReporterTest : public ::testing::Test {
protected:
    void SetUp() override { QNetworkProxy::setApplicationProxy(QNetworkProxy::NoProxy); }
    void TearDown() override { ErrorReporter::setReportBaseUrl(QString()); }
};

} // namespace

TEST_F(ErrorReporterTest, reportStartsWithTheVersionsAndShowsMarkupLiterally)
{
    const QString text = QStringLiteral("<b>bold</b> &amp; <a href=\"http://x\">link</a> <script>x()</script> 100%d");
    ErrorReporter report(text);
    EXPECT_TRUE(report.errorString().startsWith(QStringLiteral("Program version: "))) << qPrintable(report.errorString());
    EXPECT_TRUE(report.errorString().contains(QStringLiteral("\nSystem version: ")));
    EXPECT_TRUE(report.errorString().endsWith(QStringLiteral("\n\n") + text));
    EXPECT_EQ(report.errorWebView()->toPlainText(), report.errorString());
    EXPECT_FALSE(report.isSheet());

    // A huge text is cut, never in the middle of a character.
    QString huge(ErrorReporter::MaxReportLength - 1, u'a');
    huge += QStringLiteral("\U0001F600 and more");
    ErrorReporter big(huge);
    EXPECT_LT(big.errorString().size(), ErrorReporter::MaxReportLength + 1000);
    EXPECT_FALSE(big.errorString().contains(QChar(0xD83D))) << "no half of the cut character is left";
    EXPECT_TRUE(big.errorString().contains(QString(ErrorReporter::MaxReportLength - 1, u'a')));
}

TEST_F(ErrorReporterTest, classOperationsDescribeEveryKindOfException)
{
    RecordingAlertPresenter presenter;
    QWidget window;

    const AppException withDetails = AppException::unexpectedClass(QStringLiteral("(1, 2)"));
    ErrorReporter::reportException(withDetails, &window);
    ErrorReporter::reportException(std::runtime_error("plain failure"));
    AppException empty(QStringLiteral("NSRangeException"), QString());
    empty.setBacktrace(QString());
    ErrorReporter::reportException(empty);
    try {
        throw 42;
    } catch (...) {
        ErrorReporter::reportCurrentException(&window);
    }
    ErrorReporter::reportErrorText(QStringLiteral("given text"), &window);

    ASSERT_EQ(presenter.shown.size(), 5);
    EXPECT_EQ(presenter.shown[0].kind, RecordingAlertPresenter::Report);
    EXPECT_EQ(presenter.shown[0].text, withDetails.errorDescription());
    EXPECT_TRUE(presenter.shown[0].text.contains(QStringLiteral("Details:\n(1, 2)")));
    EXPECT_EQ(presenter.shown[0].window, &window);
    EXPECT_EQ(presenter.shown[1].text, QStringLiteral("plain failure"));
    EXPECT_EQ(presenter.shown[1].window, nullptr);
    EXPECT_EQ(presenter.shown[2].text, QStringLiteral("NSRangeException")) << "a report is never blank";
    EXPECT_EQ(presenter.shown[3].text, Localizer::localizedString("Localized", "Unknown Exception"));
    EXPECT_EQ(presenter.shown[4].text, QStringLiteral("given text"));
}

TEST_F(ErrorReporterTest, modalReportsAndSheetsFreeThemselvesWhenClosed)
{
    ASSERT_TRUE(openReports().isEmpty());
    ErrorReporter::reportException(std::runtime_error("first"));
    ErrorReporter::reportException(std::runtime_error("second"));
    QList<ErrorReporter *> reports = openReports();
    ASSERT_EQ(reports.size(), 2) << "reports do not block and several may be open";
    QPointer<ErrorReporter> modal = reports[0];
    EXPECT_EQ(modal->windowModality(), Qt::ApplicationModal);
    EXPECT_FALSE(modal->isSheet());
    QTest::mouseClick(modal->findChild<QPushButton *>(QStringLiteral("closeButton")), Qt::LeftButton);
    reports[1]->closeWindow();
    EXPECT_TRUE(QTest::qWaitFor([&] { return modal.isNull() && openReports().isEmpty(); }, 5000));

    QWidget window;
    window.show();
    ErrorReporter::reportException(std::runtime_error("on a window"), &window);
    QPointer<ErrorReporter> sheet = window.findChild<ErrorReporter *>();
    ASSERT_TRUE(sheet);
    EXPECT_TRUE(sheet->isSheet());
    EXPECT_TRUE(sheet->isVisible());
    EXPECT_EQ(sheet->windowModality(), Qt::WindowModal);
    EXPECT_TRUE(sheet->errorString().endsWith(QStringLiteral("on a window")));
    QTest::mouseClick(sheet->findChild<QPushButton *>(QStringLiteral("closeButton")), Qt::LeftButton);
    EXPECT_TRUE(QTest::qWaitFor([&] { return sheet.isNull(); }, 5000));
}

TEST_F(ErrorReporterTest, sendsTheReportOnceAsAsciiAndShowsTheAnswerAsText)
{
    LoopbackHttpServer server(httpAnswer("200 OK", "text/html; charset=utf-8",
                                         "<html><body><p>Thank you &amp; <b>bye</b></p><script>x()</script></body></html>"));
    ErrorReporter::setReportBaseUrl(server.baseUrl());
    ErrorReporter report(QStringLiteral("Gr\u00FC\u00DFe \u20AC \U0001F600 <x>&"));
    report.show();
    ASSERT_TRUE(report.reportButton()->isEnabled());
    QTest::mouseClick(report.reportButton(), Qt::LeftButton);
    EXPECT_FALSE(report.reportButton()->isEnabled()) << "disabled at the first press";

    ASSERT_TRUE(QTest::qWaitFor([&] { return report.errorWebView()->toPlainText().contains(u"Thank you"); }, 10000))
        << qPrintable(report.errorWebView()->toPlainText());
    ASSERT_EQ(server.requests.size(), 1);
    const auto &request = server.requests[0];
    EXPECT_EQ(request.method, "POST");
    EXPECT_EQ(request.path, "/bugs/report_error.php");
    EXPECT_EQ(request.contentType, "text/plain; charset=us-ascii");
    EXPECT_EQ(request.body, ErrorReporter::asciiBody(report.errorString()));
    EXPECT_TRUE(request.body.endsWith("\n\nGru?e ? ? <x>&")) << request.body.constData();
    EXPECT_FALSE(report.errorWebView()->toPlainText().contains(u"<b>")) << "the answer page is shown as text";
    EXPECT_FALSE(report.reportButton()->isEnabled());

    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    report.report(); // as a second press would
    EXPECT_TRUE(report.findChildren<QNetworkReply *>().isEmpty()) << "a report is sent at most once";
}

TEST_F(ErrorReporterTest, aFailedSendingKeepsTheReportInView)
{
    LoopbackHttpServer server(httpAnswer("500 Internal Server Error", "text/plain", "broken"));
    ErrorReporter::setReportBaseUrl(server.baseUrl() + QStringLiteral("/"));
    ErrorReporter report(QStringLiteral("the original report"));
    report.report();
    const QString notSent = Localizer::localizedString("Localized", "Error Report Not Sent");
    ASSERT_TRUE(QTest::qWaitFor([&] { return report.errorWebView()->toPlainText().startsWith(notSent); }, 10000))
        << qPrintable(report.errorWebView()->toPlainText());
    EXPECT_TRUE(report.errorWebView()->toPlainText().endsWith(report.errorString()));
    EXPECT_EQ(server.requests.value(0).path, "/bugs/report_error.php");
    EXPECT_FALSE(report.reportButton()->isEnabled()) << "nothing retries";

    // A window closed while its report is on the way takes the transfer with it.
    LoopbackHttpServer silent{QByteArray()};
    ErrorReporter::setReportBaseUrl(silent.baseUrl());
    auto *pending = new ErrorReporter(QStringLiteral("closed early"));
    pending->report();
    ASSERT_TRUE(QTest::qWaitFor([&] { return silent.requests.size() == 1; }, 10000));
    delete pending;
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
}

TEST_F(ErrorReporterTest, aHugeAnswerIsReadOnlyUpToItsBound)
{
    LoopbackHttpServer server(httpAnswer("200 OK", "text/plain", QByteArray(4 * ErrorReporter::MaxAnswerLength, 'a')));
    ErrorReporter::setReportBaseUrl(server.baseUrl());
    ErrorReporter report(QStringLiteral("text"));
    report.report();
    ASSERT_TRUE(QTest::qWaitFor([&] { return report.errorWebView()->toPlainText().startsWith(u"aaaa"); }, 10000))
        << qPrintable(report.errorWebView()->toPlainText().left(500));
    EXPECT_EQ(report.errorWebView()->toPlainText().size(), ErrorReporter::MaxAnswerLength);
}

TEST_F(ErrorReporterTest, withoutAUsableAddressNothingCanBeSent)
{
    for (const QString &base : {QString(), QStringLiteral("ftp://127.0.0.1/"), QStringLiteral("not a url")}) {
        ErrorReporter::setReportBaseUrl(base);
        EXPECT_TRUE(ErrorReporter::reportUrl().isEmpty()) << qPrintable(base);
        ErrorReporter report(QStringLiteral("text"));
        EXPECT_FALSE(report.reportButton()->isEnabled()) << qPrintable(base);
        report.report();
        EXPECT_TRUE(report.findChildren<QNetworkReply *>().isEmpty());
    }
}
