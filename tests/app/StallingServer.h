#pragma once

// A willing SMTP server that holds one reply until released: before the
// first message's "354" (the client still waits to send it), after its
// data (the client waits for the verdict), or at the second message's MAIL
// command (the first message is done with). With keepSecondMail it also
// never answers the second message's MAIL command, so however fast the
// client goes once released, the first message is the last it finishes.

#include "../delivery/FakeSmtpServer.h"

#include <atomic>

struct StallingServer {
    enum class Where { BeforeData, AfterData, SecondMail };
    explicit StallingServer(Where where)
        : where(where), server([this](FakeSmtpServer::Conn &conn) { serve(conn); })
    {
    }
    ~StallingServer() { release = true; }

    void serve(FakeSmtpServer::Conn &conn)
    {
        const auto hold = [&] {
            waiting = true;
            while (!release) {
                if (!conn.pause(10))
                    return false;
            }
            return true;
        };
        conn.send("220 fake.test ESMTP\r\n");
        int mails = 0;
        while (const auto line = conn.readLine()) {
            const bool secondMail = line->startsWith("MAIL") && ++mails == 2;
            if (line->startsWith("EHLO")) {
                conn.send("250-fake.test\r\n250 8BITMIME\r\n");
            } else if (secondMail && keepSecondMail) {
                conn.hold(); // until the client goes or the server stops
                return;
            } else if (secondMail && where == Where::SecondMail && !hold()) {
                return;
            } else if (*line == "DATA") {
                const bool stall = stalls.fetch_sub(1) > 0;
                if (stall && where == Where::BeforeData && !hold())
                    return;
                conn.send("354 go on\r\n");
                if (!conn.readData())
                    return;
                if (stall && where == Where::AfterData && !hold())
                    return;
                conn.send("250 queued\r\n");
            } else if (*line == "QUIT") {
                conn.send("221 bye\r\n");
                return;
            } else {
                conn.send("250 ok\r\n");
            }
        }
    }

    // The messages the server took whole, once it has been stopped.
    [[nodiscard]] int messagesTaken()
    {
        server.stop();
        int taken = 0;
        for (const FakeSmtpServer::Session &session : server.sessions())
            taken += int(session.messages.size());
        return taken;
    }

    Where where;
    std::atomic<int> stalls = 1;
    std::atomic<bool> keepSecondMail = false;
    std::atomic<bool> waiting = false;
    std::atomic<bool> release = false;
    FakeSmtpServer server;
};
