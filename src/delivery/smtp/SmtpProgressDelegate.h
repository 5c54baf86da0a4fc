#pragma once

class LineReader;

// What the line reader and writer ask while they wait: the SMTP client hands
// the object given to SMTPMail::setProgressCallback to them. Answering false
// stops the wait, which is how a user's cancel reaches a blocked exchange.
// Called on the thread that runs the SMTP session.
class SmtpProgressDelegate {
public:
    // Events of lineReaderHandleEvent.
    static constexpr int BytesReceived = 0;
    static constexpr int ReadingPassEnded = 1;
    static constexpr int StreamErrorEvent = 2;

    virtual ~SmtpProgressDelegate() = default;
    [[nodiscard]] virtual bool lineReaderHandleEvent(LineReader &reader, int event)
    {
        (void)reader;
        (void)event;
        return true;
    }
    // `sent` of `total` bytes of the line being written (the message text).
    [[nodiscard]] virtual bool sentBytesInfo(int sent, int total)
    {
        (void)sent;
        (void)total;
        return true;
    }
};
