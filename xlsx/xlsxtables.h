#pragma once

#include "xlsxsheet.h"

#include <QMap>
#include <QString>

namespace Velmora {

class XlsxPackageEdit;

namespace XlsxTables {

// Excel tables keep a name per column that must match the text of its header cell, unique
// within the table. For every header cell that edits give a new text, the column is renamed to
// follow it; a header cell that would become empty gets a free placeholder name, in the column
// and in the cell alike. Table parts that cannot be read are left as they are.
void followHeaderCells(XlsxPackageEdit &parts, const QString &sheetPath,
                       QMap<quint64, XlsxSheet::Edit> *edits);

} // namespace XlsxTables

} // namespace Velmora
