#!/usr/bin/env python3
"""The same run as smtp_send_bench with Python's standard library: N
personalised messages (plain text and HTML) built with the email package
and sent with smtplib over one connection.

Usage: send.py [messages [port [host]]]   (2000, 2526, 127.0.0.1)
The last line, "RESULT python <messages> <bytes per message> <seconds>",
is read by run-smtp-bench.sh."""
import sys
import time
from email.message import EmailMessage
from email.utils import make_msgid, formatdate
import smtplib

# The same texts as smtp_send_bench.cpp and send.js.
PARAGRAPH = (
    "Thank you for your order of last week. We are glad to tell you that all items have been packed "
    "and handed to the carrier this morning; you will receive a separate notice with the tracking "
    "number as soon as the parcel is scanned at the first depot. Should anything be missing or "
    "damaged on arrival, please reply to this message within fourteen days and we will send a "
    "replacement at no cost. Our opening hours remain Monday to Friday from nine to six, and on "
    "Saturdays from ten to two. ")
FIRST = ["Anna", "Bernd", "Clara", "David", "Eva", "Frank", "Gina", "Hugo"]
LAST = ["Meyer", "Schulz", "Fischer", "Weber", "Wagner", "Becker", "Hoffmann"]


def personalised(i):
    first, last = FIRST[i % 8], LAST[i % 7]
    name = f"{first} {last}"
    msg = EmailMessage()
    msg["From"] = "Example Shop <shop@test.example>"
    msg["To"] = f"{name} <{first.lower()}.{last.lower()}.{i}@dest.example>"
    msg["Subject"] = f"Your order {i} is on its way, {name}"
    msg["Date"] = formatdate(localtime=True)
    msg["Message-ID"] = make_msgid("bench", "test.example")
    msg.set_content(f"Dear {name},\n\n{PARAGRAPH}\n\n{PARAGRAPH}\n\n{PARAGRAPH}\n\n"
                    f"Your customer number is {i}.\n\nKind regards\nExample Shop\n")
    msg.add_alternative(f"<html><body><p>Dear <b>{name}</b>,</p>\n<p>{PARAGRAPH}</p>\n<p>{PARAGRAPH}</p>\n<p>{PARAGRAPH}</p>\n"
                        f"<p>Your customer number is <b>{i}</b>.</p>\n<p>Kind regards<br>Example Shop</p>"
                        "</body></html>\n", subtype="html")
    return msg


def main():
    count = int(sys.argv[1]) if len(sys.argv) > 1 else 2000
    port = int(sys.argv[2]) if len(sys.argv) > 2 else 2526
    host = sys.argv[3] if len(sys.argv) > 3 else "127.0.0.1"
    total_bytes = 0
    start = time.perf_counter()
    with smtplib.SMTP(host, port, timeout=30) as smtp:
        for i in range(count):
            msg = personalised(i)
            data = msg.as_bytes()
            total_bytes += len(data)
            smtp.sendmail("shop@test.example", [f"{FIRST[i % 8].lower()}.{LAST[i % 7].lower()}.{i}@dest.example"],
                          data)
    seconds = time.perf_counter() - start
    print(f"{count} messages of {total_bytes // count} bytes on average in {seconds:.3f} s: "
          f"{count / seconds:.0f} msg/s")
    print(f"RESULT python {count} {total_bytes // count} {seconds:.6f}")


main()
