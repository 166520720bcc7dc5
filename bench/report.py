#!/usr/bin/env python3
"""Turns the results of scripts/bench.sh into the Markdown report."""
import json
import os
import platform
import subprocess
import sys

results = sys.argv[1]


def human_time(value, unit):
    return f"{value:,.1f} {unit}"


def human_rate(bytes_per_second):
    for unit, size in (("GB/s", 1e9), ("MB/s", 1e6), ("kB/s", 1e3)):
        if bytes_per_second >= size:
            return f"{bytes_per_second / size:,.2f} {unit}"
    return f"{bytes_per_second:,.0f} B/s"


def cpu_model():
    try:
        with open("/proc/cpuinfo") as info:
            for line in info:
                if line.startswith("model name"):
                    return line.split(":", 1)[1].strip()
    except OSError:
        pass
    return platform.processor() or "unknown"


print("# Benchmark report")
print()
print("Made by `scripts/bench.sh`; every figure stands beside its reference, measured")
print("in the same run on the same machine. Rows come in the order the programs")
print("register them: each of our operations next to the bare library doing the same work.")
print()
print(f"- Machine: {cpu_model()}, {os.cpu_count()} cores, "
      f"{platform.system()} {platform.release()}")
try:
    load = open("/proc/loadavg").read().split()[:3]
    print(f"- Load average when the report was written: {' '.join(load)}")
except OSError:
    pass
print()

for file_name in sorted(os.listdir(results)):
    if not file_name.endswith(".json"):
        continue
    with open(os.path.join(results, file_name)) as handle:
        data = json.load(handle)
    print(f"## {file_name[:-5]}")
    print()
    print("| benchmark | time | throughput | counters |")
    print("|---|---:|---:|---|")
    skip = {"name", "run_name", "run_type", "repetitions", "repetition_index", "threads",
            "iterations", "real_time", "cpu_time", "time_unit", "bytes_per_second",
            "items_per_second", "family_index", "per_family_instance_index", "label",
            "aggregate_name", "aggregate_unit", "error_occurred", "error_message"}
    for bench in data.get("benchmarks", []):
        if bench.get("error_occurred"):
            print(f"| {bench['name']} | skipped: {bench.get('error_message', '')} | | |")
            continue
        rate = human_rate(bench["bytes_per_second"]) if "bytes_per_second" in bench else ""
        counters = ", ".join(f"{key} {value:,.3g}" for key, value in bench.items()
                             if key not in skip and isinstance(value, (int, float)))
        if bench.get("label"):
            counters = (bench["label"] + ("; " if counters else "")) + counters
        print(f"| {bench['name']} | {human_time(bench['real_time'], bench['time_unit'])} "
              f"| {rate} | {counters} |")
    print()

startup = os.path.join(results, "cli_startup_us.txt")
if os.path.exists(startup):
    values = [int(line) for line in open(startup) if line.strip()]
    if values:
        print("## Start-up and memory")
        print()
        print(f"- `morvane-cli --version`, {len(values)} runs: min {values[0] / 1000:.1f} ms, "
              f"median {values[len(values) // 2] / 1000:.1f} ms, max {values[-1] / 1000:.1f} ms")
window = os.path.join(results, "window.txt")
if os.path.exists(window):
    for line in open(window):
        if line.strip():
            print(f"- window: {line.strip()}")
