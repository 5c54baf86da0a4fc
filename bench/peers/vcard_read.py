#!/usr/bin/env python3
"""The peer of vcard_bench: python3-vobject reads the same file ROUNDS times
and takes from every card what a recipient table takes (name parts,
addresses, phones, postal addresses, organisation, title, note); the best
round counts.

Usage: vcard_read.py FILE [ROUNDS]   (default 5)
       vcard_read.py --folder DIR [ROUNDS]: every .vcf below the folder
The last line, "RESULT vobject <cards> <seconds>", is read by run-vcard-bench.sh."""
import os
import sys
import time

import vobject


def read(text):
    people = []
    for card in vobject.readComponents(text):
        c = card.contents
        person = {}
        if "n" in c:
            n = card.n.value
            person["name"] = (n.family, n.given, n.additional, n.prefix, n.suffix)
        for key in ("email", "tel", "url"):
            person[key] = [(v.params.get("TYPE"), v.value) for v in c.get(key, [])]
        person["adr"] = [(v.params.get("TYPE"), v.value) for v in c.get("adr", [])]
        for key in ("org", "title", "note", "nickname"):
            if key in c:
                person[key] = c[key][0].value
        people.append(person)
    return people


def read_folder(folder):
    people = []
    for top, dirs, files in os.walk(folder):
        dirs[:] = sorted(d for d in dirs if not d.startswith("."))
        for name in sorted(files):
            if name.lower().endswith(".vcf") and not name.startswith("."):
                with open(os.path.join(top, name), "rb") as f:
                    people += read(f.read().decode("utf-8"))
    return people


def main():
    folder = sys.argv[1] == "--folder"
    args = sys.argv[2:] if folder else sys.argv[1:]
    path = args[0]
    rounds = int(args[1]) if len(args) > 1 else 5
    data = b""
    if not folder:
        with open(path, "rb") as f:
            data = f.read()
    best = None
    count = 0
    for _ in range(rounds):
        start = time.perf_counter()
        count = len(read_folder(path) if folder else read(data.decode("utf-8")))
        elapsed = time.perf_counter() - start
        best = elapsed if best is None else min(best, elapsed)
    print("%d cards; read %.3f s (%.0f cards/s)" % (count, best, count / best))
    print("RESULT vobject %d %.6f" % (count, best))


if __name__ == "__main__":
    main()
