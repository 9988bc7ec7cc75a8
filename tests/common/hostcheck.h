#pragma once

#include <QJsonArray>
#include <QString>

namespace Velmora::Test {

// A Windows test process (the Windows build runs its suite under Wine) never starts a host program
// such as python3 or LibreOffice. There a test keeps the files to check and writes down the steps;
// the host-side test of the same name plus "_host" runs tests/common/hostcheck.py over them.
bool hostProgramsRunHere();

// Copies a file into the check directory, which outlives the test, and returns the copy's path.
QString keepForHost(const QString &path);

// Where LibreOffice's "soffice" step puts the .csv of a kept workbook.
QString csvBeside(const QString &keptWorkbook);

// Writes the steps (see hostcheck.py) for the current test function and data row.
void deferToHost(const QJsonArray &steps);

// Runs python3 on a script of the source tree with the files, then each item's `key` value (but for
// "@..." keys, facts the script reports unasked). The script prints a JSON list; the entry whose
// `key` equals an item's must have the item's values. On Windows the host checks it afterwards.
void checkWithScript(const QString &script, const QStringList &files, const QString &key,
                     const QJsonArray &items);

} // namespace Velmora::Test
