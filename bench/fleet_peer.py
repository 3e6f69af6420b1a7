#!/usr/bin/env python3
"""The peer of the fleet bench: every report parsed with json.load, outcomes counted.
    python3 bench/fleet_peer.py FOLDER"""
import collections
import json
import os
import sys

counts = collections.Counter()
unreadable = 0
for root, _, files in os.walk(sys.argv[1]):
    for name in files:
        if not name.lower().endswith(".json"):
            continue
        try:
            with open(os.path.join(root, name), encoding="utf-8") as report:
                counts[json.load(report)["exitCode"]] += 1
        except (ValueError, KeyError):
            unreadable += 1
print(dict(counts), "unreadable", unreadable)
