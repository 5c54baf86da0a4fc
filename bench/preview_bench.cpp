// Stepping through the preview of a large table: the reference message of
// whole_send_bench (field tags, conditions, an inline picture) and a 50 KB
// attachment, a generated table of ROWS rows, the preview tab shown on the
// offscreen platform. Each step is timed from the button to the page
// built, and to the page loaded by the web view; the first load (the web
// engine starting) is left out.
//
// Usage: preview_bench DIR [rows [steps]]   (100000, 200; DIR as for
//        whole_send_bench, made with its --fixtures)
// The last line is "RESULT preview <rows> <steps> <median build ms>
// <longest build ms> <median ready ms> <longest ready ms>".

#include "BenchFixtures.h"

#include "DocumentWindow.h"
#include "MyDocument.h"
#include "PreviewTab.h"
#include "PreviewWebView.h"

#include "AttachmentManager.h"
#include "Settings.h"
#include "StaticAttachment.h"
#include "UserDefaults.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QTabWidget>
#include <QTemporaryDir>
#include <QTimer>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <unistd.h>

using namespace BenchFixtures;

namespace {

double median(QList<double> values)
{
    std::sort(values.begin(), values.end());
    return values.isEmpty() ? 0 : values.at(values.size() / 2);
}

// Waits for the view's next load; false after a minute.
bool waitForLoad(PreviewWebView *view)
{
    QEventLoop loop;
    bool loaded = false;
    const auto connection = QObject::connect(view, &QWebEngineView::loadFinished, &loop, [&](bool ok) {
        loaded = ok;
        loop.quit();
    });
    QTimer::singleShot(60000, &loop, &QEventLoop::quit);
    loop.exec();
    QObject::disconnect(connection);
    return loaded;
}

} // namespace

int main(int argc, char **argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    if (::geteuid() == 0)
        qputenv("QTWEBENGINE_DISABLE_SANDBOX", "1");
    QCoreApplication::setAttribute(Qt::AA_ShareOpenGLContexts);
    QApplication app(argc, argv);
    QTemporaryDir home;
    UserDefaults::setStandardFile(home.filePath(QStringLiteral("defaults.ini")));
    Settings::loadSettings();
    if (argc < 2) {
        std::fprintf(stderr, "usage: preview_bench DIR [rows [steps]]\n");
        return 2;
    }
    const QDir dir(QString::fromLocal8Bit(argv[1]));
    const int rows = argc > 2 ? std::max(2, std::atoi(argv[2])) : 100000;
    const int steps = std::min(rows - 1, argc > 3 ? std::max(1, std::atoi(argv[3])) : 200);

    MyDocument document;
    document.setCreateDefaultDoc(false);
    document.showWindows();
    Database &table = document.database();
    fillTable(table, rows);
    table.setAddressFieldNo(Database::columnIndexFromIdentifier(table.fieldNameColumnIDMapping().value("Email")));
    table.postUpdatedNotification();
    document.messageTab().setMode(MessageMode::Formatted);
    document.messageTab().setSubjectText(referenceSubject());
    document.messageTab().setBodyText(referenceBody(dir.filePath("logo.png")));
    document.attachmentManager().addAttachment(std::make_shared<StaticAttachment>(dir.filePath("attachment.bin")));

    PreviewTab *preview = document.previewTab();
    // Half-way through the table: no step is helped by being near its start.
    preview->selectMessage(rows / 2);
    document.documentWindow()->tabView()->setCurrentWidget(preview);
    if (!preview->bodyTextView() || !waitForLoad(preview->bodyTextView())) {
        std::fprintf(stderr, "the first page did not load\n");
        return 1;
    }

    QList<double> build;
    QList<double> ready;
    qint64 built = 0;
    QElapsedTimer timer;
    QObject::connect(preview, &PreviewTab::pageShown, preview, [&] { built = timer.nsecsElapsed(); });
    for (int i = 0; i < steps; ++i) {
        timer.start();
        preview->nextMessage();
        if (!waitForLoad(preview->bodyTextView())) {
            std::fprintf(stderr, "step %d did not load\n", i);
            return 1;
        }
        build.append(double(built) / 1e6);
        ready.append(double(timer.nsecsElapsed()) / 1e6);
    }
    const double longestBuild = *std::max_element(build.begin(), build.end());
    const double longestReady = *std::max_element(ready.begin(), ready.end());
    std::printf("%d rows, %d steps: page built in %.1f ms (median), %.1f ms (longest); ready in %.1f ms (median), "
                "%.1f ms (longest)\n",
                rows, steps, median(build), longestBuild, median(ready), longestReady);
    std::printf("RESULT preview %d %d %.2f %.2f %.2f %.2f\n", rows, steps, median(build), longestBuild, median(ready),
                longestReady);
    return 0;
}
