#!/usr/bin/env python3
"""Python's csv.writer writing the rows of csv_read_bench's reference file as
tab-separated text, the peer of the stored table export. The rows are read
first and not timed. Usage: tsv_write.py CSV OUT
Prints RESULT seconds rows."""
import csv
import sys
import time


def main():
    source, out = sys.argv[1], sys.argv[2]
    with open(source, newline="", encoding="utf-8") as f:
        rows = list(csv.reader(f))[1:]
    start = time.perf_counter()
    with open(out, "w", newline="", encoding="utf-8") as f:
        # As the export writes: no quoting; the reference rows hold no tabs
        # or line breaks, so nothing needs escaping.
        writer = csv.writer(f, delimiter="\t", lineterminator="\n", quoting=csv.QUOTE_NONE,
                            quotechar=None)
        writer.writerows(rows)
    seconds = time.perf_counter() - start
    print(f"RESULT {seconds:.3f} {len(rows)}")


if __name__ == "__main__":
    main()
