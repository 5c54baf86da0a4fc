#!/usr/bin/env python3
"""Peer of the HTML import benchmark: Python's own HTML parser collecting
the src and href values of the same page (no file checks, no sheet).

    html_refs.py PAGE
"""
import sys
import time
from html.parser import HTMLParser


class References(HTMLParser):
    def __init__(self):
        super().__init__(convert_charrefs=True)
        self.values = []

    def handle_starttag(self, tag, attrs):
        for name, value in attrs:
            if name in ("src", "href") and value is not None:
                self.values.append(value)


def main():
    data = open(sys.argv[1], "rb").read()
    best = None
    for _ in range(5):
        start = time.perf_counter()
        parser = References()
        parser.feed(data.decode("utf-8"))
        parser.close()
        elapsed = (time.perf_counter() - start) * 1000
        best = elapsed if best is None else min(best, elapsed)
    print(f"python html.parser: {len(parser.values)} references, {len(set(parser.values))} distinct, "
          f"best {best:.1f} ms")


if __name__ == "__main__":
    main()
