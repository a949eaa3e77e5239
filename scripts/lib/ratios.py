#!/usr/bin/env python3
"""Reads Google Benchmark JSON on stdin and prints each comparison.

Benchmarks are named GROUP:WHO, optionally followed by /ARGS. Within one
GROUP/ARGS the entry whose WHO is "papyro" is the subject; every other entry is
a peer, and its ratio is peer time / papyro time (above 1: papyro is faster).
"""
import json
import sys

data = json.load(sys.stdin)
groups = {}
order = []
for b in data.get("benchmarks", []):
    if b.get("run_type") == "aggregate":
        continue
    name = b["name"]
    head, _, args = name.partition("/")
    group, _, who = head.partition(":")
    key = group + ("/" + args if args else "")
    if key not in groups:
        groups[key] = {}
        order.append(key)
    if b.get("error_occurred"):
        groups[key][who or "papyro"] = None  # the program could not run this one
        continue
    unit = {"ns": 1, "us": 1e3, "ms": 1e6, "s": 1e9}[b.get("time_unit", "ns")]
    groups[key][who or "papyro"] = (b["real_time"] * unit, b.get("bytes_per_second"), b.get("items_per_second"))


def rate(entry):
    _, bps, ips = entry
    if bps:
        return f"{bps / 1e9:8.3f} GB/s"
    if ips:
        return f"{ips / 1e6:8.2f} M/s"
    return ""


width = max((len(k) for k in order), default=10)
for key in order:
    entries = groups[key]
    subject = entries.get("papyro")
    if subject is None:
        for who, e in entries.items():
            print(f"{key:<{width}}  {who:<18} " + (f"{e[0]:12.1f} ns {rate(e)}" if e else "n/a"))
        continue
    print(f"{key:<{width}}  {'papyro':<18} {subject[0]:12.1f} ns {rate(subject)}")
    for who, e in entries.items():
        if who == "papyro":
            continue
        if e is None:
            print(f"{'':<{width}}  {who:<18} n/a (cannot run this case)")
            continue
        print(f"{'':<{width}}  {who:<18} {e[0]:12.1f} ns {rate(e)}   ratio {e[0] / subject[0]:6.2f}")
