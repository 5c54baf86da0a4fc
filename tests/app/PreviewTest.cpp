// The preview: the page of one recipient (counter, address, subject,
// attachments, body) and the web view that shows it, which loads nothing
// from the network however the message tries, shows local pictures and
// pages larger than a web view takes as a string; and its picture.

#include "SendTestSupport.h"
#include "TestSupport.h"

#include "DocumentWindow.h"
#include "PreviewTab.h"
#include "PreviewWebView.h"

#include "AttachmentManager.h"
#include "AttributedTagString.h"
#include "ImageTag.h"
#include "SimpleTag.h"
#include "SmartAttachment.h"
#include "StaticAttachment.h"

#include <QImage>
#include <QLabel>
#include <QSignalSpy>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QTabWidget>
#include <QWebEnginePage>
#include <QWebEngineScript>

#include <gtest/gtest.h>

// Chromium inside the web engine deletes some of its objects through a type
// of another size; that is its own affair, and would end the address
// sanitizer's run of this program at the first page.
#ifdef CORV_ADDRESS_SANITIZER
extern "C" const char *__asan_default_options()
{
    return "new_delete_type_mismatch=0";
}
#endif

namespace {

class PreviewTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        document.showWindows();
        fillTable(document.database(),
                  {{"ann@x.test", "Ann"}, {"", "Nobody"}, {"cy@x.test", "Cy <&> Co"}});
        document.database().postUpdatedNotification();
        preview = document.previewTab();
    }
    PreviewPage build(int row)
    {
        return PreviewPageBuilder::build(document.database(), document.messageTab(), document.attachmentManager(), row);
    }
    void setSubjectWithName(const QString &before)
    {
        RichText subject(before);
        DoInsertTagInAttributedString(std::make_shared<SimpleTag>(QStringLiteral("first name")), subject,
                                      int(before.size()));
        document.messageTab().setSubjectText(subject);
    }

    MyDocument document;
    PreviewTab *preview = nullptr;
};

TEST_F(PreviewTest, ThePageOfOneRecipient)
{
    QTemporaryDir folder;
    QFile present(folder.filePath("terms & conditions.pdf"));
    ASSERT_TRUE(present.open(QIODevice::WriteOnly));
    present.close();
    setSubjectWithName(QStringLiteral("Hi <"));
    document.messageTab().setBodyText(RichText(QStringLiteral("a < b & c > d")));
    document.attachmentManager().addAttachment(std::make_shared<StaticAttachment>(present.fileName()));
    auto missing = std::make_shared<SmartAttachment>();
    missing->setRootFilePath(folder.path());
    missing->setFileName(RichText(QStringLiteral("<absent>.pdf")));
    document.attachmentManager().addAttachment(missing);

    const PreviewPage page = build(0);
    EXPECT_EQ(page.address, "ann@x.test");
    EXPECT_EQ(page.counter, "1 / 3");
    // The subject and the names as the recipient reads them; the plain
    // body with only "<" and ">" made entities.
    EXPECT_EQ(page.html.toStdString(),
              "<html><body><div style=\"width:100%;background:white;\"><table border=\"0\" cellspacing=\"0\" "
              "cellpadding=\"3\" style=\"font-family:Helvetica,Arial,sans-serif;font-size:12px;\"><tr><td><b>Subject:"
              "</b></td><td>Hi &lt;Ann</td></tr><tr><td valign=\"top\"><b>Attachments:</b></td><td>terms &amp; "
              "conditions.pdf</td></tr><tr><td>&nbsp;</td><td><span style=\"color:red;\">&lt;absent&gt;.pdf</span>"
              "</td></tr></table></div><hr><html><body bgcolor=\"#FFFFFF\"><font style=\"font-family:monaco;"
              "font-size:10px;\"><pre style=\"font-family:monaco;font-size:10px;white-space: pre-wrap;\">a &lt; b & c "
              "&gt; d</pre></font></body></html></body></html>");

    EXPECT_EQ(build(1).address, "???");
    EXPECT_TRUE(build(2).html.contains("Hi &lt;Cy &lt;&amp;&gt; Co"));
    EXPECT_EQ(build(7).counter, "3 / 3") << "past the end: the last row";
    EXPECT_EQ(build(-4).counter, "1 / 3");

    document.database().setEntryArray(QList<QVariantMap>());
    const PreviewPage empty = build(0);
    EXPECT_EQ(empty.counter, "0");
    EXPECT_TRUE(empty.address.isEmpty());
    EXPECT_EQ(empty.row, -1);
}

// Counts what reaches a loopback web server.
class CountingWebServer : public QTcpServer {
public:
    CountingWebServer()
    {
        listen(QHostAddress::LocalHost);
        connect(this, &QTcpServer::newConnection, this, [this] {
            while (QTcpSocket *socket = nextPendingConnection()) {
                ++connections;
                socket->write("HTTP/1.0 200 OK\r\nContent-Type: text/html\r\n\r\n<p>remote</p>");
                socket->disconnectFromHost();
            }
        });
    }
    QString url(const QString &path) const { return QStringLiteral("http://127.0.0.1:%1/%2").arg(serverPort()).arg(path); }
    int connections = 0;
};

bool waitForLoad(QSignalSpy &spy)
{
    if (!spy.wait(60000))
        return false;
    return spy.last().value(0).toBool();
}

QVariant evaluate(PreviewWebView *view, const QString &script)
{
    QVariant result;
    bool done = false;
    // Our own world: the page's scripts stay off.
    view->page()->runJavaScript(script, QWebEngineScript::ApplicationWorld, [&](const QVariant &value) {
        result = value;
        done = true;
    });
    waitUntil([&] { return done; }, 30000);
    return result;
}

TEST_F(PreviewTest, TheWebViewLoadsNothingFromOutsideButLocalPicturesAndLargePages)
{
    CountingWebServer web;
    ASSERT_TRUE(web.isListening());
    QTemporaryDir folder;
    ASSERT_TRUE(QDir(folder.path()).mkdir("with space"));
    const QString picture = folder.filePath("with space/pic.png");
    QImage image(40, 30, QImage::Format_RGB32);
    image.fill(Qt::darkGreen);
    ASSERT_TRUE(image.save(picture));

    // Formatted text with a local picture; a subject full of fetches.
    document.messageTab().setMode(MessageMode::Formatted);
    RichText body(QStringLiteral("Picture: "));
    DoInsertTagInAttributedString(std::make_shared<ImageTag>(picture), body, body.length());
    document.messageTab().setBodyText(body);
    document.messageTab().setSubjectText(RichText(QStringLiteral("<img src=\"%1\">").arg(web.url("subject.png"))));

    document.documentWindow()->tabView()->setCurrentWidget(preview);
    PreviewWebView *view = preview->bodyTextView();
    ASSERT_TRUE(view);
    QSignalSpy loads(view, &QWebEngineView::loadFinished);
    ASSERT_TRUE(waitForLoad(loads));
    EXPECT_EQ(evaluate(view, "document.images.length").toInt(), 1);
    EXPECT_EQ(evaluate(view, "document.images[0].naturalWidth").toInt(), 40) << "the local picture shows";
    // The engine draws after the load: waited for, for the picture.
    const auto showsPicture = [&] {
        const QImage shot = view->grab().toImage();
        for (int y = 0; y < shot.height(); y += 4) {
            for (int x = 0; x < shot.width(); x += 4) {
                if (shot.pixelColor(x, y) == QColor(Qt::darkGreen))
                    return true;
            }
        }
        return false;
    };
    waitUntil(showsPicture, 5000);
    EXPECT_TRUE(saveScreenshot(preview, QStringLiteral("preview-tab.png")));

    // Raw HTML that tries every way out.
    document.messageTab().setMode(MessageMode::RawHTML);
    document.messageTab().setEditHTMLPart(true);
    const QString hostile = QStringLiteral(
        "<html><head><meta http-equiv=\"refresh\" content=\"0; url=%1\"><link rel=\"stylesheet\" href=\"%2\">"
        "<link rel=\"icon\" href=\"%3\"></head><body><img src=\"%4\"><iframe src=\"%5\"></iframe>"
        "<script src=\"%6\"></script><a href=\"%1\">link</a></body></html>")
                                .arg(web.url("refresh"), web.url("style.css"), web.url("favicon.ico"),
                                     web.url("img.png"), web.url("frame.html"), web.url("script.js"));
    document.messageTab().setBodyText(RichText(hostile));
    preview->willBeSelected();
    ASSERT_TRUE(waitForLoad(loads));
    const QUrl shown = view->pageUrl();
    // Long enough for a refresh of 0 seconds and the fetches to go out.
    waitUntil([] { return false; }, 800);
    EXPECT_EQ(web.connections, 0);
    EXPECT_EQ(view->url(), shown) << "the page stays";
    EXPECT_GT(view->blockedRequests(), 0);

    // 3 MB, more than a web view takes as a string.
    QString large = QStringLiteral("<html><body>");
    const QString line = QStringLiteral("<p>%1</p>\n").arg(QString(100, QLatin1Char('x')));
    while (large.size() < 3 * 1024 * 1024)
        large += line;
    large += QStringLiteral("<p id=\"end\">END</p></body></html>");
    document.messageTab().setBodyText(RichText(large));
    preview->willBeSelected();
    ASSERT_TRUE(waitForLoad(loads));
    EXPECT_EQ(evaluate(view, "document.getElementById('end') ? document.getElementById('end').textContent : ''")
                  .toString(),
              "END");
}

TEST_F(PreviewTest, StepsStayInTheTableAndFollowItsRows)
{
    document.messageTab().setSubjectText(RichText(QStringLiteral("S")));
    preview->selectMessage(0);
    preview->willBeSelected();
    EXPECT_EQ(preview->addressNumText()->text(), "1 / 3");
    EXPECT_EQ(preview->recipientText()->textFormat(), Qt::PlainText);
    preview->prevMessage();
    EXPECT_EQ(preview->addressNumText()->text(), "1 / 3");
    preview->nextMessage();
    preview->nextMessage();
    EXPECT_EQ(preview->addressNumText()->text(), "3 / 3");
    preview->nextMessage();
    EXPECT_EQ(preview->addressNumText()->text(), "3 / 3");
    document.database().removeEntry(2);
    preview->willBeSelected();
    EXPECT_EQ(preview->addressNumText()->text(), "2 / 2");
    EXPECT_EQ(preview->recipientText()->text(), "???");
}

} // namespace
