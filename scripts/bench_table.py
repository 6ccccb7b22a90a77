#!/usr/bin/env python3
"""Prints a Google Benchmark JSON report (stdin) as a table with ratios.

Benchmarks are named <operation>/<implementation>/<argument>. In each operation and argument, the
implementation whose name starts with "engine", "openssl", "softhsm" (SoftHSM2 doing the same
PKCS#11 calls) or "floor" (the least work the operation
can be done with) is the reference; every other row shows reference time / its own time, so a
ratio above 1 means faster than the reference. Times are CPU times, except for benchmarks timed by
the wall clock (their names end in "/real_time"), which wait on devices.
Rows with a byte rate also show cycles per byte at the clock rate the report's context gives.
"""
import json
import sys

REFERENCES = ("engine", "openssl", "floor", "softhsm")


def time_of(b):
    """CPU time, or wall time for benchmarks that wait on devices (timed with UseRealTime)."""
    return b["real_time"] if b["name"].endswith("/real_time") else b["cpu_time"]


def split(name):
    parts = name.split("/")
    if len(parts) < 2:
        return name, name, ""
    return parts[0], parts[1], "/".join(parts[2:])


def main():
    report = json.load(sys.stdin)
    rows = [b for b in report["benchmarks"] if b.get("run_type", "iteration") == "iteration"]
    mhz = report.get("context", {}).get("mhz_per_cpu")
    reference = {}
    for b in rows:
        operation, implementation, argument = split(b["name"])
        if implementation.startswith(REFERENCES) and not b.get("error_occurred"):
            reference[(operation, argument)] = time_of(b)
    print(f"{'benchmark':<44} {'ns':>12} {'MB/s':>9} {'c/B':>7} {'ratio':>7}")
    for b in rows:
        if b.get("error_occurred"):
            print(f"{b['name']:<44} skipped: {b.get('error_message', '')}")
            continue
        operation, implementation, argument = split(b["name"])
        rate = b.get("bytes_per_second")
        mbps = f"{rate / 1e6:9.1f}" if rate else f"{'':9}"
        cycles = f"{mhz * 1e6 / rate:7.2f}" if rate and mhz else f"{'':7}"
        ref = reference.get((operation, argument))
        if implementation.startswith(REFERENCES) or ref is None:
            ratio = f"{'':7}"
        else:
            ratio = f"{ref / time_of(b):7.2f}"
        print(f"{b['name']:<44} {time_of(b):12.0f} {mbps} {cycles} {ratio}")


if __name__ == "__main__":
    main()
