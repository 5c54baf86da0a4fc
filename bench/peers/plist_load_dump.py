#!/usr/bin/env python3
"""Python's plistlib on a project file: load it, then dump what it loaded
in the binary form. Prints the times and the peak resident memory after
each step, in the key=value form of document_bench."""
import plistlib
import resource
import sys
import time


def peak_mb():
    return resource.getrusage(resource.RUSAGE_SELF).ru_maxrss / 1024.0


def main():
    path = sys.argv[1]
    start = time.perf_counter()
    with open(path, 'rb') as f:
        archive = plistlib.load(f)
    loaded = time.perf_counter()
    load_peak = peak_mb()
    data = plistlib.dumps(archive, fmt=plistlib.FMT_BINARY)
    dumped = time.perf_counter()
    print('objects=%d load_s=%.3f load_peak_mb=%.0f dump_s=%.3f dump_bytes=%d peak_mb=%.0f'
          % (len(archive['$objects']), loaded - start, load_peak, dumped - loaded, len(data), peak_mb()))


if __name__ == '__main__':
    main()
