// A send run from the window: the send sheet, the confirmation (answered
// by its remembered yes), the run controller with its progress sheet, the
// log tab and the log file, sending the reference message of
// whole_send_bench (field tags, conditions, an inline picture, a 50 KB
// attachment) to an SMTP server on loopback that takes everything
// (run-send-window-bench.sh starts smtp-sink). The window is shown on the
// offscreen platform and painted as it would be on a screen; the longest
// time between two paints while the run goes on is measured.
//
// Usage: send_window_bench DIR [rows [messages [port [--no-log]]]]
//            (100000, 100000, 2526) the fixtures of whole_send_bench
//            --fixtures DIR; the rows after the first MESSAGES are switched
//            off; --no-log: the same run with no log tab to write to
//        send_window_bench --log LINES
//            LINES log lines through the log tab at one display tick per
//            50 lines, with the view painted at each tick
// The last line is "RESULT window <messages> <seconds> <peak RSS KiB>
// <longest paint gap ms> <paints>" ("window-without-log" for --no-log),
// or "RESULT log <lines> <seconds>".

#include "BenchFixtures.h"
#include "OffscreenApplication.h"

#include "CheckSheetModel.h"
#include "DocumentWindow.h"
#include "LogTab.h"
#include "MyDocument.h"
#include "SendMailsUIHandler.h"
#include "SendMailsWindow.h"

#include "AttachmentManager.h"
#include "MailDispatcher.h"
#include "Settings.h"
#include "StaticAttachment.h"
#include "UserDefaults.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>

#include <algorithm>
#include <cstdio>
#include <cstdlib>

using namespace BenchFixtures;

namespace {

double threadCpuSeconds()
{
    timespec now{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
    return double(now.tv_sec) + double(now.tv_nsec) / 1e9;
}

// Notes when anything is painted.
class PaintClock : public QObject {
public:
    explicit PaintClock(const QElapsedTimer &clock) : m_clock(clock) {}
    void start()
    {
        m_running = true;
        m_last = m_clock.nsecsElapsed();
    }
    void stop()
    {
        m_longest = std::max(m_longest, m_clock.nsecsElapsed() - m_last);
        m_running = false;
    }
    [[nodiscard]] double longestGapMs() const { return double(m_longest) / 1e6; }
    [[nodiscard]] int paints() const { return m_paints; }

protected:
    bool eventFilter(QObject *object, QEvent *event) override
    {
        if (m_running && event->type() == QEvent::Paint) {
            const qint64 now = m_clock.nsecsElapsed();
            m_longest = std::max(m_longest, now - m_last);
            m_last = now;
            ++m_paints;
        }
        return QObject::eventFilter(object, event);
    }

private:
    const QElapsedTimer &m_clock;
    bool m_running = false;
    qint64 m_last = 0;
    qint64 m_longest = 0;
    int m_paints = 0;
};

constexpr int LinesPerFlush = 300;

int logOnly(int lines)
{
    LogTab log;
    log.resize(700, 500);
    log.show();
    QCoreApplication::processEvents();
    QElapsedTimer timer;
    timer.start();
    log.clearLog();
    log.startLog();
    for (int i = 0; i < lines; ++i) {
        log.sentMailTo(QStringLiteral("person%1@example.com").arg(i), i + 1);
        if (i % LinesPerFlush == LinesPerFlush - 1) {
            log.flush();
            QCoreApplication::processEvents();
        }
    }
    log.doneMessage();
    log.flush();
    QCoreApplication::processEvents();
    const double seconds = double(timer.nsecsElapsed()) / 1e9;
    std::printf("%d log lines in %.3f s\n", lines, seconds);
    std::printf("RESULT log %d %.6f\n", lines, seconds);
    return 0;
}

} // namespace

int main(int argc, char **argv)
{
    OffscreenApplication app(argc, argv);
    if (argc > 2 && QByteArray(argv[1]) == "--log")
        return logOnly(std::max(1, std::atoi(argv[2])));
    if (argc < 2) {
        std::fprintf(stderr, "usage: send_window_bench DIR [rows [messages [port]]]\n"
                             "       send_window_bench --log LINES\n");
        return 2;
    }
    const QDir dir(QString::fromLocal8Bit(argv[1]));
    const int rows = argc > 2 ? std::max(1, std::atoi(argv[2])) : 100000;
    const int messages = std::min(rows, argc > 3 ? std::max(1, std::atoi(argv[3])) : 100000);
    const QString port = argc > 4 ? QString::fromLocal8Bit(argv[4]) : QStringLiteral("2526");
    const bool withLog = !(argc > 5 && QByteArray(argv[5]) == "--no-log");
    if (!QFile::exists(dir.filePath("logo.png")) || !QFile::exists(dir.filePath("attachment.bin"))) {
        std::fprintf(stderr, "no fixtures in %s; run whole_send_bench --fixtures first\n", qPrintable(dir.path()));
        return 2;
    }

    Settings::setWriteLogFile(true);
    Settings::setMaxErrorsWhileSending(0);
    Settings::setAccountArray({QVariantMap{
        {AccountKeys::AccountType, AccountTypes::Smtp},
        {AccountKeys::AccountName, QStringLiteral("bench")},
        {AccountKeys::MailFromAddress, QStringLiteral("Example Trading <news@test.example>")},
        {AccountKeys::SmtpServer, QStringLiteral("127.0.0.1")},
        {AccountKeys::SmtpPort, port},
        {AccountKeys::SmtpAuthType, QStringLiteral("0")},
        {AccountKeys::UseSSL, QStringLiteral("0")},
        {AccountKeys::UseTLS, QStringLiteral("0")},
        {AccountKeys::DelayEnabled, QStringLiteral("0")},
    }});
    Settings::setLastSelectedAccount(0);
    // The confirmation answers yes by itself, as after "do not ask again".
    UserDefaults::standardUserDefaults().setInteger(0, CheckSheetModel::defaultsKey(
                                                           SendMailsUIHandler::ConfirmationSheetName));

    MyDocument document;
    document.setCreateDefaultDoc(false);
    document.showWindows();
    Database &table = document.database();
    fillTable(table, rows);
    table.setAddressFieldNo(Database::columnIndexFromIdentifier(table.fieldNameColumnIDMapping().value("Email")));
    for (int row = messages; row < rows; ++row)
        table.setEntryState(row, false);
    table.postUpdatedNotification();
    document.messageTab().setMode(MessageMode::Formatted);
    document.messageTab().setSubjectText(referenceSubject());
    document.messageTab().setBodyText(referenceBody(dir.filePath("logo.png")));
    document.attachmentManager().addAttachment(std::make_shared<StaticAttachment>(dir.filePath("attachment.bin")));
    QCoreApplication::processEvents();
    const long setupKiB = peakRssKiB();

    SendMailsUIHandler *handler = document.sendUIHandler();
    if (!withLog)
        handler->setLogTab(nullptr);
    QElapsedTimer clock;
    clock.start();
    PaintClock paints(clock);
    app.installEventFilter(&paints);
    QObject::connect(handler, &SendMailsUIHandler::sendingChanged, &app, [&](bool sending) {
        if (!sending)
            QCoreApplication::quit();
    });

    const qint64 start = clock.nsecsElapsed();
    const double cpuStart = cpuSeconds();
    const double mainCpuStart = threadCpuSeconds();
    handler->initiateSend();
    SendMailsWindow *sheet = handler->sendWindow();
    if (!sheet) {
        std::fprintf(stderr, "no send sheet\n");
        return 1;
    }
    sheet->okClicked();
    if (!handler->isSending()) {
        std::fprintf(stderr, "the run did not start\n");
        return 1;
    }
    paints.start();
    app.exec();
    paints.stop();
    const double seconds = double(clock.nsecsElapsed() - start) / 1e9;
    const double cpu = cpuSeconds() - cpuStart;
    const double mainCpu = threadCpuSeconds() - mainCpuStart;
    MailDispatcher::abortAndJoinAll();

    // Every row sent shows as a stamp.
    int stamped = 0;
    for (int row = 0; row < messages; ++row)
        stamped += document.database().lastSentDate(row).isValid() ? 1 : 0;
    if (stamped != messages) {
        std::fprintf(stderr, "run failed: %d of %d rows stamped\n", stamped, messages);
        return 1;
    }
    const long peakKiB = peakRssKiB();
    std::printf("%d rows, %d messages through the window in %.3f s: %.0f msg/s (%.0f per CPU second, %.3f s on "
                "the main thread); longest time between paints %.1f ms (%d paints); peak RSS after setup %ld KiB, at "
                "the end %ld KiB\n",
                rows, messages, seconds, messages / seconds, messages / cpu, mainCpu, paints.longestGapMs(),
                paints.paints(), setupKiB, peakKiB);
    std::printf("RESULT %s %d %.6f %ld %.1f %d\n", withLog ? "window" : "window-without-log", messages, seconds,
                peakKiB, paints.longestGapMs(), paints.paints());
    return 0;
}
