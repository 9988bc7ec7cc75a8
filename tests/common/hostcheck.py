#!/usr/bin/python3
"""Runs, on the host, the checks a Windows test process wrote down instead of starting host programs.

Usage: hostcheck.py CHECK_DIR
Every CHECK_DIR/*.json is a list of steps, run in order:
  {"run": [program, args...]}                 must exit 0; with "expect": {"key": K, "items": [...]}
                                              its output is a JSON list with one entry per item (any
                                              number with "partial": true), and the entry whose K
                                              equals an item's has the item's values
  {"soffice": [files...], "outdir": D}        LibreOffice converts the files to .csv in D
  {"csv": F, "cells": {"B3": text},           F holds each text at its cell, and each of "contains",
   "contains": [...], "absent": [...]}        and none of "absent"
Paths the test wrote (drive letter, either separator) are read through the Wine prefix's drives.
"""
import csv
import io
import json
import os
import re
import subprocess
import sys
import tempfile
from pathlib import Path

DRIVE = re.compile(r"^([A-Za-z]):[\\/]")


def host_path(value):
    if not isinstance(value, str) or not DRIVE.match(value):
        return value
    drives = Path(os.environ.get("WINEPREFIX", Path.home() / ".wine")) / "dosdevices"
    return str(drives / (value[0].lower() + ":") / value[3:].replace("\\", "/"))


def cell_position(ref):
    letters, digits = re.fullmatch(r"([A-Z]+)(\d+)", ref).groups()
    column = 0
    for letter in letters:
        column = column * 26 + ord(letter) - ord("A") + 1
    return int(digits) - 1, column - 1


def run(step, errors):
    argv = [sys.executable if a == "python3" else host_path(a) for a in step["run"]]
    done = subprocess.run(argv, capture_output=True, text=True, timeout=300)
    if done.returncode != 0:
        errors.append(f"{argv}: exit {done.returncode}\n{done.stdout}{done.stderr}")
        return
    expect = step.get("expect")
    if expect is None:
        return
    key = expect["key"]
    found = {entry[key]: entry for entry in json.loads(done.stdout)}
    if not expect.get("partial") and len(found) != len(expect["items"]):
        errors.append(f"{len(found)} entries, expected {len(expect['items'])}")
    for item in expect["items"]:
        entry = found.get(item[key])
        if entry is None:
            errors.append(f"no entry {item[key]!r}")
            continue
        for field, value in item.items():
            if entry.get(field) != value:
                errors.append(f"{item[key]}: {field} is {entry.get(field)!r}, expected {value!r}")


def soffice(step, errors):
    outdir = host_path(step["outdir"])
    with tempfile.TemporaryDirectory() as profile:
        argv = ["soffice", f"-env:UserInstallation={Path(profile).as_uri()}", "--headless", "--convert-to",
                "csv:Text - txt - csv (StarCalc):44,34,76", "--outdir", outdir]
        done = subprocess.run(argv + [host_path(f) for f in step["soffice"]], capture_output=True, text=True,
                              timeout=300)
    if done.returncode != 0:
        errors.append(f"soffice: exit {done.returncode}\n{done.stdout}{done.stderr}")


def check_csv(step, errors):
    path = host_path(step["csv"])
    try:
        # newline="" keeps a carriage return inside a quoted cell as the cell's own.
        with open(path, encoding="utf-8", newline="") as f:
            text = f.read()
    except OSError as error:
        errors.append(f"{path}: {error}")
        return
    rows = list(csv.reader(io.StringIO(text, newline="")))
    for ref, expected in step.get("cells", {}).items():
        row, column = cell_position(ref)
        seen = rows[row][column] if row < len(rows) and column < len(rows[row]) else ""
        if seen != expected:
            errors.append(f"{path} {ref}: {seen!r}, expected {expected!r}")
    errors.extend(f"{path}: {t!r} missing" for t in step.get("contains", []) if t not in text)
    errors.extend(f"{path}: {t!r} present" for t in step.get("absent", []) if t in text)


def main():
    jobs = sorted(Path(sys.argv[1]).glob("*.json"))
    if not jobs:
        print(f"hostcheck: no checks in {sys.argv[1]}: the Windows test wrote none")
        return 1
    failed = 0
    for job in jobs:
        errors = []
        for step in json.loads(job.read_text(encoding="utf-8")):
            if "run" in step:
                run(step, errors)
            elif "soffice" in step:
                soffice(step, errors)
            else:
                check_csv(step, errors)
            if errors:
                break
        print(f"{'FAIL' if errors else 'PASS'}: {job.stem}")
        for error in errors[:20]:
            print("   ", error)
        failed += bool(errors)
    return 1 if failed else 0


if __name__ == "__main__":
    sys.exit(main())
