#!/usr/bin/env python3
"""The peer of dedup_bench: the same table as a list of dicts, the first of
each address (compared without letter case) kept active.
Usage: dedup.py [entries]. Prints RESULT seconds cpu-seconds switched-off."""
import sys
import time


def main():
    entries = int(sys.argv[1]) if len(sys.argv) > 1 else 1_000_000
    table = []
    for i in range(entries):
        address = f"User{i - 9}.Name@Example.org" if i % 10 == 9 else f"user{i}.name@example.org"
        table.append({"0": address, "1": f"Name {i}"})
    start = time.perf_counter()
    cpu_start = time.process_time()
    seen = set()
    switched_off = 0
    for entry in table:
        if entry.get("active", True) is False:
            continue
        key = entry["0"].casefold()
        if key in seen:
            entry["active"] = False
            switched_off += 1
        else:
            seen.add(key)
    print(f"RESULT {time.perf_counter() - start:.3f} {time.process_time() - cpu_start:.3f} {switched_off}")


if __name__ == "__main__":
    main()
