#!/usr/bin/python3
"""The export done with openpyxl, for comparison: open, fill 48 names, format, save.

Usage: openpyxl_fill.py TEMPLATE OUTPUT ITERATIONS
Prints the median seconds of one iteration. The import is not timed.
"""
import re
import statistics
import sys
import time

import openpyxl
from openpyxl.styles import Alignment, PatternFill

SEAT = re.compile(r"^\d+-\d+$")


def pupil(group, seat):
    seats = 6 if group <= 6 else 4
    if not (1 <= group <= 9 and 1 <= seat <= seats):
        return ""
    index = ((group - 1) * 6 if group <= 6 else 36 + (group - 7) * 4) + seat - 1
    return f"学生{index + 1}"


def export(template, output):
    workbook = openpyxl.load_workbook(template)
    sheet = workbook.worksheets[0]
    yellow = PatternFill("solid", fgColor="FFFFFF00")
    for row in sheet.iter_rows(min_row=1, max_row=sheet.max_row, max_col=sheet.max_column):
        for cell in row:
            if cell.value is None:
                continue
            text = str(cell.value)
            if "XXXX.XX.XX" in text:
                cell.value = "2025.10.07"
                continue
            if not SEAT.match(text):
                continue
            group, seat = map(int, text.split("-"))
            name = pupil(group, seat)
            cell.value = name
            if not name:
                continue
            cell.alignment = cell.alignment.copy(horizontal="center", vertical="center", wrap_text=True)
            cell.font = cell.font.copy(size=16, bold=True if seat == 1 else cell.font.b)
            if seat % 2 == 0:
                cell.fill = yellow
    workbook.save(output)


def main():
    template, output, iterations = sys.argv[1], sys.argv[2], int(sys.argv[3])
    times = []
    for _ in range(iterations):
        start = time.perf_counter()
        export(template, output)
        times.append(time.perf_counter() - start)
    print(statistics.median(times))


if __name__ == "__main__":
    main()
