#!/usr/bin/env python3
"""Peer of the HTML text benchmark: Python's own HTML parser taking the text
of the same page (character references resolved, script and style left out,
no line breaks placed, white space as it stands).

    html_text.py PAGE [ROUNDS]
"""
import sys
import time
from html.parser import HTMLParser


class Text(HTMLParser):
    def __init__(self):
        super().__init__(convert_charrefs=True)
        self.parts = []
        self.hidden = 0

    def handle_starttag(self, tag, attrs):
        if tag in ("script", "style", "head"):
            self.hidden += 1

    def handle_endtag(self, tag):
        if tag in ("script", "style", "head") and self.hidden:
            self.hidden -= 1

    def handle_data(self, data):
        if not self.hidden:
            self.parts.append(data)


def main():
    data = open(sys.argv[1], "rb").read().decode("utf-8")
    rounds = int(sys.argv[2]) if len(sys.argv) > 2 else 5
    best = None
    first = None
    for _ in range(rounds):
        start = time.perf_counter()
        parser = Text()
        parser.feed(data)
        parser.close()
        text = "".join(parser.parts)
        elapsed = (time.perf_counter() - start) * 1000
        first = elapsed if first is None else first
        best = elapsed if best is None else min(best, elapsed)
    print(f"python html.parser: {len(text.encode('utf-8')) / 1048576:.1f} MB of text, best {best:.1f} ms, first {first:.1f} ms")


if __name__ == "__main__":
    main()
