#!/usr/bin/env python3
"""Checks that the fleet summary, its CSV and its page agree with each other and with what
the generated reports add up to (fleet_make_reports.py's expected.txt).
    python3 bench/fleet_check.py OUT_DIR EXPECTED_TXT"""
import collections
import csv
import re
import sys

out, expected_file = sys.argv[1], sys.argv[2]
expected = dict(line.rstrip("\n").split("\t") for line in open(expected_file))
text = open(f"{out}/fleet-summary.txt", encoding="utf-8").read()
page = open(f"{out}/fleet.html", encoding="utf-8").read()
with open(f"{out}/fleet.csv", encoding="utf-8-sig", newline="") as rows:
    by_csv = collections.Counter(row["outcome"] for row in csv.DictReader(rows))

problems = []
for name, count in expected.items():
    if name in ("unreadable", "reports"):
        continue
    found = re.search(rf"^  {re.escape(name)} +(\d+)", text, re.M)
    in_text = int(found.group(1)) if found else None
    in_page = re.search(rf'data-outcome="{re.escape(name)}" data-count="(\d+)"', page)
    in_page = int(in_page.group(1)) if in_page else None
    if not (int(count) == in_text == by_csv[name] == in_page):
        problems.append(f"{name}: reports {count}, table {in_text}, CSV {by_csv[name]}, page {in_page}")
totals = re.search(r"^Fleet: (\d+) machines reported, (\d+) reports read, (\d+) unreadable", text, re.M)
if not totals or int(totals.group(3)) != int(expected["unreadable"]) or int(totals.group(2)) != int(expected["reports"]):
    problems.append(f"totals: {totals.group(0) if totals else 'missing'}; expected {expected}")
for problem in problems:
    print("DISAGREE", problem)
print("summary, CSV and page agree with the reports" if not problems else "the outputs disagree")
sys.exit(1 if problems else 0)
