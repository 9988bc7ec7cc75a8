#!/usr/bin/python3
"""Writes the two seating-chart templates shipped beside the program.

The exporter fills every cell whose whole text is "<group>-<seat>" with the person seated there
and replaces any cell containing XXXX.XX.XX by today's date; everything else in these workbooks
is decoration. Run it after changing a layout and commit the regenerated .xlsx files:

    /usr/bin/python3 templates/make_templates.py templates
"""

import datetime
import io
import os
import sys
import zipfile

from openpyxl import Workbook
from openpyxl.styles import Alignment, Border, Font, PatternFill, Side
from openpyxl.utils import get_column_letter
from openpyxl.worksheet.properties import PageSetupProperties

GROUPS = 9
SEATS = 6
DATE_MARKER = "XXXX.XX.XX"
# Fixed metadata and zip timestamps keep the committed files byte-identical between runs.
STAMP = datetime.datetime(2025, 10, 7, 18, 0, 0)

THIN = Side(style="thin", color="404040")
MEDIUM = Side(style="medium", color="202020")
BOX = Border(left=THIN, right=THIN, top=THIN, bottom=THIN)
HEAVY_BOX = Border(left=MEDIUM, right=MEDIUM, top=MEDIUM, bottom=MEDIUM)
CENTRE = Alignment(horizontal="center", vertical="center", wrap_text=True)


def seat(group, number):
    return "%d-%d" % (group, number)


def new_sheet(title):
    workbook = Workbook()
    sheet = workbook.active
    sheet.title = title
    workbook.properties.creator = "Velmora"
    workbook.properties.created = STAMP
    workbook.properties.modified = STAMP
    return workbook, sheet


def boxed(cell, value, font=None, fill=None, border=BOX):
    cell.value = value
    cell.alignment = CENTRE
    cell.border = border
    if font is not None:
        cell.font = font
    if fill is not None:
        cell.fill = fill


def merged_box(sheet, first, last, value, font, fill=None, border=BOX):
    """Writes value into the top-left cell and draws the border around the whole merged range."""
    sheet.merge_cells("%s:%s" % (first, last))
    for row in sheet[first:last]:
        for cell in row:
            cell.border = border
            if fill is not None:
                cell.fill = fill
    boxed(sheet[first], value, font, fill, border)


def one_a4_page(sheet, landscape, print_area):
    sheet.page_setup.paperSize = sheet.PAPERSIZE_A4
    sheet.page_setup.orientation = "landscape" if landscape else "portrait"
    sheet.sheet_properties.pageSetUpPr = PageSetupProperties(fitToPage=True)
    sheet.page_setup.fitToWidth = 1
    sheet.page_setup.fitToHeight = 1
    sheet.print_options.horizontalCentered = True
    sheet.page_margins.left = sheet.page_margins.right = 0.5
    sheet.page_margins.top = sheet.page_margins.bottom = 0.6
    sheet.print_area = print_area


def style_one():
    """Portrait: podium on top, the groups as 3 x 3 blocks of two desks by three rows."""
    workbook, sheet = new_sheet("座位表")
    header_fill = PatternFill("solid", fgColor="DDEBF7")
    podium_fill = PatternFill("solid", fgColor="D9D9D9")
    seat_font = Font(name="宋体", size=14)

    # Blocks occupy columns A:B, D:E and G:H; C and F are the aisles.
    for column in range(1, 9):
        sheet.column_dimensions[get_column_letter(column)].width = 3.5 if column in (3, 6) else 14

    merged_box(sheet, "A1", "H1", "班级座位表", Font(name="黑体", size=22, bold=True), border=Border())
    sheet.row_dimensions[1].height = 40
    sheet["G2"].value = "日期："
    sheet["G2"].alignment = Alignment(horizontal="right", vertical="center")
    sheet["G2"].font = Font(size=12)
    sheet["H2"].value = DATE_MARKER
    sheet["H2"].alignment = Alignment(horizontal="left", vertical="center")
    sheet["H2"].font = Font(size=12)
    sheet.row_dimensions[2].height = 22
    merged_box(sheet, "C3", "F3", "讲台", Font(name="黑体", size=16, bold=True), podium_fill, HEAVY_BOX)
    sheet.row_dimensions[3].height = 30
    sheet.row_dimensions[4].height = 12

    row = 5
    for band in range(3):
        for block in range(3):
            group = band * 3 + block + 1
            left = block * 3 + 1
            first = "%s%d" % (get_column_letter(left), row)
            last = "%s%d" % (get_column_letter(left + 1), row)
            merged_box(sheet, first, last, "第%d组" % group, Font(size=13, bold=True), header_fill)
            for desk_row in range(3):
                for desk in range(2):
                    cell = sheet.cell(row=row + 1 + desk_row, column=left + desk)
                    boxed(cell, seat(group, desk_row * 2 + desk + 1), seat_font)
        sheet.row_dimensions[row].height = 22
        for desk_row in range(3):
            sheet.row_dimensions[row + 1 + desk_row].height = 40
        sheet.row_dimensions[row + 4].height = 14
        row += 5

    note = sheet.cell(row=row, column=1, value="黄色底纹为外宿生，粗体为组长")
    note.font = Font(size=10, color="606060")
    one_a4_page(sheet, landscape=False, print_area="A1:H%d" % row)
    return workbook


def style_two():
    """Landscape: one column per group, seats 1 to 6 from the back towards the podium below."""
    workbook, sheet = new_sheet("座位安排")
    header_fill = PatternFill("solid", fgColor="E2EFDA")
    podium_fill = PatternFill("solid", fgColor="FCE4D6")
    seat_font = Font(name="楷体", size=13)

    # Column A and row 1 stay empty as a margin, so the used area starts at B2.
    sheet.column_dimensions["A"].width = 3
    for column in range(2, 2 + GROUPS):
        sheet.column_dimensions[get_column_letter(column)].width = 12.5
    last_column = get_column_letter(1 + GROUPS)

    merged_box(sheet, "B2", "%s2" % last_column, "教室座位安排表",
               Font(name="黑体", size=20, bold=True), border=Border(bottom=MEDIUM))
    sheet.row_dimensions[2].height = 36
    sheet["B3"].value = "班级："
    sheet["B3"].font = Font(size=12)
    sheet["%s3" % get_column_letter(GROUPS)].value = "日期："
    sheet["%s3" % get_column_letter(GROUPS)].alignment = Alignment(horizontal="right")
    sheet["%s3" % get_column_letter(GROUPS)].font = Font(size=12)
    sheet["%s3" % last_column].value = DATE_MARKER
    sheet["%s3" % last_column].font = Font(size=12)
    sheet.row_dimensions[4].height = 10

    for group in range(1, GROUPS + 1):
        column = group + 1
        boxed(sheet.cell(row=5, column=column), "第%d组" % group, Font(size=12, bold=True), header_fill)
        for number in range(1, SEATS + 1):
            boxed(sheet.cell(row=5 + number, column=column), seat(group, number), seat_font)
    sheet.row_dimensions[5].height = 22
    for number in range(1, SEATS + 1):
        sheet.row_dimensions[5 + number].height = 34
    sheet.row_dimensions[12].height = 14

    podium_row = 13
    merged_box(sheet, "D%d" % podium_row, "H%d" % podium_row, "讲台",
               Font(name="黑体", size=16, bold=True), podium_fill, HEAVY_BOX)
    sheet.row_dimensions[podium_row].height = 30
    one_a4_page(sheet, landscape=True, print_area="B2:%s%d" % (last_column, podium_row))
    return workbook


def save_reproducibly(workbook, path):
    buffer = io.BytesIO()
    workbook.save(buffer)
    buffer.seek(0)
    temporary = path + ".tmp"
    with zipfile.ZipFile(buffer) as source, zipfile.ZipFile(temporary, "w", zipfile.ZIP_DEFLATED) as target:
        for info in source.infolist():
            entry = zipfile.ZipInfo(info.filename, date_time=STAMP.timetuple()[:6])
            entry.compress_type = zipfile.ZIP_DEFLATED
            target.writestr(entry, source.read(info.filename))
    os.replace(temporary, path)


def main():
    folder = sys.argv[1] if len(sys.argv) > 1 else os.path.dirname(os.path.abspath(__file__))
    save_reproducibly(style_one(), os.path.join(folder, "座位样式1.xlsx"))
    save_reproducibly(style_two(), os.path.join(folder, "座位样式2.xlsx"))


if __name__ == "__main__":
    main()
