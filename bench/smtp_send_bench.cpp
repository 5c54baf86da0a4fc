// Messages per second through the SMTP client: N personalised messages
// (plain text and HTML, about 4 KB each) built with MailMessage and sent
// over one connection, as a send run does, to an SMTP server on loopback
// that takes everything (run-smtp-bench.sh starts Postfix's smtp-sink).
//
// Usage: smtp_send_bench [messages [port [host]]]   (2000, 2526, 127.0.0.1)
// The last line, "RESULT corvantiline <messages> <bytes per message>
// <seconds>", is read by run-smtp-bench.sh.

#include "MailHelper.h"
#include "MailMessage.h"
#include "SMTPMail.h"

#include <QCoreApplication>
#include <QElapsedTimer>

#include <cstdio>
#include <cstdlib>

namespace {

// The same texts as bench/peers/send.py and send.js, so that every client
// sends messages of the same size.
const char Paragraph[] =
    "Thank you for your order of last week. We are glad to tell you that all items have been packed "
    "and handed to the carrier this morning; you will receive a separate notice with the tracking "
    "number as soon as the parcel is scanned at the first depot. Should anything be missing or "
    "damaged on arrival, please reply to this message within fourteen days and we will send a "
    "replacement at no cost. Our opening hours remain Monday to Friday from nine to six, and on "
    "Saturdays from ten to two. ";

const char *const FirstNames[] = {"Anna", "Bernd", "Clara", "David", "Eva", "Frank", "Gina", "Hugo"};
const char *const LastNames[] = {"Meyer", "Schulz", "Fischer", "Weber", "Wagner", "Becker", "Hoffmann"};

struct Recipient {
    QString name;
    QString address;
    int number;
};

Recipient recipient(int i)
{
    const QString first = FirstNames[i % 8];
    const QString last = LastNames[i % 7];
    return {first + ' ' + last, QString("%1.%2.%3@dest.example").arg(first.toLower(), last.toLower()).arg(i), i};
}

MailMessage personalised(const Recipient &r)
{
    const QString paragraph = QString::fromLatin1(Paragraph);
    MailMessage message;
    message.setFrom("Example Shop <shop@test.example>");
    message.setTo(r.name + " <" + r.address + ">");
    message.setSubject(QString("Your order %1 is on its way, %2").arg(r.number).arg(r.name));
    message.setMessageID(MailHelper::createMessageID("bench", "test.example"));
    message.setPriority(3);
    message.setPlainBody(QString("Dear %1,\n\n%2\n\n%2\n\n%2\n\nYour customer number is %3.\n\nKind regards\nExample Shop\n")
                             .arg(r.name, paragraph)
                             .arg(r.number));
    message.setFormattedBody(QString("<html><body><p>Dear <b>%1</b>,</p>\n<p>%2</p>\n<p>%2</p>\n<p>%2</p>\n"
                                     "<p>Your customer number is <b>%3</b>.</p>\n<p>Kind regards<br>Example Shop</p>"
                                     "</body></html>\n")
                                 .arg(r.name, paragraph)
                                 .arg(r.number));
    return message;
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    const int count = argc > 1 ? std::atoi(argv[1]) : 2000;
    const QString port = argc > 2 ? QString::fromLocal8Bit(argv[2]) : QStringLiteral("2526");
    const QString host = argc > 3 ? QString::fromLocal8Bit(argv[3]) : QStringLiteral("127.0.0.1");
    if (count <= 0) {
        std::fprintf(stderr, "usage: smtp_send_bench [messages [port [host]]]\n");
        return 2;
    }

    SMTPMail mail;
    mail.setServer(host);
    mail.setPort(port);
    mail.setTimeout(30);
    mail.setEncryption(0);
    mail.setAuthentication(0);

    QElapsedTimer total;
    total.start();
    if (const int result = mail.connect()) {
        std::fprintf(stderr, "connect failed: %s\n", qPrintable(mail.getErrorDesc(result)));
        return 1;
    }
    qint64 bytes = 0;
    qint64 buildNs = 0;
    for (int i = 0; i < count; ++i) {
        QElapsedTimer build;
        build.start();
        const MailMessage message = personalised(recipient(i));
        // What sendMailMessage does, with the text kept for its size.
        const QString text = message.mailSMTPData();
        buildNs += build.nsecsElapsed();
        bytes += text.size();
        if (const int result = mail.sendMessage(text, message.from(), message.to(), message.bcc())) {
            std::fprintf(stderr, "message %d failed: %s\n", i, qPrintable(mail.getErrorDesc(result)));
            return 1;
        }
    }
    mail.disconnect();
    const double seconds = double(total.nsecsElapsed()) / 1e9;

    std::printf("%d messages of %lld bytes on average in %.3f s: %.0f msg/s (building them: %.3f s)\n", count,
                bytes / count, seconds, count / seconds, double(buildNs) / 1e9);
    std::printf("RESULT corvantiline %d %lld %.6f\n", count, bytes / count, seconds);
    return 0;
}
