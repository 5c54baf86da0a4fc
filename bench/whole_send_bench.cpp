// The whole send path: a send run of the real engine (MailDispatcher with
// an "smtp" account, the message as a MessageTab, a static attachment, the
// recipient table) against an SMTP server on loopback that takes everything
// (run-send-bench.sh starts Postfix's smtp-sink). Each message carries the
// personalised subject, plain text and HTML of the reference message, its
// inline picture and a 50 KB attachment, all over one connection.
//
// Usage: whole_send_bench DIR [rows [messages [port [host]]]]
//            (100000 rows, 10000 messages, 2526, 127.0.0.1)
//        whole_send_bench --fixtures DIR [messages]
// The first form reads DIR/logo.png and DIR/attachment.bin; the second
// writes them, with the first rows as DIR/rows.csv and the message as
// templates with {{Field}} placeholders, for the peers in peers/.
// The last line, "RESULT corvantiline <messages> <bytes per message>
// <seconds> <peak RSS KiB>", is read by run-send-bench.sh.

#include "BenchFixtures.h"

#include "AttachmentManager.h"
#include "MailDispatcher.h"
#include "MessageTab.h"
#include "Personalizer.h"
#include "Settings.h"
#include "StaticAttachment.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QImage>

#include <algorithm>
#include <cstdio>
#include <cstdlib>

using namespace BenchFixtures;

namespace {

constexpr int AttachmentBytes = 50 * 1024;

bool writeFile(const QString &path, const QByteArray &data)
{
    QFile file(path);
    return file.open(QIODevice::WriteOnly | QIODevice::Truncate) && file.write(data) == data.size();
}

QString csvField(const QString &value)
{
    if (!value.contains(QLatin1Char(',')) && !value.contains(QLatin1Char('"')))
        return value;
    return QLatin1Char('"') + QString(value).replace(QLatin1String("\""), QLatin1String("\"\"")) + QLatin1Char('"');
}

int writeFixtures(const QString &dirPath, int messages)
{
    QDir().mkpath(dirPath);
    const QDir dir(dirPath);
    QImage logo(64, 32, QImage::Format_RGB32);
    logo.fill(QColor(30, 90, 160));
    QByteArray attachment(AttachmentBytes, Qt::Uninitialized);
    // Bytes that do not compress, as a real document's would not.
    quint32 state = 12345;
    for (char &byte : attachment) {
        state = state * 1103515245u + 12345u;
        byte = char(state >> 24);
    }
    QByteArray csv = FieldNames.join(QLatin1Char(',')).toUtf8() + '\n';
    for (int row = 0; row < messages; ++row) {
        QStringList fields;
        for (const QString &value : rowValues(row))
            fields.append(csvField(value));
        csv += fields.join(QLatin1Char(',')).toUtf8() + '\n';
    }

    // The message with every tag a placeholder: the peers fill in fields
    // and the two conditions themselves.
    Database placeholders;
    QVariantMap entry;
    for (const QString &name : FieldNames + QStringList{"Greeting", "Region"})
        entry.insert(placeholders.addField(name), "{{" + name + "}}");
    placeholders.setEntryArray(QList<QVariantMap>{entry});
    MessageTab tab;
    tab.setMode(MessageMode::Formatted);
    tab.setSubjectText(referenceSubject());
    tab.setBodyText(referenceBody(dir.filePath("logo.png"), true));
    Personalizer personalizer(placeholders);
    personalizer.setAddressNumber(0);
    personalizer.setUseLocalPath(false);
    personalizer.setMessageId(QStringLiteral("{{MessageID}}"));
    const MessageSnapshotRef snapshot = tab.snapshot();
    const QString subject
        = AttributedTagString::taglessString(personalizer.personalizeAttributedString(snapshot->subjectString()));

    if (!logo.save(dir.filePath("logo.png")) || !writeFile(dir.filePath("attachment.bin"), attachment)
        || !writeFile(dir.filePath("rows.csv"), csv) || !writeFile(dir.filePath("subject.txt"), subject.toUtf8())
        || !writeFile(dir.filePath("template.txt"), snapshot->plainTextStringWithPersonalizer(personalizer).toUtf8())
        || !writeFile(dir.filePath("template.html"),
                      snapshot->htmlTextStringWithFullPath(false, QStringLiteral("{{MessageID}}"), personalizer)
                          .toUtf8())) {
        std::fprintf(stderr, "cannot write the fixtures in %s\n", qPrintable(dirPath));
        return 1;
    }
    return 0;
}

// Counts the messages, stops the run after the last one wanted and ends
// the event loop when the run is done.
class Delegate final : public MailDispatcherDelegate {
public:
    explicit Delegate(int wanted)
        : m_wanted(wanted)
    {
    }
    void setDispatcher(MailDispatcher *dispatcher) { m_dispatcher = dispatcher; }
    void updateProgress(std::unique_ptr<MailDispatcherStatus> status) override
    {
        switch (status->state()) {
        case MailDispatcherStatus::MailSent:
            m_sent = status->sentMailsCounter();
            if (m_sent == m_wanted)
                m_dispatcher->abort();
            break;
        case MailDispatcherStatus::Error:
            if (status->errorCode() != MailDispatcher::ErrorAborted || m_sent != m_wanted) {
                m_error = status->errorInfo();
                m_failed = true;
            }
            break;
        case MailDispatcherStatus::Done:
            QCoreApplication::quit();
            break;
        default:
            break;
        }
    }
    [[nodiscard]] int sent() const { return m_sent; }
    [[nodiscard]] bool failed() const { return m_failed; }
    [[nodiscard]] const QString &error() const { return m_error; }

private:
    MailDispatcher *m_dispatcher = nullptr;
    int m_wanted;
    int m_sent = 0;
    bool m_failed = false;
    QString m_error;
};

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    if (argc > 2 && QByteArray(argv[1]) == "--fixtures")
        return writeFixtures(QString::fromLocal8Bit(argv[2]), argc > 3 ? std::max(1, std::atoi(argv[3])) : 10000);
    if (argc < 2) {
        std::fprintf(stderr, "usage: whole_send_bench DIR [rows [messages [port [host]]]]\n"
                             "       whole_send_bench --fixtures DIR [messages]\n");
        return 2;
    }
    const QDir dir(QString::fromLocal8Bit(argv[1]));
    const int rows = argc > 2 ? std::max(1, std::atoi(argv[2])) : 100000;
    const int messages = std::min(rows, argc > 3 ? std::max(1, std::atoi(argv[3])) : 10000);
    const QString port = argc > 4 ? QString::fromLocal8Bit(argv[4]) : QStringLiteral("2526");
    const QString host = argc > 5 ? QString::fromLocal8Bit(argv[5]) : QStringLiteral("127.0.0.1");
    if (!QFile::exists(dir.filePath("logo.png")) || !QFile::exists(dir.filePath("attachment.bin"))) {
        std::fprintf(stderr, "no fixtures in %s; run with --fixtures first\n", qPrintable(dir.path()));
        return 2;
    }

    Database table;
    fillTable(table, rows);
    table.setAddressFieldNo(Database::columnIndexFromIdentifier(table.fieldNameColumnIDMapping().value("Email")));
    MessageTab tab;
    tab.setMode(MessageMode::Formatted);
    tab.setSubjectText(referenceSubject());
    tab.setBodyText(referenceBody(dir.filePath("logo.png")));
    AttachmentManager attachments;
    attachments.addAttachment(std::make_shared<StaticAttachment>(dir.filePath("attachment.bin")));
    const long setupKiB = peakRssKiB();

    const QVariantMap account = {
        {AccountKeys::AccountType, AccountTypes::Smtp},
        {AccountKeys::AccountName, QStringLiteral("bench")},
        {AccountKeys::MailFromAddress, QStringLiteral("Example Trading <news@test.example>")},
        {AccountKeys::SmtpServer, host},
        {AccountKeys::SmtpPort, port},
        {AccountKeys::SmtpAuthType, QStringLiteral("0")},
        {AccountKeys::UseSSL, QStringLiteral("0")},
        {AccountKeys::UseTLS, QStringLiteral("0")},
        {AccountKeys::DelayEnabled, QStringLiteral("0")},
    };
    Delegate delegate(messages);
    const auto dispatcher = MailDispatcher::create();
    delegate.setDispatcher(dispatcher.get());
    dispatcher->setDelegate(&delegate);
    dispatcher->setDatabase(&table);
    dispatcher->setMessage(&tab);
    dispatcher->setAttachmentManager(&attachments);
    dispatcher->setAccountData(account);

    QElapsedTimer timer;
    timer.start();
    const double cpuStart = cpuSeconds();
    dispatcher->send();
    app.exec();
    const double seconds = double(timer.nsecsElapsed()) / 1e9;
    const double cpu = cpuSeconds() - cpuStart;
    MailDispatcher::abortAndJoinAll();
    if (delegate.failed() || delegate.sent() != messages) {
        std::fprintf(stderr, "run failed after %d messages: %s\n", delegate.sent(), qPrintable(delegate.error()));
        return 1;
    }
    const long peakKiB = peakRssKiB();
    std::printf("%d rows, %d messages in %.3f s: %.0f msg/s (%.0f per CPU second, both threads); "
                "peak RSS after setup %ld KiB, at the end %ld KiB\n",
                rows, messages, seconds, messages / seconds, messages / cpu, setupKiB, peakKiB);
    std::printf("RESULT corvantiline %d 0 %.6f %ld\n", messages, seconds, peakKiB);
    return 0;
}
