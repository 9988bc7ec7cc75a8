#!/usr/bin/python3
"""Reads a filled seating chart back with openpyxl and compares it with its template.

Usage: check_openpyxl.py TEMPLATE RESULT EXPECTATIONS.json
The expectations name every cell the engine wrote: its text and whether it was formatted,
bold or filled. Every other cell must come out exactly as the template had it.
"""
import json
import sys

import openpyxl


def rgb(color):
    return None if color is None else str(color.rgb)


def look(cell):
    return (cell.font.sz, bool(cell.font.b), bool(cell.font.i), cell.font.name, cell.fill.fill_type,
            rgb(cell.fill.fgColor), cell.alignment.horizontal, cell.alignment.vertical,
            bool(cell.alignment.wrap_text), cell.border.left.style, cell.border.top.style, cell.number_format)


def main():
    template_path, result_path, expectations_path = sys.argv[1:4]
    with open(expectations_path, encoding="utf-8") as f:
        written = json.load(f)["cells"]
    template = openpyxl.load_workbook(template_path).worksheets[0]
    result = openpyxl.load_workbook(result_path).worksheets[0]
    errors = []

    for ref, expected in written.items():
        cell, before = result[ref], template[ref]
        value = expected["text"] if expected["text"] != "" else None
        if cell.value != value:
            errors.append(f"{ref}: value {cell.value!r}, expected {value!r}")
        if not expected["formatted"]:
            if look(cell) != look(before):
                errors.append(f"{ref}: style {look(cell)} changed from {look(before)}")
            continue
        if cell.font.sz != 16:
            errors.append(f"{ref}: font size {cell.font.sz}")
        if expected["bold"] and not cell.font.b:
            errors.append(f"{ref}: not bold")
        if not expected["bold"] and bool(cell.font.b) != bool(before.font.b):
            errors.append(f"{ref}: bold {cell.font.b} instead of the template's {before.font.b}")
        if bool(cell.font.i) != bool(before.font.i) or cell.font.name != before.font.name:
            errors.append(f"{ref}: font lost the template's italic or name")
        if expected["fill"]:
            if cell.fill.fill_type != "solid" or rgb(cell.fill.fgColor) != "FFFFFF00":
                errors.append(f"{ref}: fill {cell.fill.fill_type} {rgb(cell.fill.fgColor)}")
        elif (cell.fill.fill_type, rgb(cell.fill.fgColor)) != (before.fill.fill_type, rgb(before.fill.fgColor)):
            errors.append(f"{ref}: fill changed though not asked to")
        if cell.alignment.horizontal != "center" or cell.alignment.vertical != "center":
            errors.append(f"{ref}: alignment {cell.alignment.horizontal}/{cell.alignment.vertical}")
        if not cell.alignment.wrap_text:
            errors.append(f"{ref}: no wrap")
        if cell.border.left.style != before.border.left.style:
            errors.append(f"{ref}: border lost")

    for row in template.iter_rows():
        for before in row:
            if before.coordinate in written:
                continue
            cell = result[before.coordinate]
            if cell.value != before.value:
                errors.append(f"{before.coordinate}: untouched value {cell.value!r} became {before.value!r}")
            if look(cell) != look(before):
                errors.append(f"{before.coordinate}: untouched style {look(before)} became {look(cell)}")

    if sorted(map(str, result.merged_cells.ranges)) != sorted(map(str, template.merged_cells.ranges)):
        errors.append("merged cells changed")
    for letter, dimension in template.column_dimensions.items():
        if result.column_dimensions[letter].width != dimension.width:
            errors.append(f"column {letter} width changed")
    if result.title != template.title:
        errors.append("sheet title changed")

    for line in errors:
        print(line)
    print("openpyxl: %d cells written, %d problems" % (len(written), len(errors)))
    return 1 if errors else 0


if __name__ == "__main__":
    sys.exit(main())
