#!/usr/bin/python3
"""Prints, as JSON, how the given cells of a chart look: value, fill and which edges have a border.

Usage: readboxes.py CHART CELL...
One entry per cell: {"cell": "G15", "value": "", "fill": "solid" or "none", "borders": "LRTB"}.
"""
import json
import sys

from openpyxl import load_workbook

sheet = load_workbook(sys.argv[1]).worksheets[0]
entries = []
for name in sys.argv[2:]:
    cell = sheet[name]
    sides = [("L", cell.border.left), ("R", cell.border.right), ("T", cell.border.top), ("B", cell.border.bottom)]
    entries.append({
        "cell": name,
        "value": "" if cell.value is None else str(cell.value),
        "fill": "solid" if cell.fill is not None and cell.fill.fill_type == "solid" else "none",
        "borders": "".join(letter for letter, side in sides if side is not None and side.style),
    })
print(json.dumps(entries, ensure_ascii=False))
