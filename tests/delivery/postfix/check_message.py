#!/usr/bin/env python3
"""Reads a delivered message with Python's email package, an outside check of
what arrived, and prints what the test compares as JSON."""
import email
import email.policy
import json
import sys

with open(sys.argv[1], "rb") as f:
    msg = email.message_from_binary_file(f, policy=email.policy.default)

parts = []
defects = [type(d).__name__ for d in msg.defects]
for part in msg.walk():
    defects += [type(d).__name__ for d in part.defects]
    if part.is_multipart():
        continue
    content = part.get_content()
    if isinstance(content, bytes):
        content = content.decode("utf-8", "replace")
    parts.append({"type": part.get_content_type(), "filename": part.get_filename(), "content": content})

print(json.dumps({
    "subject": str(msg.get("Subject", "")),
    "from": str(msg.get("From", "")),
    "to": str(msg.get("To", "")),
    "messageId": str(msg.get("Message-ID", "")),
    "hasBcc": msg.get("Bcc") is not None,
    "deliveredTo": [str(v) for v in msg.get_all("Delivered-To", [])],
    "received": [" ".join(str(v).split()) for v in msg.get_all("Received", [])],
    "parts": parts,
    "defects": defects,
}))
