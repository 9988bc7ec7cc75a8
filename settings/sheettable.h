#pragma once

#include <QByteArray>
#include <QList>
#include <QSet>
#include <QString>
#include <QStringList>

namespace Velmora {

// The rows of the sheet a class list is read from, each with the number the spreadsheet shows for
// it. Rows without any text are left out.
struct SheetTable
{
    QList<QStringList> rows;
    QList<int> rowNumbers;
    QString sheetName;       // the worksheet read; empty for CSV
    QSet<int> hiddenColumns; // 0-based, as the workbook hides them

    int columnCount() const;
    QString cell(int row, int column) const;
    bool isColumnHidden(int column) const { return hiddenColumns.contains(column); }
};

struct SheetReadResult
{
    SheetTable table;
    QString error; // the text of the warning, empty when the file was read

    bool ok() const { return error.isEmpty(); }
};

// Reading a class list from the files teachers get: .xlsx through the built-in engine, or CSV as
// Excel and WPS write it. Core only.
namespace SheetReader {

// What a class list may hold, checked while reading so that a hostile file costs no more than a
// large class: rows with text (a thousand pupils and the lines a header may sit under), columns,
// and the characters kept of one cell. Reading stops at the first row or column beyond them.
constexpr int MaxRows = 1010;
constexpr int MaxColumns = 200;
constexpr int MaxCellChars = 256;

QString tooLargeText();
QString notASheetText();

SheetReadResult readFile(const QString &path);
// `shownName` is the file as messages name it.
SheetReadResult readXlsx(const QByteArray &bytes, const QString &shownName = {});

struct DecodedText
{
    QString text;
    QString error;
};

// A byte-order mark if there is one, then strict UTF-8, then GB18030 (what Chinese Excel writes).
// Rows that decode differently from each other, and bytes that are no text at all, are errors.
DecodedText decodeCsv(const QByteArray &bytes);
// Quoted fields may hold separators, quotes ("") and line breaks; a record's number counts records,
// as a spreadsheet numbers its rows. The separator (comma, semicolon or tab) is the one the header
// line uses most.
SheetReadResult parseCsv(const QString &text);

} // namespace SheetReader
} // namespace Velmora
