#!/usr/bin/python3
"""Prints, as JSON, what a chart's PDF holds next to LibreOffice's PDF of the same chart's .xlsx.

Usage: comparepdf.py CHART_PDF CHART_XLSX WORD...
One entry per word: "ours" when our PDF holds it, "near" when its centre, normalised to the box
round the words both PDFs hold once, lies within 3% of LibreOffice's on both axes. Then
{"word": "@pages", "value": pages of our PDF} and {"word": "@embedded", "value": all fonts embedded}.
"""
import html
import json
import re
import subprocess
import sys
import tempfile
from collections import Counter
from pathlib import Path

WORD = re.compile(r'<word xMin="([\d.]+)" yMin="([\d.]+)" xMax="([\d.]+)" yMax="([\d.]+)">(.*?)</word>')


def words(pdf):
    out = subprocess.run(["pdftotext", "-bbox", "-f", "1", "-l", "1", pdf, "-"], capture_output=True,
                         text=True, check=True).stdout
    return [(html.unescape(m[4]), tuple(float(v) for v in m[0:4])) for m in WORD.findall(out)]


def normalised(found, common):
    boxes = [box for text, box in found if text in common]
    left, top = min(b[0] for b in boxes), min(b[1] for b in boxes)
    width = max(max(b[2] for b in boxes) - left, 1)
    height = max(max(b[3] for b in boxes) - top, 1)
    return {text: (((box[0] + box[2]) / 2 - left) / width, ((box[1] + box[3]) / 2 - top) / height)
            for text, box in found}


def main():
    pdf, xlsx, wanted = sys.argv[1], sys.argv[2], sys.argv[3:]
    with tempfile.TemporaryDirectory() as profile, tempfile.TemporaryDirectory() as outdir:
        subprocess.run(["soffice", f"-env:UserInstallation={Path(profile).as_uri()}", "--headless",
                        "--convert-to", "pdf", "--outdir", outdir, xlsx], capture_output=True, check=True,
                       timeout=300)
        theirs = words(str(Path(outdir) / (Path(xlsx).stem + ".pdf")))
    ours = words(pdf)
    once_ours = {t for t, n in Counter(t for t, _ in ours).items() if n == 1}
    once_theirs = {t for t, n in Counter(t for t, _ in theirs).items() if n == 1}
    common = once_ours & once_theirs
    where_ours = normalised(ours, common) if common else {}
    where_theirs = normalised(theirs, common) if common else {}
    entries = []
    for word in wanted:
        entry = {"word": word, "ours": word in where_ours, "near": False}
        if word in where_ours and word in where_theirs:
            a, b = where_ours[word], where_theirs[word]
            entry["near"] = abs(a[0] - b[0]) <= 0.03 and abs(a[1] - b[1]) <= 0.03
            entry["offset"] = [round(a[0] - b[0], 4), round(a[1] - b[1], 4)]
        entries.append(entry)
    info = subprocess.run(["pdfinfo", pdf], capture_output=True, text=True, check=True).stdout
    pages = int(re.search(r"^Pages:\s+(\d+)", info, re.M)[1])
    fonts = subprocess.run(["pdffonts", pdf], capture_output=True, text=True, check=True).stdout.splitlines()[2:]
    embedded = bool(fonts) and all(line.split()[-5] == "yes" for line in fonts)
    entries.append({"word": "@pages", "value": pages})
    entries.append({"word": "@embedded", "value": embedded})
    print(json.dumps(entries, ensure_ascii=False))


if __name__ == "__main__":
    sys.exit(main())
