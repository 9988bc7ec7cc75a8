#!/usr/bin/python3
"""Prints, as JSON, what pdftotext reads from a PDF and whether its cross-reference table is right.

Usage: pdfwords.py PDF WORD...
One entry per word: {"word": w, "found": true} when pdftotext -bbox reads w as one word of the
text layer, exactly, with no folding of look-alike characters. Then {"word": "@pages", "value":
pages}, and {"word": "@xref", "value": true} when every in-use entry of the table points at its
object and startxref at the table.
"""
import html
import json
import re
import subprocess
import sys

WORD = re.compile(r'<word xMin="[\d.]+" yMin="[\d.]+" xMax="[\d.]+" yMax="[\d.]+">(.*?)</word>')


def xref_right(data):
    starts = re.findall(rb"startxref\s+(\d+)\s+%%EOF\s*$", data)
    if not starts:
        return False
    at = int(starts[-1])
    head = re.match(rb"xref\s+(\d+)\s+(\d+)\s*\n", data[at:])
    if not head:
        return False
    first, count = int(head[1]), int(head[2])
    entries = data[at + head.end():].split(b"\n")[:count]
    for number, entry in enumerate(entries, first):
        fields = entry.split()
        if len(fields) != 3:
            return False
        if fields[2] == b"n" and not re.match(rb"%d\s+0\s+obj\b" % number, data[int(fields[0]):int(fields[0]) + 24]):
            return False
    return len(entries) == count


def main():
    pdf, wanted = sys.argv[1], sys.argv[2:]
    out = subprocess.run(["pdftotext", "-bbox", pdf, "-"], capture_output=True, text=True, check=True).stdout
    words = {html.unescape(w) for w in WORD.findall(out)}
    info = subprocess.run(["pdfinfo", pdf], capture_output=True, text=True, check=True).stdout
    with open(pdf, "rb") as f:
        data = f.read()
    entries = [{"word": w, "found": w in words} for w in wanted]
    entries.append({"word": "@pages", "value": int(re.search(r"^Pages:\s+(\d+)", info, re.M)[1])})
    entries.append({"word": "@xref", "value": xref_right(data)})
    print(json.dumps(entries, ensure_ascii=False))


if __name__ == "__main__":
    sys.exit(main())
