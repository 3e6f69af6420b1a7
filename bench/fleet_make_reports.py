#!/usr/bin/env python3
"""Writes a fleet of cleaner run reports of typical size, as a deployment tool collects them
into one folder (a subfolder per thousand machines), and what they must add up to.

    python3 bench/fleet_make_reports.py MACHINES FOLDER

Most machines come out clean; some wait for a restart, some leave files, keys or refused
entries, a few fail, a few were refused for their command line or because another copy ran;
some reported twice (the later run counts); a few report files are cut off. Every run names
about thirty changes, as a rule file for one product does. FOLDER/expected.txt holds the
machines by outcome of their latest run and the number of unreadable files, in the words the
fleet summary uses; FOLDER/machines.txt lists every machine, for --expect.
"""
import json
import os
import random
import sys

OUTCOMES = [  # exit code, outcome, share of the fleet
    (0, "clean", 0.80),
    (3010, "restart pending", 0.08),
    (1, "left", 0.07),
    (2, "failed", 0.02),
    (1639, "refused command line", 0.015),
    (1618, "another copy running", 0.015),
]
LEFT_LINES = [
    "Could NOT delete C:\\Program Files\\Velmora Anti-Virus\\vmscan.dll",
    "Could NOT delete C:\\Program Files\\Velmora Anti-Virus\\Drivers\\vmflt.sys",
    "Could NOT delete key HKEY_LOCAL_MACHINE\\SOFTWARE\\VelmoraLab\\Engine",
    "Could NOT delete folder C:\\ProgramData\\Velmora Lab - The directory is not empty",
    "Skipped (deletion not permitted): C:\\Program Files\\Common Files\\ZDN Shared Files",
    "Refused to delete shared registry key HKEY_LOCAL_MACHINE\\SOFTWARE\\Classes\\CLSID",
]
SCHEDULED = "Will be deleted at restart: C:\\Program Files\\Velmora Anti-Virus\\vmhook.dll"
RULE_FILES = ["5f1c" + "0" * 56 + "a001", "9b2e" + "0" * 56 + "b002"]
VERSIONS = ["2.1.0.7 (abc1234)", "2.0.3.1 (9f8e7d6)"]


def done_actions(rng, count):
    actions = []
    for i in range(count):
        if i % 3 == 0:
            actions.append({"action": "delete-key", "target": f"HKEY_LOCAL_MACHINE\\SOFTWARE\\VelmoraLab\\Part{i}",
                            "outcome": "done", "reason": ""})
        else:
            actions.append({"action": "remove-file",
                            "target": f"C:\\Program Files\\Velmora Anti-Virus\\module{i:02d}_{rng.randrange(1000):03d}.dll",
                            "outcome": "done", "reason": ""})
    return actions


def report(rng, machine, exit_code, day):
    actions = [] if exit_code in (1639, 1618) else done_actions(rng, rng.randrange(24, 36))
    counts = {"changes": len(actions), "failed": 0, "left": 0, "scheduled": 0, "errors": 0}
    if exit_code == 1:
        for line in rng.sample(LEFT_LINES, rng.randrange(1, 4)):
            actions.append({"action": "left", "target": "", "outcome": "left", "reason": line})
            counts["left"] += 1
        actions.append({"action": "remove-file", "target": "C:\\Program Files\\Velmora Anti-Virus\\vmscan.dll",
                        "outcome": "failed", "reason": "system error 32"})
        counts["failed"] += 1
    elif exit_code == 3010:
        actions.append({"action": "scheduled", "target": "", "outcome": "scheduled", "reason": SCHEDULED})
        counts["scheduled"] = 1
    elif exit_code in (2, 1639, 1618):
        message = {2: "File with rule does not Exist.", 1639: "Invalid command line: Unknown switch: /DELET",
                   1618: "Another Velmora Cleaner is running; this one ended without changing anything"}[exit_code]
        actions.append({"action": "error", "target": "", "outcome": "error", "reason": message})
        counts["errors"] = 1
    hour = rng.randrange(8, 18)
    return {
        "schemaVersion": 1,
        "programVersion": VERSIONS[0] if rng.random() < 0.95 else VERSIONS[1],
        "computer": machine,
        "account": "CORP\\svc-deploy",
        "commandLine": "Cleaner.exe /Q /DELETE /DELLINK /R \"/TL=C:\\Windows\\Temp\\VelmoraCleaner.log\" "
                       "\"/REPORT=C:\\Windows\\Temp\\VelmoraCleaner.json\"",
        "settings": {"SILENT": "1", "DELETE": "1", "DEL_LINK": "1", "KILLPROCESS": "1", "DELETE_AT_RESTART": "1"},
        "ruleFile": {"path": "C:\\ProgramData\\VelmoraCleaner\\Do_list.dat",
                     "sha256": RULE_FILES[0] if rng.random() < 0.97 else RULE_FILES[1]},
        "start": f"2026-12-{day:02d}T{hour:02d}:00:00+01:00",
        "end": f"2026-12-{day:02d}T{hour:02d}:00:04+01:00",
        "actions": actions,
        "counts": counts,
        "exitCode": exit_code,
    }


def pick(rng):
    roll = rng.random()
    for code, name, share in OUTCOMES:
        if roll < share:
            return code, name
        roll -= share
    return OUTCOMES[0][:2]


def write(path, document, cut=False):
    text = json.dumps(document, ensure_ascii=False, separators=(",", ":")).replace("},{", "},\n{")
    if cut:
        text = text[: len(text) // 2]
    with open(path, "w", encoding="utf-8") as out:
        out.write(text + ("" if cut else "\n"))


def main():
    machines, folder = int(sys.argv[1]), sys.argv[2]
    rng = random.Random(machines)
    expected = {name: 0 for _, name, _ in OUTCOMES}
    unreadable = 0
    files = 0
    with open(os.path.join(folder, "machines.txt"), "w") as names:
        for i in range(machines):
            machine = f"PC-{i:06d}"
            names.write(machine + "\n")
            sub = os.path.join(folder, f"site-{i // 1000:03d}")
            if i % 1000 == 0:
                os.makedirs(sub, exist_ok=True)
            code, name = pick(rng)
            if rng.random() < 0.015:  # an earlier run that left something; the later one counts
                write(os.path.join(sub, f"{machine}-earlier.json"), report(rng, machine, 1, 6))
                files += 1
            write(os.path.join(sub, f"{machine}.json"), report(rng, machine, code, 7))
            files += 1
            expected[name] += 1
            if rng.random() < 0.002:  # a copy cut off on its way to the share
                write(os.path.join(sub, f"{machine}-copy.json"), report(rng, machine, code, 7), cut=True)
                unreadable += 1
    with open(os.path.join(folder, "expected.txt"), "w") as out:
        for name, count in expected.items():
            out.write(f"{name}\t{count}\n")
        out.write(f"unreadable\t{unreadable}\n")
        out.write(f"reports\t{files}\n")


if __name__ == "__main__":
    main()
