#!/usr/bin/env python3
"""Python's csv module on csv_read_bench's reference file, the peer of the
delimited text import. Usage: csv_read.py FILE stream|list
stream: every row read and dropped; list: every row kept, as the import does.
Prints RESULT seconds cpu-seconds peak-KiB rows fields."""
import csv
import resource
import sys
import time


def main():
    path, mode = sys.argv[1], sys.argv[2]
    start = time.perf_counter()
    cpu_start = time.process_time()
    rows = fields = 0
    with open(path, newline="", encoding="utf-8") as f:
        reader = csv.reader(f)
        if mode == "list":
            table = list(reader)
            rows = len(table)
            fields = sum(len(row) for row in table)
        else:
            for row in reader:
                rows += 1
                fields += len(row)
    seconds = time.perf_counter() - start
    cpu = time.process_time() - cpu_start
    peak = resource.getrusage(resource.RUSAGE_SELF).ru_maxrss
    print(f"RESULT {seconds:.3f} {cpu:.3f} {peak} {rows} {fields}")


if __name__ == "__main__":
    main()
