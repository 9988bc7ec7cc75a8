#include "sheettable.h"

#include "configfile.h"
#include "xlsxdocument.h"

#include <QDir>
#include <QFile>
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

bool isBlank(const QStringList &row)
{
    return std::all_of(row.cbegin(), row.cend(),
                       [](const QString &cell) { return cell.trimmed().isEmpty(); });
}

void appendRow(SheetTable &table, const QStringList &row, int number)
{
    if (isBlank(row))
        return;
    table.rows.append(row);
    table.rowNumbers.append(number);
}

QString decodeGb18030(const QByteArray &bytes)
{
    // Qt Core knows GB18030 only through ICU, which the Windows build lacks; the compatibility
    // module carries its own table there and uses ICU elsewhere, so both builds take this one road.
    if (QTextCodec *codec = QTextCodec::codecForName("GB18030"))
        return codec->toUnicode(bytes);
    return QString::fromLocal8Bit(bytes);
}

} // namespace

QString decodeCsv(const QByteArray &bytes)
{
    // The same decision as for config.ini, so a list saved by the same editor reads the same way.
    ConfigFile::Encoding encoding = ConfigFile::Encoding::Missing;
    const QByteArray utf8 = ConfigFile::decodeToUtf8(bytes, &encoding);
    if (encoding != ConfigFile::Encoding::Undecodable)
        return QString::fromUtf8(utf8);
    // A damaged GBK file still reads, with replacement characters marking the rows to look at.
    return decodeGb18030(bytes);
}

SheetTable parseCsv(const QString &text)
{
    QStringView body(text);
    if (body.startsWith(QChar::ByteOrderMark))
        body = body.mid(1);
    const qsizetype firstBreak = body.indexOf(u'\n');
    const QStringView firstLine = body.left(firstBreak < 0 ? body.size() : firstBreak);
    const QChar separator = firstLine.contains(u'\t') && !firstLine.contains(u',') ? u'\t' : u',';

    SheetTable table;
    QStringList row;
    QString field;
    bool quoted = false;
    int record = 1;
    const auto endRecord = [&] {
        row.append(field);
        field.clear();
        appendRow(table, row, record++);
        row.clear();
    };
    for (qsizetype i = 0; i < body.size(); ++i) {
        const QChar c = body.at(i);
        if (quoted) {
            if (c != u'"')
                field.append(c);
            else if (i + 1 < body.size() && body.at(i + 1) == u'"')
                field.append(body.at(++i));
            else
                quoted = false;
        } else if (c == u'"' && field.isEmpty()) {
            quoted = true;
        } else if (c == separator) {
            row.append(field);
            field.clear();
        } else if (c == u'\r' || c == u'\n') {
            if (c == u'\r' && i + 1 < body.size() && body.at(i + 1) == u'\n')
                ++i;
            endRecord();
        } else {
            field.append(c);
        }
    }
    if (!field.isEmpty() || !row.isEmpty())
        endRecord();
    return table;
}

SheetReadResult readXlsx(const QByteArray &bytes)
{
    SheetReadResult result;
    XlsxDocument document;
    if (!document.openData(bytes)) {
        result.error = document.errorString();
        if (document.error() == XlsxError::Encrypted)
            result.error += u"。请在 Excel 或 WPS 中把它另存为 .xlsx 或 CSV 文件后再导入"_s;
        return result;
    }
    const QList<QPair<int, int>> cells = document.storedCells();
    int rowNumber = 0;
    QStringList row;
    for (const auto &[number, column] : cells) {
        if (number != rowNumber) {
            appendRow(result.table, row, rowNumber);
            row.clear();
            rowNumber = number;
        }
        // Cells hold their column: an empty column A keeps column B in the second place.
        while (row.size() < column)
            row.append(QString());
        row[column - 1] = document.cellText(number, column);
    }
    appendRow(result.table, row, rowNumber);
    return result;
}

SheetReadResult readFile(const QString &path)
{
    SheetReadResult result;
    const QString shown = QDir::toNativeSeparators(path);
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        result.error = u"无法打开文件 %1：%2"_s.arg(shown, file.errorString());
        return result;
    }
    const QByteArray bytes = file.read(MaxFileBytes + 1);
    if (bytes.size() > MaxFileBytes) {
        result.error = u"文件 %1 太大，不像是一份名单"_s.arg(shown);
        return result;
    }
    // The content decides, not the name: a list saved as CSV keeps working when renamed .xlsx.
    if (bytes.startsWith("PK\x03\x04") || bytes.startsWith("\xD0\xCF\x11\xE0\xA1\xB1\x1A\xE1")) {
        result = readXlsx(bytes);
        if (!result.ok())
            result.error = u"无法读取表格 %1：%2"_s.arg(shown, result.error);
    } else {
        result.table = parseCsv(decodeCsv(bytes));
    }
    if (result.ok() && result.table.rows.isEmpty())
        result.error = u"文件 %1 中没有内容"_s.arg(shown);
    return result;
}

} // namespace SheetReader
} // namespace Velmora
