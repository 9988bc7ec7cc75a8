#include "sheettable.h"

#include "configfile.h"
#include "xlsxdocument.h"
#include "xlsxsheetview.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTextCodec>

#include <algorithm>

using namespace Qt::StringLiterals;

namespace Velmora {

int SheetTable::columnCount() const
{
    qsizetype count = 0;
    for (const QStringList &row : rows)
        count = std::max(count, row.size());
    return int(count);
}

QString SheetTable::cell(int row, int column) const
{
    if (row < 0 || row >= rows.size())
        return {};
    return rows.at(row).value(column);
}

namespace SheetReader {

namespace {

// A class list is a few kilobytes; this only keeps a wrongly chosen file from filling the memory.
constexpr qint64 MaxFileBytes = 32 * 1024 * 1024;
// The header is looked for in as many lines at the top.
constexpr int HeaderLines = 10;
// Lines judged for their encoding; a file with more is refused for its size anyway.
constexpr int JudgedLines = 20 * MaxRows;

bool isBlank(const QStringList &row)
{
    return std::all_of(row.cbegin(), row.cend(),
                       [](const QString &cell) { return cell.trimmed().isEmpty(); });
}

// False once the table holds more rows than a class list may.
bool appendRow(SheetTable &table, const QStringList &row, int number)
{
    if (isBlank(row))
        return true;
    table.rows.append(row);
    table.rowNumbers.append(number);
    return table.rows.size() <= MaxRows;
}

QString decodeGb18030(const QByteArray &bytes)
{
    // Qt Core knows GB18030 only through ICU, which the Windows build lacks; the compatibility
    // module carries its own table there and uses ICU elsewhere, so both builds take this one road.
    if (QTextCodec *codec = QTextCodec::codecForName("GB18030"))
        return codec->toUnicode(bytes);
    return QString::fromLocal8Bit(bytes);
}

// Excel saves a list in one encoding; a file whose lines disagree was pasted together, and
// decoding it either way garbles some of its names without a sign.
bool hasMixedLines(const QByteArray &bytes)
{
    bool utf8 = false;
    bool gbk = false;
    int judged = 0;
    for (qsizetype start = 0; start < bytes.size() && judged < JudgedLines;) {
        qsizetype end = bytes.indexOf('\n', start);
        if (end < 0)
            end = bytes.size();
        const QByteArrayView line = QByteArrayView(bytes).sliced(start, end - start);
        start = end + 1;
        if (std::all_of(line.cbegin(), line.cend(), [](char c) { return uchar(c) < 0x80; }))
            continue;
        ++judged;
        ConfigFile::Encoding encoding = ConfigFile::Encoding::Missing;
        ConfigFile::decodeToUtf8(line.toByteArray(), &encoding);
        utf8 = utf8 || encoding == ConfigFile::Encoding::Utf8 || encoding == ConfigFile::Encoding::Utf8Bom;
        gbk = gbk || encoding == ConfigFile::Encoding::Gbk;
        if (utf8 && gbk)
            return true;
    }
    return false;
}

// Text has few controls and no undecodable bytes; a picture, a program, a compressed file or a
// document of another program is full of them. A stray control in a name is cleaned off later.
bool looksBinary(const QString &text)
{
    qsizetype odd = 0;
    for (const QChar c : text) {
        if ((c.category() == QChar::Other_Control && c != u'\t' && c != u'\r' && c != u'\n') ||
            c == QChar::ReplacementCharacter)
            ++odd;
    }
    return odd > 8 && odd * 20 > text.size();
}

// The line that names the columns: the first of the top lines with 姓名 in it, else the first
// line with text. Quoted parts are skipped, separators in them count for nothing.
QChar detectSeparator(QStringView body)
{
    QStringView chosen;
    qsizetype start = 0;
    for (int line = 0; line < HeaderLines && start < body.size(); ++line) {
        qsizetype end = body.indexOf(u'\n', start);
        if (end < 0)
            end = body.size();
        const QStringView text = body.sliced(start, end - start);
        start = end + 1;
        QString letters;
        for (const QChar c : text.left(MaxColumns * MaxCellChars)) {
            if (!c.isSpace())
                letters.append(c);
        }
        if (letters.contains(u"姓名"_s)) {
            chosen = text;
            break;
        }
        if (chosen.isEmpty() && !letters.isEmpty())
            chosen = text;
    }
    int commas = 0, semicolons = 0, tabs = 0;
    bool quoted = false;
    // A header that fits the bounds lies within this much of its line.
    for (const QChar c : chosen.left(MaxColumns * MaxCellChars)) {
        if (c == u'"')
            quoted = !quoted;
        else if (!quoted)
            c == u',' ? ++commas : c == u';' ? ++semicolons : c == u'\t' ? ++tabs : 0;
    }
    if (semicolons > commas && semicolons >= tabs)
        return u';';
    return tabs > commas ? u'\t' : u',';
}

} // namespace

QString tooLargeText()
{
    return u"表格过大，无法作为名单导入（最多 1000 行、200 列）"_s;
}

QString notASheetText()
{
    return u"此文件不是表格文件"_s;
}

DecodedText decodeCsv(const QByteArray &bytes)
{
    DecodedText decoded;
    // The same decision as for config.ini, so a list saved by the same editor reads the same way.
    ConfigFile::Encoding encoding = ConfigFile::Encoding::Missing;
    const QByteArray utf8 = ConfigFile::decodeToUtf8(bytes, &encoding);
    const bool readAsGbk =
        encoding == ConfigFile::Encoding::Gbk || encoding == ConfigFile::Encoding::Undecodable;
    // A damaged GBK file still reads, with replacement characters marking the rows to look at.
    decoded.text =
        encoding == ConfigFile::Encoding::Undecodable ? decodeGb18030(bytes) : QString::fromUtf8(utf8);
    if (looksBinary(decoded.text)) {
        decoded.text.clear();
        decoded.error = notASheetText();
    } else if (readAsGbk && hasMixedLines(bytes)) {
        // UTF-8 rows are mostly valid GB18030 too, so a file read as GBK may still be a mixed one.
        decoded.text.clear();
        decoded.error = u"文件中混有不同编码的行，请另存为 UTF-8 后再导入"_s;
    }
    return decoded;
}

SheetReadResult parseCsv(const QString &text)
{
    QStringView body(text);
    if (body.startsWith(QChar::ByteOrderMark))
        body = body.mid(1);
    const QChar separator = detectSeparator(body);

    SheetReadResult result;
    SheetTable &table = result.table;
    QStringList row;
    QString field;
    bool quoted = false;
    bool fits = true;
    int record = 1;
    const auto endField = [&] {
        row.append(field);
        field.clear();
        fits = row.size() <= MaxColumns;
    };
    const auto endRecord = [&] {
        endField();
        fits = fits && appendRow(table, row, record++);
        row.clear();
    };
    const auto add = [&](QChar c) {
        if (field.size() < MaxCellChars)
            field.append(c);
    };
    for (qsizetype i = 0; i < body.size() && fits; ++i) {
        const QChar c = body.at(i);
        if (quoted) {
            if (c != u'"')
                add(c);
            else if (i + 1 < body.size() && body.at(i + 1) == u'"')
                add(body.at(++i));
            else
                quoted = false;
        } else if (c == u'"' && field.isEmpty()) {
            quoted = true;
        } else if (c == separator) {
            endField();
        } else if (c == u'\r' || c == u'\n') {
            if (c == u'\r' && i + 1 < body.size() && body.at(i + 1) == u'\n')
                ++i;
            endRecord();
        } else {
            add(c);
        }
    }
    if (fits && (!field.isEmpty() || !row.isEmpty()))
        endRecord();
    if (!fits) {
        result.table = {};
        result.error = tooLargeText();
    }
    return result;
}

SheetReadResult readXlsx(const QByteArray &bytes, const QString &shownName)
{
    SheetReadResult result;
    XlsxDocument document;
    document.setSheetChoice(XlsxDocument::SheetChoice::FirstVisible);
    // Room for the widest list taken, written with inline strings: about 100 bytes a cell.
    XlsxLimits limits;
    limits.cells = MaxRows * MaxColumns;
    limits.entryBytes = 24ll << 20;
    limits.totalBytes = 48ll << 20;
    document.setLimits(limits);
    if (!document.openData(bytes)) {
        switch (document.error()) {
        case XlsxError::NotZip:
        case XlsxError::NoWorkbook:
        case XlsxError::NoWorksheet:
            result.error = notASheetText();
            break;
        case XlsxError::TooLarge:
        case XlsxError::TooManyCells:
            result.error = tooLargeText();
            break;
        default:
            result.error = u"无法读取表格 %1：%2"_s.arg(shownName, document.errorString());
            if (document.error() == XlsxError::Encrypted)
                result.error += u"。请在 Excel 或 WPS 中把它另存为 .xlsx 或 CSV 文件后再导入"_s;
        }
        return result;
    }
    SheetTable &table = result.table;
    table.sheetName = document.sheetName();
    // A column hidden in Excel often holds what the preview must not show, such as phone numbers.
    XlsxSheetView view;
    if (document.readSheetLayout(&view) == XlsxError::None) {
        for (int column = 1; column <= MaxColumns; ++column) {
            if (view.isColumnHidden(column))
                table.hiddenColumns.insert(column - 1);
        }
    }
    int rowNumber = 0;
    QStringList row;
    bool fits = true;
    for (const auto &[number, column] : document.storedCells()) {
        // Formatting alone does not make a column or a row of the list.
        QString text = document.cellText(number, column);
        if (text.isEmpty())
            continue;
        if (number != rowNumber) {
            fits = appendRow(table, row, rowNumber);
            row.clear();
            rowNumber = number;
        }
        if (!fits || column > MaxColumns) {
            fits = false;
            break;
        }
        // Cells hold their column: an empty column A keeps column B in the second place.
        while (row.size() < column)
            row.append(QString());
        text.truncate(MaxCellChars);
        row[column - 1] = text;
    }
    if (fits)
        fits = appendRow(table, row, rowNumber);
    if (!fits) {
        result.table = {};
        result.error = tooLargeText();
    }
    return result;
}

SheetReadResult readFile(const QString &path)
{
    SheetReadResult result;
    const QString shown = QDir::toNativeSeparators(path);
    const QFileInfo info(path);
    // A FIFO or a device would block or read without end.
    if (info.isDir()) {
        result.error = u"%1 是一个文件夹，请选择表格文件"_s.arg(shown);
        return result;
    }
    QFile file(path);
    if (!info.isFile() || !file.open(QIODevice::ReadOnly)) {
        result.error = u"无法打开文件 %1，请确认它存在并且没有被其他程序占用"_s.arg(shown);
        return result;
    }
    // In pieces: read(limit) would allocate the whole limit for every list.
    QByteArray bytes;
    char chunk[65536];
    qint64 got = 0;
    while ((got = file.read(chunk, sizeof chunk)) > 0 && bytes.size() <= MaxFileBytes)
        bytes.append(chunk, got);
    if (got < 0) {
        result.error = u"无法读取文件 %1"_s.arg(shown);
        return result;
    }
    if (bytes.size() > MaxFileBytes) {
        result.error = u"文件 %1 太大，不像是一份名单"_s.arg(shown);
        return result;
    }
    // The content decides, not the name: a list saved as CSV keeps working when renamed .xlsx.
    if (bytes.startsWith("PK\x03\x04") || bytes.startsWith("\xD0\xCF\x11\xE0\xA1\xB1\x1A\xE1")) {
        result = readXlsx(bytes, shown);
    } else {
        const DecodedText decoded = decodeCsv(bytes);
        result = decoded.error.isEmpty() ? parseCsv(decoded.text) : SheetReadResult{{}, decoded.error};
    }
    if (result.ok() && result.table.rows.isEmpty())
        result.error = u"文件 %1 中没有内容"_s.arg(shown);
    return result;
}

} // namespace SheetReader
} // namespace Velmora
