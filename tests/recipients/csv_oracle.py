#!/usr/bin/env python3
"""Writes delimited text files with Python's csv module as an outside check
of the delimited text reader: every delimiter, quoting style, line end and
encoding the import offers. Usage: csv_oracle.py OUTDIR

OUTDIR gets one file per combination and expected.json, which maps each file
name to its encoding (as the reader's decoder names it), whether automatic
detection must find that encoding, the delimiter, and the rows written."""
import csv
import io
import json
import os
import sys

DELIMITERS = {"comma": ",", "semicolon": ";", "tab": "\t", "colon": ":"}
QUOTING = {"minimal": csv.QUOTE_MINIMAL, "all": csv.QUOTE_ALL}
LINE_ENDS = {"crlf": ["\r\n"], "lf": ["\n"], "cr": ["\r"], "mixed": ["\r\n", "\n", "\r"]}

# Python codec, decoder name, found by automatic detection, a row of text
# the encoding can hold. Latin 1 text without C1 controls reads the same as
# Windows-1252, which automatic detection falls back to.
ENCODINGS = [
    ("utf-8", "Utf8", True, ["Zoë", "ʤ 山田", "😀 naïve"]),
    ("utf-8-sig", "Utf8", True, ["Zoë", "ʤ 山田", "😀 naïve"]),
    ("utf-16", "Utf16", True, ["Zoë", "ʤ 山田", "😀 naïve"]),
    ("utf-16-be-bom", "Utf16", True, ["Zoë", "ʤ 山田", "😀 naïve"]),
    ("cp1252", "Windows1252", True, ["Müller", "€ 5 – “x”", "Œuvre ‰"]),
    ("latin-1", "Latin1", True, ["Müller", "ß ÿ ©", "Ångström ½"]),
    ("iso8859-2", "Latin2", False, ["Łódź", "Žluťoučký kůň", "Ő ű"]),
    ("mac_roman", "MacRoman", False, ["Müller", "∑ √ π", "‰ ﬁ"]),
    ("shift_jis", "ShiftJis", False, ["山田", "太郎 カタカナ", "ｶﾀｶﾅ 漢字"]),
    ("cp932", "ShiftJis", False, ["山田", "①②", "髙橋 ～"]),
]


def rows_for(line_ends, local):
    rows = [
        ["email", "first", "last", "note"],
        ["ann@example.org", "Ann", "Lee", "plain"],
        ["bob@example.org", "Bob, Jr.", "Smith; Jones", "a:b\tc"],
        ["cy@example.org", "", "O'Neil", '5\'10" tall'],
        ["dee@example.org", '"Dee"', "van der Berg", 'say ""hi""'],
        ["eve@example.org", "C:\\Users\\eve", "\\", "back\\slash\\"],
        ["fay@example.org", " Fay ", "  ", "line one\r\nline two"],
        ["gus@example.org", "1", "2.5", "-3"],
        ["hal@example.org", *local],
    ]
    # A lone line feed or carriage return inside a field is quoted only when
    # the line end holds that character.
    if all("\n" in end for end in line_ends):
        rows.append(["ida@example.org", "lf", "inside", "one\ntwo"])
    if all("\r" in end for end in line_ends):
        rows.append(["jo@example.org", "cr", "inside", "one\rtwo"])
    rows.append(["kim@example.org", "last", "row", "end"])
    return rows


def write(rows, delimiter, quoting, line_ends):
    out = io.StringIO(newline="")
    for i, row in enumerate(rows):
        writer = csv.writer(out, delimiter=delimiter, quoting=quoting, lineterminator=line_ends[i % len(line_ends)])
        writer.writerow(row)
    return out.getvalue()


def encode(text, codec):
    if codec == "utf-16-be-bom":
        return "\ufeff".encode("utf-16-be") + text.encode("utf-16-be")
    return text.encode(codec)


def main():
    outdir = sys.argv[1]
    os.makedirs(outdir, exist_ok=True)
    expected = {}
    for codec, decoder, automatic, local in ENCODINGS:
        for dname, delimiter in DELIMITERS.items():
            for qname, quoting in QUOTING.items():
                for ename, line_ends in LINE_ENDS.items():
                    rows = rows_for(line_ends, local)
                    text = write(rows, delimiter, quoting, line_ends)
                    # The oracle must agree with itself before it judges anyone.
                    back = list(csv.reader(io.StringIO(text, newline=""), delimiter=delimiter))
                    assert back == rows, (codec, dname, qname, ename, back)
                    name = f"{codec}-{dname}-{qname}-{ename}.csv"
                    with open(os.path.join(outdir, name), "wb") as f:
                        f.write(encode(text, codec))
                    expected[name] = {"encoding": decoder, "automatic": automatic, "delimiter": delimiter, "rows": rows}
    with open(os.path.join(outdir, "expected.json"), "w", encoding="utf-8") as f:
        json.dump(expected, f, ensure_ascii=False, indent=0)


if __name__ == "__main__":
    main()
