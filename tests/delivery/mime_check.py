#!/usr/bin/env python3
"""Reads mail messages as an outside reader would (Python's email package).

mime_check.py --describe FILE...: one JSON object a line describing each file;
an HTML part's "nesting" lists where its elements are not well nested.

mime_check.py MANIFEST.json: the manifest lists {"file": path, "expect": {...}};
each message is read with policy.default and with compat32. Always checked:
no defects, ASCII, CRLF, lines within max_line (998) and none starting with
".", no boundary a prefix of another nor of any line but its own delimiters,
each multipart/alternative text/plain first and HTML last, every charset an
HTML part's page declares in a <meta> the part's own. Compared when
given: "headers" {name: text}, "absent" [name], "addresses" {name: [[display,
addr]]}, "structure" [content types in walk order], "parts" [per leaf: type,
charset, text, base64, filename, name, content_id, disposition],
"cid_contents" [base64 of the part each "cid:" URL of the HTML names, in the
order the URLs stand; each must name exactly one part (RFC 2392), and no
two parts may share a Content-ID].
"""

import base64
import codecs
import email
import email.header
import email.policy
import email.utils
import hashlib
import html
import html.parser
import json
import re
import sys
import urllib.parse

POLICIES = (("default", email.policy.default), ("compat32", email.policy.compat32))


def unfold(value):
    return re.sub(r"\r\n(?=[ \t])", "", str(value))


def decoded_text(value):
    return str(email.header.make_header(email.header.decode_header(unfold(value))))


class _MetaCharsets(html.parser.HTMLParser):
    def __init__(self):
        super().__init__(convert_charrefs=True)
        self.labels = []

    def handle_starttag(self, tag, attrs):
        if tag != "meta":
            return
        values = {name: value or "" for name, value in attrs}
        if "charset" in values:
            self.labels.append(values["charset"].strip())
        elif values.get("http-equiv", "").lower() == "content-type":
            found = re.search(r"charset\s*=\s*[\"']?([^\s;\"']+)", values.get("content", ""), re.I)
            if found:
                self.labels.append(found.group(1))


# Elements that have no end tag (HTML's void elements).
VOID_ELEMENTS = {"area", "base", "basefont", "bgsound", "br", "col", "embed", "frame", "hr", "img", "input",
                 "keygen", "link", "meta", "param", "source", "track", "wbr"}


class _StrictNesting(html.parser.HTMLParser):
    """Each end tag must close the innermost open element, and every element
    must be closed: a reader's parser mends anything else in its own way."""

    def __init__(self):
        super().__init__(convert_charrefs=True)
        self.open = []
        self.problems = []

    def problem(self, text):
        line, column = self.getpos()
        self.problems.append("%d:%d: %s" % (line, column, text))

    def handle_starttag(self, tag, attrs):
        if tag not in VOID_ELEMENTS:
            self.open.append(tag)

    def handle_startendtag(self, tag, attrs):
        pass

    def handle_endtag(self, tag):
        if tag in VOID_ELEMENTS:
            self.problem("</%s> ends an element without an end" % tag)
        elif not self.open:
            self.problem("</%s> closes nothing" % tag)
        elif self.open[-1] != tag:
            self.problem("</%s> inside <%s>" % (tag, "><".join(self.open)))
            if tag in self.open:
                del self.open[len(self.open) - 1 - self.open[::-1].index(tag):]
        else:
            self.open.pop()


def nesting_problems(page):
    """Where the page's elements are not well nested."""
    parser = _StrictNesting()
    parser.feed(page)
    parser.close()
    for tag in reversed(parser.open):
        parser.problem("<%s> is never closed" % tag)
    return parser.problems


def declared_charsets(page):
    """The charsets the page names in its <meta> elements."""
    parser = _MetaCharsets()
    parser.feed(page)
    parser.close()
    return parser.labels


def charset_name(label):
    try:
        return codecs.lookup(label).name
    except LookupError:
        return "unknown charset " + label


def declaration_checks(msg, fail):
    for part in msg.walk():
        if part.get_content_type() != "text/html":
            continue
        charset = part.get_content_charset() or "us-ascii"
        page = part.get_payload(decode=True).decode(charset)
        for label in declared_charsets(page):
            if charset_name(label) != charset_name(charset):
                fail("the page declares %r, its part is %r" % (label, charset))


def raw_checks(raw, expect, fail):
    if any(b > 0x7F for b in raw):
        fail("non-ASCII byte in the message")
    if not raw.endswith(b"\r\n"):
        fail("the message does not end in CRLF")
    lines = raw.split(b"\r\n")[:-1]
    limit = expect.get("max_line", 998)
    for number, line in enumerate(lines, 1):
        if b"\r" in line or b"\n" in line:
            fail("line %d: bare CR or LF" % number)
        if len(line) > limit:
            fail("line %d: %d characters, more than %d" % (number, len(line), limit))
        if line.startswith(b"."):
            fail("line %d begins with a dot" % number)


def structure_checks(msg, fail):
    boundaries = [p.get_boundary() for p in msg.walk() if p.is_multipart()]
    for a in boundaries:
        for b in boundaries:
            if a is not b and a is not None and b is not None and b.startswith(a) and a != b:
                fail("boundary %r is a prefix of %r" % (a, b))
    if len(set(boundaries)) != len(boundaries):
        fail("a boundary is used twice")
    for part in msg.walk():
        if part.get_content_type() != "multipart/alternative":
            continue
        kinds = [p.get_content_type() for p in part.get_payload()]
        if len(kinds) < 2 or kinds[0] != "text/plain" or kinds[-1] not in ("text/html", "multipart/related"):
            fail("multipart/alternative holds %r" % kinds)


def delimiter_checks(raw, msg, fail):
    """A reader splits at any line that begins with "--" and the boundary
    (RFC 2046 5.1.1), so such a line must be one of the multipart's own
    delimiters: as many as it has parts, and one closing delimiter."""
    lines = raw.split(b"\r\n")
    for part in msg.walk():
        if not part.is_multipart():
            continue
        dash = b"--" + part.get_boundary().encode("ascii")
        opening = closing = 0
        for number, line in enumerate(lines, 1):
            if not line.startswith(dash):
                continue
            if line == dash:
                opening += 1
            elif line == dash + b"--":
                closing += 1
            else:
                fail("line %d begins with the boundary %r: %r" % (number, dash, line[:100]))
        if opening != len(part.get_payload()) or closing != 1:
            fail("boundary %r: %d delimiters for %d parts, %d closing"
                 % (dash, opening, len(part.get_payload()), closing))


def defect_checks(msg, policy_name, fail):
    for part in msg.walk():
        if part.defects:
            fail("%s: defects %r" % (part.get_content_type(), part.defects))
        if policy_name == "default":
            for name, value in part.items():
                if value.defects:
                    fail("header %s: defects %r" % (name, value.defects))


def header_checks(msg, policy_name, expect, fail):
    for name, want in expect.get("headers", {}).items():
        if msg[name] is None:
            fail("header %s missing" % name)
            continue
        got = str(msg[name]) if policy_name == "default" else decoded_text(msg[name])
        if got != want:
            fail("header %s: %r, expected %r" % (name, got, want))
    for name in expect.get("absent", []):
        if msg[name] is not None:
            fail("header %s should not be there" % name)
    for name, want in expect.get("addresses", {}).items():
        if msg[name] is None:
            fail("header %s missing" % name)
            continue
        if policy_name == "default":
            got = [[a.display_name, a.addr_spec] for a in msg[name].addresses]
        else:
            pairs = email.utils.getaddresses([unfold(msg[name])])
            got = [[decoded_text(display), addr] for display, addr in pairs]
        if got != want:
            fail("header %s: %r, expected %r" % (name, got, want))


def part_checks(msg, expect, fail):
    if "structure" in expect:
        got = [p.get_content_type() for p in msg.walk()]
        if got != expect["structure"]:
            fail("structure %r, expected %r" % (got, expect["structure"]))
    if "parts" not in expect:
        return
    leaves = [p for p in msg.walk() if not p.is_multipart()]
    if len(leaves) != len(expect["parts"]):
        fail("%d leaf parts, expected %d" % (len(leaves), len(expect["parts"])))
        return
    for index, (part, want) in enumerate(zip(leaves, expect["parts"])):
        def check(what, got, wanted):
            if got != wanted:
                fail("part %d %s: %r, expected %r" % (index, what, got, wanted))
        if "type" in want:
            check("type", part.get_content_type(), want["type"])
        if "charset" in want:
            check("charset", part.get_content_charset(), want["charset"])
        payload = part.get_payload(decode=True)
        if "text" in want:
            text = payload.decode(part.get_content_charset() or "us-ascii")
            check("text", text.replace("\r\n", "\n"), want["text"])
        if "base64" in want:
            check("content", payload, base64.b64decode(want["base64"]))
        if "filename" in want:
            check("filename", part.get_filename(), want["filename"])
        if "name" in want:
            name = part.get_param("name")
            check("name", email.utils.collapse_rfc2231_value(name) if name is not None else None, want["name"])
        if "content_id" in want:
            check("content id", str(part["Content-ID"]), want["content_id"])
        if "disposition" in want:
            check("disposition", part.get_content_disposition(), want["disposition"])


def cid_checks(msg, expect, fail):
    if "cid_contents" not in expect:
        return
    by_id = {}
    for part in msg.walk():
        if part.is_multipart() or part["Content-ID"] is None:
            continue
        cid = str(part["Content-ID"]).strip()
        if not (cid.startswith("<") and cid.endswith(">")):
            fail("Content-ID %r is not in angle brackets" % cid)
            continue
        if cid[1:-1] in by_id:
            fail("Content-ID %r is used twice" % cid)
        by_id[cid[1:-1]] = part
    references = []
    for part in msg.walk():
        if part.get_content_type() == "text/html":
            text = html.unescape(part.get_payload(decode=True).decode(part.get_content_charset() or "us-ascii"))
            references += re.findall(r"""cid:[^"'\s<>]*""", text)
    want = expect["cid_contents"]
    if len(references) != len(want):
        fail("%d cid: URLs in the HTML, expected %d" % (len(references), len(want)))
        return
    for reference, content in zip(references, want):
        url = urllib.parse.urlsplit(reference)
        if url.query or url.fragment:
            fail("%r reads as a URL with a query or fragment" % reference)
            continue
        part = by_id.get(urllib.parse.unquote(url.path))
        if part is None:
            fail("%r names no part" % reference)
        elif part.get_payload(decode=True) != base64.b64decode(content):
            fail("%r names a part with other content" % reference)


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
            "charset": part.get_content_charset(),
            "filename": part.get_filename(),
            "disposition": part.get_content_disposition(),
            "contentId": str(part.get("Content-ID", "")),
            "encoding": str(part.get("Content-Transfer-Encoding", "")),
            "size": len(payload),
            "sha256": hashlib.sha256(payload).hexdigest(),
        }
        content = part.get_content()
        if isinstance(content, str):
            entry["content"] = content
            if entry["type"] == "text/html":
                entry["declaredCharsets"] = declared_charsets(content)
                entry["nesting"] = nesting_problems(content)
                entry["text"] = html.unescape(content)
        parts.append(entry)

    return {
        "subject": str(msg.get("Subject", "")),
        "from": str(msg.get("From", "")),
        "to": str(msg.get("To", "")),
        "fromAddresses": addresses(msg, "From"),
        "toAddresses": addresses(msg, "To"),
        "messageId": str(msg.get("Message-ID", "")),
        "headers": list(msg.keys()),
        "bcc": str(msg.get("Bcc", "")),
        "hasBcc": msg.get("Bcc") is not None,
        "deliveredTo": [str(v) for v in msg.get_all("Delivered-To", [])],
        "received": [" ".join(str(v).split()) for v in msg.get_all("Received", [])],
        "tree": tree(msg),
        "parts": parts,
        "defects": defects,
        # RFC 5322 2.1.1: at most 998 characters a line.
        "longestLine": max((len(line) for line in raw.splitlines()), default=0),
    }


def main():
    if sys.argv[1] == "--describe":
        for path in sys.argv[2:]:
            print(json.dumps(describe(path)))
        return 0
    with open(sys.argv[1], encoding="utf-8") as f:
        manifest = json.load(f)
    failures = 0
    for entry in manifest:
        with open(entry["file"], "rb") as f:
            raw = f.read()
        expect = entry.get("expect", {})

        def fail(message, where=""):
            nonlocal failures
            failures += 1
            print("FAIL %s%s: %s" % (entry["file"], where, message))

        raw_checks(raw, expect, fail)
        for policy_name, policy in POLICIES:
            def policy_fail(message, policy_name=policy_name):
                fail(message, " [%s]" % policy_name)
            msg = email.message_from_bytes(raw, policy=policy)
            defect_checks(msg, policy_name, policy_fail)
            structure_checks(msg, policy_fail)
            delimiter_checks(raw, msg, policy_fail)
            header_checks(msg, policy_name, expect, policy_fail)
            part_checks(msg, expect, policy_fail)
            cid_checks(msg, expect, policy_fail)
            declaration_checks(msg, policy_fail)
    print("%d messages checked, %d failures" % (len(manifest), failures))
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
