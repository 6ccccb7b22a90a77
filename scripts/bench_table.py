#!/usr/bin/env python3
"""Prints a Google Benchmark JSON report (stdin) as a table with ratios.

Benchmarks are named <operation>/<implementation>/<argument>. In each operation and argument, the
implementation whose name starts with "engine", "openssl", "softhsm" (SoftHSM2 doing the same
PKCS#11 calls) or "floor" (the least work the operation
can be done with) is the reference; every other row shows the reference's time beside its own
and reference time / its own time, so a ratio above 1 means faster than the reference. Times are
CPU times, except for benchmarks that wait on devices: those timed by the wall clock (names
ending in "/real_time") and the device calls (rows with a "commands" counter), which show their
wall time here and their CPU time in a second table.
Rows with a byte rate also show cycles per byte at the clock rate the report's context gives.

The second table is for device calls: the wall time, the CPU time of the calling process, the
device commands per call, the cryptography the call needs (timed in process, "crypto_ns"), what
the library spends per command beyond that cryptography, and what is left per command once the
bare transport ("transport_ns": the same number of small commands exchanged without the library)
is taken off as well. The floors are timed beside the calls, not with them, so on a loaded machine
the last figure can come out below zero.
"""
import json
import sys

REFERENCES = ("engine", "openssl", "floor", "softhsm")


def is_device_call(b):
    return "commands" in b


def time_of(b):
    """CPU time, or wall time for benchmarks that wait on devices."""
    if b["name"].endswith("/real_time") or is_device_call(b):
        return b["real_time"]
    return b["cpu_time"]


def split(name):
    parts = name.split("/")
    if len(parts) < 2:
        return name, name, ""
    # How a row was timed is no part of what it does: it compares with the reference of the same
    # operation and argument.
    argument = [p for p in parts[2:] if p not in ("real_time", "process_time")]
    return parts[0], parts[1], "/".join(argument)


def is_reference(implementation):
    return implementation.startswith(REFERENCES)


def main():
    report = json.load(sys.stdin)
    rows = [b for b in report["benchmarks"] if b.get("run_type", "iteration") == "iteration"]
    mhz = report.get("context", {}).get("mhz_per_cpu")
    reference = {}
    for b in rows:
        operation, implementation, argument = split(b["name"])
        if is_reference(implementation) and not b.get("error_occurred"):
            reference[(operation, argument)] = time_of(b)
    print(f"{'benchmark':<44} {'ns':>12} {'MB/s':>9} {'c/B':>7} {'ref ns':>12} {'ratio':>7}")
    device_rows = []
    for b in rows:
        if b.get("error_occurred"):
            print(f"{b['name']:<44} skipped: {b.get('error_message', '')}")
            continue
        operation, implementation, argument = split(b["name"])
        rate = b.get("bytes_per_second")
        mbps = f"{rate / 1e6:9.1f}" if rate else f"{'':9}"
        cycles = f"{mhz * 1e6 / rate:7.2f}" if rate and mhz else f"{'':7}"
        ref = reference.get((operation, argument))
        if is_reference(implementation) or ref is None:
            ref_ns, ratio = f"{'':12}", f"{'':7}"
        else:
            ref_ns, ratio = f"{ref:12.0f}", f"{ref / time_of(b):7.2f}"
        print(f"{b['name']:<44} {time_of(b):12.0f} {mbps} {cycles} {ref_ns} {ratio}")
        if is_device_call(b) and not is_reference(implementation):
            device_rows.append(b)
    if not device_rows:
        return
    print()
    print("device calls: CPU is this process's (the devices are another); crypto is the cryptography")
    print("the call needs, timed in process; transport is the bare exchange of as many commands;")
    print("per command: (CPU - crypto) / commands, and (CPU - crypto - transport) / commands")
    print(f"{'benchmark':<40} {'wall ns':>11} {'CPU ns':>11} {'crypto ns':>11} {'transp. ns':>11} "
          f"{'cmds':>7} {'us/cmd':>7} {'lib us':>7}")
    for b in device_rows:
        commands = b["commands"]
        beyond_crypto = b["cpu_time"] - b["crypto_ns"]
        if commands:
            per_command = f"{beyond_crypto / commands / 1e3:7.2f} {(beyond_crypto - b['transport_ns']) / commands / 1e3:7.2f}"
        else:
            per_command = f"{'-':>7} {'-':>7}"
        print(f"{b['name']:<40} {b['real_time']:11.0f} {b['cpu_time']:11.0f} {b['crypto_ns']:11.0f} "
              f"{b['transport_ns']:11.0f} {commands:7.1f} {per_command}")


if __name__ == "__main__":
    main()
