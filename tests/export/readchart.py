#!/usr/bin/python3
"""Prints, as JSON, what an exported chart holds at every marker cell of its template."""
import json
import re
import sys

from openpyxl import load_workbook

template = load_workbook(sys.argv[1]).worksheets[0]
chart = load_workbook(sys.argv[2]).worksheets[0]
cells = []
for row in template.iter_rows():
    for cell in row:
        if not isinstance(cell.value, str):
            continue
        if "XXXX.XX.XX" in cell.value or re.fullmatch(r"\d+-\d+", cell.value):
            out = chart[cell.coordinate]
            fill = out.fill.fgColor.rgb if out.fill is not None and out.fill.fill_type == "solid" else ""
            cells.append({
                "marker": cell.value,
                "value": out.value if out.value is not None else "",
                "bold": bool(out.font.b),
                "size": float(out.font.sz or 0),
                "fill": fill if isinstance(fill, str) else "",
                "centre": out.alignment.horizontal == "center" and out.alignment.vertical == "center",
                "wrap": bool(out.alignment.wrap_text),
            })
print(json.dumps(cells, ensure_ascii=False))
