#pragma once

#include <QByteArray>
#include <QList>
#include <QString>
#include <QStringList>

namespace Velmora {

// The rows of the first sheet of a class list, each with the number the spreadsheet shows for it.
// Rows without any text are left out.
struct SheetTable
{
    QList<QStringList> rows;
    QList<int> rowNumbers;

    int columnCount() const;
    QString cell(int row, int column) const;
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

SheetReadResult readFile(const QString &path);
SheetReadResult readXlsx(const QByteArray &bytes);

// A byte-order mark if there is one, then strict UTF-8, then GB18030 (what Chinese Excel writes).
QString decodeCsv(const QByteArray &bytes);
// Quoted fields may hold separators, quotes ("") and line breaks; a record's number counts records,
// as a spreadsheet numbers its rows. Tab-separated text is recognised by its first line.
SheetTable parseCsv(const QString &text);

} // namespace SheetReader
} // namespace Velmora
