// The SMTP client against a scripted server on a loopback socket: the
// replies a real server will not give on demand, and the exact bytes the
// client sends.
#include "SMTPMail.h"

#include <gtest/gtest.h>

#include <QElapsedTimer>

#include <arpa/inet.h>
#include <atomic>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <thread>
#include <unistd.h>

namespace {

// One connection, one script. Every line the client sends is recorded;
// after the script the server keeps reading until the client closes.
class ScriptedServer {
public:
    struct Step {
        enum Kind { Send, ReadLine, ReadData, Pause, Close, Flood } kind;
        QByteArray text;
        int count = 0;
    };

    ScriptedServer &send(const QByteArray &text) { return add({Step::Send, text}); }
    // Reads the client's next line, then answers.
    ScriptedServer &on(const QByteArray &reply) { return add({Step::ReadLine, {}}).send(reply); }
    ScriptedServer &readLine() { return add({Step::ReadLine, {}}); }
    ScriptedServer &readData() { return add({Step::ReadData, {}}); }
    ScriptedServer &pause(int ms) { return add({Step::Pause, {}, ms}); }
    ScriptedServer &close() { return add({Step::Close, {}}); }
    ScriptedServer &flood(const QByteArray &line, int times) { return add({Step::Flood, line, times}); }
    // A greeting and a 250 to EHLO that offers the given keywords.
    ScriptedServer &hello(const QByteArray &keywords = "AUTH PLAIN LOGIN")
    {
        return send("220 fake.test ESMTP\r\n").on("250-fake.test\r\n250-" + keywords + "\r\n250 8BITMIME\r\n");
    }

    ScriptedServer()
    {
        m_listener = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t length = sizeof address;
        if (::bind(m_listener, reinterpret_cast<sockaddr *>(&address), length) != 0 || ::listen(m_listener, 1) != 0
            || ::getsockname(m_listener, reinterpret_cast<sockaddr *>(&address), &length) != 0)
            ADD_FAILURE() << "no loopback listener";
        m_port = ntohs(address.sin_port);
    }
    ~ScriptedServer()
    {
        finish();
        ::close(m_listener);
    }

    void start() { m_thread = std::thread([this] { run(); }); }
    // Waits until the client has closed (or the server gave up waiting).
    void finish()
    {
        if (m_thread.joinable())
            m_thread.join();
    }
    QString port() const { return QString::number(m_port); }
    const QList<QByteArray> &lines() const { return m_lines; }
    const QByteArray &data() const { return m_data; }
    bool sawCommand(const QByteArray &prefix) const
    {
        for (const QByteArray &line : m_lines) {
            if (line.startsWith(prefix))
                return true;
        }
        return false;
    }

private:
    ScriptedServer &add(Step step)
    {
        m_script.push_back(std::move(step));
        return *this;
    }

    // Waits for bytes from the client; false on time-out or when it closed.
    bool fill(int timeoutMs, bool *closed = nullptr)
    {
        pollfd p{m_client, POLLIN, 0};
        if (::poll(&p, 1, timeoutMs) <= 0)
            return false;
        char buffer[4096];
        const ssize_t n = ::recv(m_client, buffer, sizeof buffer, 0);
        if (n <= 0) {
            if (closed)
                *closed = true;
            return false;
        }
        m_in.append(buffer, n);
        return true;
    }
    bool takeLine()
    {
        qsizetype end;
        while ((end = m_in.indexOf("\r\n")) < 0) {
            if (!fill(10000))
                return false;
        }
        m_lines.append(m_in.left(end));
        m_in.remove(0, end + 2);
        return true;
    }
    bool sendAll(const QByteArray &bytes)
    {
        qsizetype done = 0;
        while (done < bytes.size()) {
            const ssize_t n = ::send(m_client, bytes.constData() + done, size_t(bytes.size() - done), MSG_NOSIGNAL);
            if (n <= 0)
                return false;
            done += n;
        }
        return true;
    }

    void run()
    {
        pollfd p{m_listener, POLLIN, 0};
        if (::poll(&p, 1, 10000) <= 0)
            return;
        m_client = ::accept4(m_listener, nullptr, nullptr, SOCK_CLOEXEC);
        if (m_client < 0)
            return;
        timeval sendLimit{5, 0};
        ::setsockopt(m_client, SOL_SOCKET, SO_SNDTIMEO, &sendLimit, sizeof sendLimit);
        bool alive = true;
        for (const Step &step : m_script) {
            if (!alive)
                break;
            switch (step.kind) {
            case Step::Send:
                alive = sendAll(step.text);
                break;
            case Step::ReadLine:
                alive = takeLine();
                break;
            case Step::ReadData: {
                qsizetype end;
                while ((end = m_in.indexOf("\r\n.\r\n")) < 0 && (alive = fill(10000)))
                    ;
                if (alive) {
                    m_data = m_in.left(end + 5);
                    m_in.remove(0, end + 5);
                }
                break;
            }
            case Step::Pause: {
                // Ends early when the client goes away.
                QElapsedTimer timer;
                timer.start();
                bool closed = false;
                while (!closed && timer.elapsed() < step.count)
                    fill(int(step.count - timer.elapsed()), &closed);
                alive = !closed;
                break;
            }
            case Step::Close:
                alive = false;
                break;
            case Step::Flood:
                for (int i = 0; i < step.count && alive; ++i)
                    alive = sendAll(step.text);
                break;
            }
        }
        if (alive) {
            QElapsedTimer timer;
            timer.start();
            while (timer.elapsed() < 5000 && fill(5000)) {
                while (m_in.contains("\r\n"))
                    takeLine();
            }
        }
        ::close(m_client);
    }

    int m_listener = -1;
    int m_client = -1;
    uint16_t m_port = 0;
    std::vector<Step> m_script;
    std::thread m_thread;
    QByteArray m_in;
    QList<QByteArray> m_lines;
    QByteArray m_data;
};

// Says stop once armed and asked `after` more times.
class CancellingDelegate : public SmtpProgressDelegate {
public:
    bool lineReaderHandleEvent(LineReader &, int) override { return cancelWhileSending || !countDown(); }
    bool sentBytesInfo(int sent, int) override
    {
        lastSent = sent;
        return !(cancelWhileSending && countDown());
    }
    void arm(int after) { remaining = after; }
    bool countDown()
    {
        if (remaining < 0)
            return false;
        return remaining-- == 0 || remaining < 0;
    }
    int remaining = -1;
    bool cancelWhileSending = false;
    int lastSent = 0;
};

void configure(SMTPMail &mail, const ScriptedServer &server, int encryption = 0)
{
    mail.setServer("127.0.0.1");
    mail.setPort(server.port());
    mail.setTimeout(5);
    mail.setEncryption(encryption);
}

QList<QByteArray> withoutEhlo(QList<QByteArray> lines)
{
    lines.removeIf([](const QByteArray &line) { return line.startsWith("EHLO "); });
    return lines;
}

} // namespace

TEST(SmtpClient, SendsOneMessageWithPlainAuthDotStuffingAndQuit)
{
    ScriptedServer server;
    server.hello("AUTH PLAIN LOGIN")
        .on("235 2.7.0 ok\r\n")
        .on("250 2.1.0 ok\r\n")
        .on("250 2.1.5 ok\r\n")
        .on("250 2.1.5 ok\r\n")
        .on("250 2.1.5 ok\r\n")
        .on("354 go ahead\r\n")
        .readData()
        .send("250 2.0.0 queued\r\n");
    server.start();
    {
        SMTPMail mail;
        configure(mail, server);
        mail.setAuthentication(1);
        mail.setLogin("jörg@test.example");
        mail.setPassword("pässwörd");
        mail.setPassword(QString()); // ignored
        ASSERT_EQ(mail.connect(), 0) << mail.getErrorDesc(-99).toStdString();
        EXPECT_TRUE(mail.isConnected());
        EXPECT_EQ(mail.session().auth_mechanisms, SMTP_Session::AuthPlain | SMTP_Session::AuthLogin);
        EXPECT_EQ(mail.sendMessage("Subject: x\n\n.leading dot\r\n..two\rlast line without end",
                                   "Ann Example <ann@example.org>", "\"Doe, John\" <j@x.org>, b@y.org",
                                   {"c@z.org"}),
                  0);
        EXPECT_EQ(mail.disconnect(), 0);
        EXPECT_FALSE(mail.isConnected());
    }
    server.finish();
    const QByteArray credential = QByteArray("\0jörg@test.example\0pässwörd", 1 + 18 + 1 + 10);
    EXPECT_EQ(server.lines(),
              QList<QByteArray>({server.lines().value(0), "AUTH PLAIN " + credential.toBase64(),
                                 "MAIL FROM:<ann@example.org>", "RCPT TO:<j@x.org>", "RCPT TO:<b@y.org>",
                                 "RCPT TO:<c@z.org>", "DATA", "QUIT"}));
    EXPECT_TRUE(server.lines().value(0).startsWith("EHLO "));
    EXPECT_EQ(server.data(), "Subject: x\r\n\r\n..leading dot\r\n...two\r\nlast line without end\r\n.\r\n");
}

TEST(SmtpClient, LoginMechanismAndServersWithoutAuth)
{
    ScriptedServer login;
    login.hello("AUTH=LOGIN").on("334 VXNlcm5hbWU6\r\n").on("334 UGFzc3dvcmQ6\r\n").on("235 ok\r\n");
    login.start();
    {
        SMTPMail mail;
        configure(mail, login);
        mail.setAuthentication(2);
        mail.setLogin("tester");
        mail.setPassword("gëheim");
        ASSERT_EQ(mail.connect(), 0);
        EXPECT_EQ(mail.session().auth_mechanisms, SMTP_Session::AuthLogin);
    }
    login.finish();
    EXPECT_EQ(withoutEhlo(login.lines()),
              QList<QByteArray>({"AUTH LOGIN", "dGVzdGVy", QString("gëheim").toUtf8().toBase64(), "QUIT"}));

    // Nothing offered: the connect succeeds without AUTH.
    ScriptedServer none;
    none.hello("SIZE 1000");
    none.start();
    {
        SMTPMail mail;
        configure(mail, none);
        mail.setAuthentication(1);
        mail.setLogin("tester");
        mail.setPassword("secret");
        EXPECT_EQ(mail.connect(), 0);
        EXPECT_EQ(mail.session().auth_mechanisms, 0);
    }
    none.finish();
    EXPECT_EQ(withoutEhlo(none.lines()), QList<QByteArray>({"QUIT"}));

    // Asked to authenticate without a password: 12 before any AUTH.
    ScriptedServer noPassword;
    noPassword.hello();
    noPassword.start();
    SMTPMail mail;
    configure(mail, noPassword);
    mail.setAuthentication(1);
    mail.setLogin("tester");
    EXPECT_EQ(mail.connect(), 12);
    EXPECT_FALSE(mail.isConnected());
    noPassword.finish();
    EXPECT_FALSE(noPassword.sawCommand("AUTH"));
}

TEST(SmtpClient, ReplyCodesOfEachStage)
{
    struct Row {
        const char *name;
        std::function<void(ScriptedServer &)> script;
        int connectResult;
        int sendResult; // when the connect succeeded
        const char *notSent;
    };
    const QByteArray ok = "250 ok\r\n";
    const Row rows[] = {
        {"greeting 554", [](ScriptedServer &s) { s.send("554 go away\r\n"); }, 5, 0, "EHLO"},
        {"EHLO 502, no HELO", [](ScriptedServer &s) { s.send("220 hi\r\n").on("502 no\r\n"); }, 7, 0, "HELO"},
        {"AUTH PLAIN 503", [](ScriptedServer &s) { s.hello().on("503 already\r\n"); }, 13, 0, "MAIL"},
        {"AUTH PLAIN 535", [](ScriptedServer &s) { s.hello().on("535 bad\r\n"); }, 12, 0, "QUIT"},
        {"AUTH LOGIN 235 too early", [](ScriptedServer &s) { s.hello("AUTH LOGIN").on("235 ok\r\n"); }, 12, 0,
         "dGVzdGVy"},
        {"MAIL FROM 451", [](ScriptedServer &s) { s.hello("SIZE").on("451 later\r\n"); }, 0, 14, "RCPT"},
        {"RCPT 550", [ok](ScriptedServer &s) { s.hello("SIZE").on(ok).on("550 unknown\r\n"); }, 0, 15, "DATA"},
        {"RCPT 450", [ok](ScriptedServer &s) { s.hello("SIZE").on(ok).on("450 busy\r\n"); }, 0, 8, "DATA"},
        {"DATA 554", [ok](ScriptedServer &s) { s.hello("SIZE").on(ok).on(ok).on("554 no\r\n"); }, 0, 9, "."},
        {"end 552",
         [ok](ScriptedServer &s) {
             s.hello("SIZE").on(ok).on(ok).on("354 go\r\n").readData().send("552 too big\r\n");
         },
         0, 10, ""},
    };
    for (const Row &row : rows) {
        SCOPED_TRACE(row.name);
        ScriptedServer server;
        row.script(server);
        server.start();
        {
            SMTPMail mail;
            configure(mail, server);
            mail.setAuthentication(1);
            mail.setLogin("tester");
            mail.setPassword("secret");
            const int connected = mail.connect();
            EXPECT_EQ(connected, row.connectResult) << mail.getErrorDesc(connected).toStdString();
            EXPECT_EQ(mail.isConnected(), connected == 0);
            if (connected == 0) {
                EXPECT_EQ(mail.sendMessage("text", "a@x.org", "b@y.org", {}), row.sendResult);
            } else {
                EXPECT_FALSE(mail.session().lineReader) << "a failed connect closes the streams";
            }
        }
        server.finish();
        if (*row.notSent) {
            EXPECT_FALSE(server.sawCommand(row.notSent));
        }
    }
}

TEST(SmtpClient, RepliesAreReadWholeAndBounded)
{
    struct Row {
        const char *name;
        QByteArray ehloReply;
        int result;
        int replyCode;
    };
    const QByteArray longLine = "250-" + QByteArray(300, 'x') + "\r\n";
    const Row rows[] = {
        {"three-digit last line", "250-fake\r\n250\r\n", 0, 250},
        {"letters in the code", "250-fake\r\n2x0 odd\r\n", 7, -1},
        {"four digits", "250-fake\r\n2500 odd\r\n", 7, -1},
        {"code 000", "000 odd\r\n", 7, -1},
        {"no separator", "250fake\r\n", 7, -1},
        {"reply longer than the buffer", longLine.repeated(20) + "250 SIZE\r\n", 0, 250},
    };
    for (const Row &row : rows) {
        SCOPED_TRACE(row.name);
        ScriptedServer server;
        server.send("220 fake\r\n").on(row.ehloReply);
        server.start();
        SMTPMail mail;
        configure(mail, server);
        EXPECT_EQ(mail.connect(), row.result);
        EXPECT_EQ(mail.session().lastReplyCode, row.replyCode);
        if (row.ehloReply.size() > 4095) {
            EXPECT_EQ(strlen(mail.session().lastReply), 4095u);
            EXPECT_EQ(QByteArray(mail.session().lastReply), row.ehloReply.left(4095));
        }
        mail.disconnect();
    }

    // A server that never ends its reply, or sends one endless line, is cut
    // off instead of filling memory; a wait on either ends well before the
    // time-out.
    for (bool endlessLine : {false, true}) {
        SCOPED_TRACE(endlessLine ? "endless line" : "endless reply");
        ScriptedServer server;
        server.send("220 fake\r\n").readLine();
        if (endlessLine)
            server.send("250 ").flood(QByteArray(1024, 'y'), 200);
        else
            server.flood("250-" + QByteArray(60, 'z') + "\r\n", 5000);
        server.start();
        SMTPMail mail;
        configure(mail, server);
        mail.setTimeout(30);
        QElapsedTimer timer;
        timer.start();
        EXPECT_EQ(mail.connect(), 7);
        EXPECT_LT(timer.elapsed(), 20000);
        EXPECT_EQ(mail.session().lastReplyCode, -1);
        EXPECT_LE(strlen(mail.session().lastReply), 4095u);
    }
}

TEST(SmtpClient, UnusableEnvelopeAddressesAreRefusedBeforeAnythingIsWritten)
{
    ScriptedServer server;
    server.hello("SIZE");
    server.start();
    {
        SMTPMail mail;
        configure(mail, server);
        ASSERT_EQ(mail.connect(), 0);
        const QString good = "b@y.org";
        EXPECT_EQ(mail.sendMessage("t", "a@x.org\r\nRCPT TO:<evil@x.org>", good, {}), 1);
        EXPECT_EQ(mail.sendMessage("t", "a@x.org", good + ", c@z.org\nDATA", {}), 1);
        EXPECT_EQ(mail.sendMessage("t", "a@x.org", QString("c@z.org") + QChar(0) + "evil", {}), 1);
        EXPECT_EQ(mail.sendMessage("t", "a@x.org", good, {"d@z.org\r"}), 1);
        EXPECT_EQ(mail.sendMessage("t", "<a@x.org> SIZE=1", good, {}), 1);
        EXPECT_EQ(mail.sendMessage("t", "a@x.org", QString(501, 'a') + "@x.org", {}), 1);
        EXPECT_EQ(mail.sendMessage("t", "a@x.org", " , ", {}), 1);
    }
    server.finish();
    EXPECT_EQ(withoutEhlo(server.lines()), QList<QByteArray>({"QUIT"}));

    // Checked before any lookup or connect.
    SMTPMail mail;
    mail.setServer(QString(201, 'h'));
    mail.setPort("25");
    EXPECT_EQ(mail.connect(), 1);
    // Nothing listens on the port of a closed listener.
    uint16_t closedPort;
    {
        ScriptedServer gone;
        closedPort = uint16_t(gone.port().toInt());
    }
    mail.setServer("127.0.0.1");
    mail.setPort(QString::number(closedPort));
    mail.setTimeout(2);
    EXPECT_EQ(mail.connect(), 2);
}

TEST(SmtpClient, StartTlsIsNeverSkipped)
{
    struct Row {
        const char *name;
        std::function<void(ScriptedServer &)> script;
        const char *notSent;
    };
    const Row rows[] = {
        {"not offered", [](ScriptedServer &s) { s.hello("AUTH PLAIN"); }, "STARTTLS"},
        {"refused", [](ScriptedServer &s) { s.hello("STARTTLS").on("454 TLS not available\r\n"); }, "AUTH"},
        {"handshake fails",
         [](ScriptedServer &s) { s.hello("STARTTLS").on("220 go\r\n").pause(200).send("not TLS\r\n"); }, "AUTH"},
        {"handshake peer gone", [](ScriptedServer &s) { s.hello("STARTTLS").on("220 go\r\n").close(); }, "AUTH"},
        // Plain text pushed in behind the 220 would be taken as the first
        // reply over TLS.
        {"injected reply",
         [](ScriptedServer &s) { s.hello("STARTTLS").on("220 go\r\n250-injected\r\n250 AUTH PLAIN\r\n"); },
         "AUTH"},
    };
    for (const Row &row : rows) {
        SCOPED_TRACE(row.name);
        ScriptedServer server;
        row.script(server);
        server.start();
        {
            SMTPMail mail;
            configure(mail, server, 2);
            mail.setAuthentication(1);
            mail.setLogin("tester");
            mail.setPassword("secret");
            const int result = mail.connect();
            EXPECT_EQ(result, 17);
            EXPECT_FALSE(mail.isConnected());
            EXPECT_TRUE(mail.getErrorDesc(result).contains("Mail Error: 17"));
        }
        server.finish();
        EXPECT_FALSE(server.sawCommand(row.notSent));
    }
}

TEST(SmtpClient, CancelDuringAnyWaitGivesSixteen)
{
    // While waiting for the greeting.
    {
        ScriptedServer server;
        server.pause(3000).send("220 late\r\n");
        server.start();
        CancellingDelegate delegate;
        delegate.arm(10);
        SMTPMail mail;
        configure(mail, server);
        mail.setProgressCallback(&delegate);
        QElapsedTimer timer;
        timer.start();
        EXPECT_EQ(mail.connect(), 16);
        EXPECT_LT(timer.elapsed(), 2500);
        EXPECT_EQ(mail.getErrorDesc(16).section('\n', 0, 0), QString());
    }
    // While waiting for the reply to MAIL FROM, and while writing the text.
    for (bool whileSending : {false, true}) {
        SCOPED_TRACE(whileSending ? "text" : "reply");
        ScriptedServer server;
        server.hello("SIZE");
        if (whileSending)
            server.on("250 ok\r\n").on("250 ok\r\n").on("354 go\r\n");
        else
            server.readLine().pause(3000).send("250 late\r\n");
        server.start();
        CancellingDelegate delegate;
        SMTPMail mail;
        configure(mail, server);
        mail.setProgressCallback(&delegate);
        ASSERT_EQ(mail.connect(), 0);
        delegate.cancelWhileSending = whileSending;
        delegate.arm(whileSending ? 2 : 10);
        QElapsedTimer timer;
        timer.start();
        EXPECT_EQ(mail.sendMessage(QString(100000, 'm'), "a@x.org", "b@y.org", {}), 16);
        EXPECT_LT(timer.elapsed(), 2500);
        if (whileSending) {
            EXPECT_LT(delegate.lastSent, 100000);
        }
        EXPECT_EQ(mail.disconnect(), 0);
    }
}

TEST(SmtpClient, SilentServerTimesOut)
{
    ScriptedServer server;
    server.hello("SIZE").readLine().pause(4000);
    server.start();
    SMTPMail mail;
    configure(mail, server);
    mail.setTimeout(1);
    ASSERT_EQ(mail.connect(), 0);
    QElapsedTimer timer;
    timer.start();
    EXPECT_EQ(mail.sendTestFrom("a@x.org"), 14);
    EXPECT_GE(timer.elapsed(), 1000);
    EXPECT_LT(timer.elapsed(), 3000);
    EXPECT_EQ(mail.session().lastReplyCode, -1);
}

TEST(SmtpClient, ErrorTextNeverShowsThePassword)
{
    const QByteArray password = "s3cr3t-pässword";
    const QByteArray credential = QByteArray("\0tester\0", 8) + password;
    ScriptedServer server;
    // A server that echoes what it got, control characters included.
    server.hello().on("535-you sent " + credential.toBase64() + "\r\n535 and that is " + password + "\x1b[2J\r\n");
    server.start();
    SMTPMail mail;
    configure(mail, server);
    mail.setAuthentication(1);
    mail.setLogin("tester");
    mail.setPassword(QString::fromUtf8(password));
    EXPECT_EQ(mail.connect(), 12);
    const QString text = mail.getErrorDesc(12);
    EXPECT_FALSE(text.contains(QString::fromUtf8(password)));
    EXPECT_FALSE(text.contains(QString::fromLatin1(credential.toBase64())));
    EXPECT_FALSE(text.contains(QChar(0x1b)));
    EXPECT_TRUE(text.contains("\nMail Error: 12\nServer Reply Num: 535\nServer Reply: 535-you sent "))
        << text.toStdString();
    EXPECT_TRUE(text.endsWith("\r\n\nSystem Error: 0"));
    EXPECT_FALSE(text.startsWith("smtp_err_noauth")) << "the key has English text";
}
