#!/usr/bin/env python3
"""Reads delivered messages with Python's email package, an outside check of
what arrived, and prints what the test compares: one JSON object a line, one
line for each file named."""
import email
import email.policy
import hashlib
import json
import sys


def tree(part):
    """The content types of the part and its children, as
    "multipart/mixed(text/plain,image/png)"."""
    if not part.is_multipart():
        return part.get_content_type()
    return part.get_content_type() + "(" + ",".join(tree(p) for p in part.iter_parts()) + ")"


def addresses(msg, name):
    header = msg.get(name)
    if header is None:
        return []
    return [{"name": a.display_name, "address": a.addr_spec} for a in header.addresses]


def describe(path):
    with open(path, "rb") as f:
        raw = f.read()
    msg = email.message_from_bytes(raw, policy=email.policy.default)

    parts = []
    defects = []
    for part in msg.walk():
        defects += [type(d).__name__ for d in part.defects]
        # Header values parse lazily under policy.default; their defects
        # (a broken encoded word, say) only show once they are read.
        for _name, value in part.items():
            defects += [type(d).__name__ for d in getattr(value, "defects", ())]
        if part.is_multipart():
            continue
        payload = part.get_payload(decode=True) or b""
        entry = {
            "type": part.get_content_type(),
            "filename": part.get_filename(),
            "disposition": part.get_content_disposition(),
            "contentId": str(part.get("Content-ID", "")),
            "size": len(payload),
            "sha256": hashlib.sha256(payload).hexdigest(),
        }
        content = part.get_content()
        if isinstance(content, str):
            entry["content"] = content
        parts.append(entry)

    return {
        "subject": str(msg.get("Subject", "")),
        "from": str(msg.get("From", "")),
        "to": str(msg.get("To", "")),
        "fromAddresses": addresses(msg, "From"),
        "toAddresses": addresses(msg, "To"),
        "messageId": str(msg.get("Message-ID", "")),
        "hasBcc": msg.get("Bcc") is not None,
        "deliveredTo": [str(v) for v in msg.get_all("Delivered-To", [])],
        "received": [" ".join(str(v).split()) for v in msg.get_all("Received", [])],
        "tree": tree(msg),
        "parts": parts,
        "defects": defects,
        # RFC 5322 2.1.1: at most 998 characters a line.
        "longestLine": max((len(line) for line in raw.splitlines()), default=0),
    }


for file_path in sys.argv[1:]:
    print(json.dumps(describe(file_path)))
