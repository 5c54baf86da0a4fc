#!/usr/bin/env python3
"""The whole send path of run-send-bench.sh with Python's standard library:
the rows of DIR/rows.csv, each turned into a personalised message (subject,
plain text, HTML from the templates whole_send_bench --fixtures wrote, the
inline picture and the 50 KB attachment) built with the email package and
sent with smtplib over one connection.

Usage: whole_send.py DIR [port [host]]   (2526, 127.0.0.1)
The last line, "RESULT python <messages> <bytes per message> <seconds>
<peak RSS KiB>", is read by run-send-bench.sh."""
import csv
import re
import resource
import smtplib
import sys
import time
from email.message import EmailMessage
from email.utils import formatdate, make_msgid
from pathlib import Path

PLACEHOLDER = re.compile(r"\{\{(\w+)\}\}")


def escaped(text):
    return text.replace("&", "&amp;").replace("<", "&lt;").replace(">", "&gt;").replace('"', "&quot;")


# The two condition tags of the reference message.
def greeting(row):
    title = row["Title"]
    if title == "Dr.":
        return "Dear Doctor"
    if "Prof" in title:
        return "Dear Professor"
    if title != "":
        return "Dear colleague " + row["LastName"]
    return ""


def region(row):
    return "our Berlin office" if row["Country"] == "Germany" else "our partners abroad"


def fill(template, values, escape=None):
    return PLACEHOLDER.sub(lambda m: escape(values[m.group(1)]) if escape else values[m.group(1)], template)


def main():
    folder = Path(sys.argv[1])
    port = int(sys.argv[2]) if len(sys.argv) > 2 else 2526
    host = sys.argv[3] if len(sys.argv) > 3 else "127.0.0.1"
    subject = (folder / "subject.txt").read_text()
    plain = (folder / "template.txt").read_text()
    html = (folder / "template.html").read_text()
    logo = (folder / "logo.png").read_bytes()
    attachment = (folder / "attachment.bin").read_bytes()
    count = 0
    total_bytes = 0
    start = time.perf_counter()
    with open(folder / "rows.csv", newline="") as rows, smtplib.SMTP(host, port, timeout=30) as smtp:
        for row in csv.DictReader(rows):
            message_id = make_msgid("bench", "test.example")
            values = dict(row, Greeting=greeting(row), Region=region(row), MessageID=message_id[1:-1])
            msg = EmailMessage()
            msg["From"] = "Example Trading <news@test.example>"
            msg["To"] = row["Email"]
            msg["Subject"] = fill(subject, values)
            msg["Date"] = formatdate(localtime=True)
            msg["Message-ID"] = message_id
            msg.set_content(fill(plain, values))
            msg.add_alternative(fill(html, values, escaped), subtype="html")
            msg.get_payload()[1].add_related(logo, "image", "png", cid=f"<logo.png{values['MessageID']}>",
                                             filename="logo.png")
            msg.add_attachment(attachment, "application", "octet-stream", filename="attachment.bin")
            data = msg.as_bytes()
            total_bytes += len(data)
            smtp.sendmail("news@test.example", [row["Email"]], data)
            count += 1
    seconds = time.perf_counter() - start
    peak = resource.getrusage(resource.RUSAGE_SELF).ru_maxrss
    print(f"{count} messages of {total_bytes // count} bytes on average in {seconds:.3f} s: "
          f"{count / seconds:.0f} msg/s, peak RSS {peak} KiB")
    print(f"RESULT python {count} {total_bytes // count} {seconds:.6f} {peak}")


main()
